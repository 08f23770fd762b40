/* The dongle's side of the bus: what its device object does with the
 * program's opens, control calls and reads, through the shared device model,
 * with fault injection and a record of every request. */
#include "tavbus.h"

/* A Windows error code as the status that gives it back to the caller of
 * DeviceIoControl or ReadFile. */
static NTSTATUS StatusOfError(ULONG error) {
  switch (error) {
    case 5: return STATUS_ACCESS_DENIED;
    case 21: return STATUS_DEVICE_NOT_READY;
    case 31: return STATUS_UNSUCCESSFUL;
    case 87: return STATUS_INVALID_PARAMETER;
    case 121: return STATUS_IO_TIMEOUT;
    case 1117: return STATUS_IO_DEVICE_ERROR;
    case 1167: return STATUS_DEVICE_NOT_CONNECTED;
  }
  /* Other codes travel as Win32 errors wrapped in a status. */
  return (NTSTATUS)(0xC0070000u | (error & 0xFFFFu));
}

static NTSTATUS StatusOfResult(int result, const DongleEffects* effects) {
  switch (result) {
    case DONGLE_DONE: return STATUS_SUCCESS;
    case DONGLE_FAILED: return StatusOfError(effects->error);
    case DONGLE_BUFFER_TOO_SMALL: return STATUS_BUFFER_TOO_SMALL;
  }
  return STATUS_INVALID_PARAMETER;
}

static ULONG AppliedFaults(const DongleEffects* effects) {
  return (effects->fail ? TAVBUS_APPLIED_FAIL : 0) |
         (effects->shortCount ? TAVBUS_APPLIED_SHORT : 0) |
         (effects->corrupt ? TAVBUS_APPLIED_CORRUPT : 0) |
         (effects->unplug ? TAVBUS_APPLIED_UNPLUG : 0) |
         (effects->reportCount ? TAVBUS_APPLIED_REPORT_COUNT : 0);
}

/* Under the lock: one record at the end of the log. Beyond the capacity
 * records are only counted, so that the start of a run stays readable. */
static void LogLocked(TAV_BUS* bus, const TAVBUS_LOG_RECORD* entry) {
  const uint64_t ticks = (uint64_t)KeQueryPerformanceCounter(NULL).QuadPart;
  const uint64_t perSecond = (uint64_t)bus->ticksPerSecond;
  TAVBUS_LOG_RECORD* record;
  if (bus->logTotal < TAVBUS_LOG_CAPACITY) {
    record = &bus->log[bus->logTotal];
    *record = *entry;
    record->sequence = bus->logTotal;
    record->time = perSecond == 0 ? ticks
                                  : ticks / perSecond * 10000000u +
                                        ticks % perSecond * 10000000u / perSecond;
  }
  ++bus->logTotal;
}

/* Under the lock: the device object belongs to the dongle plugged now. */
static BOOLEAN IsCurrentLocked(const TAV_CHILD* child) {
  return child->bus->plugged && !child->unplugged;
}

void TavUnplugLocked(TAV_BUS* bus) {
  bus->plugged = FALSE;
  bus->openHandles = 0;
  if (bus->child != NULL) {
    ((TAV_CHILD*)bus->child->DeviceExtension)->unplugged = TRUE;
    bus->child = NULL; /* plug-and-play removes it; the next plug-in gets a new one */
  }
}

void TavResetDongleLocked(TAV_BUS* bus) {
  ULONG i;
  DongleResetMemory(&bus->memory);
  for (i = 0; i < DONGLE_DESCRIPTOR_SIZE; ++i) bus->descriptor[i] = kDongleDefaultDescriptor[i];
  bus->descriptorLength = DONGLE_DESCRIPTOR_SIZE;
  bus->faultCount = 0;
  bus->logTotal = 0;
}

/* The faults that apply to a request of kind `op`, taken only when the
 * request reaches the dongle. An unplug fault unplugs it here; *gone then
 * asks the caller to tell the plug-and-play manager. */
static BOOLEAN ReachLocked(TAV_CHILD* child, uint32_t op, int isOpen, DongleEffects* effects,
                           BOOLEAN* gone) {
  DongleEffects none = {0, 0, 0, 0, 0, 0, 0};
  *effects = none;
  if (!IsCurrentLocked(child)) return FALSE;
  *effects = DongleTakeFaults(child->bus->faults, child->bus->faultCount, op, isOpen);
  if (!effects->unplug) return TRUE;
  TavUnplugLocked(child->bus);
  *gone = TRUE;
  return FALSE;
}

static void TellUnplugged(TAV_BUS* bus, BOOLEAN gone) {
  if (gone) IoInvalidateDeviceRelations(bus->rootPdo, BusRelations);
}

NTSTATUS TavDongleCreate(TAV_CHILD* child, PIRP irp) {
  TAV_BUS* bus = child->bus;
  TAVBUS_LOG_RECORD entry = {0};
  DongleEffects effects;
  BOOLEAN gone = FALSE;
  NTSTATUS status = STATUS_DEVICE_NOT_CONNECTED;
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  if (ReachLocked(child, DONGLE_OP_OPEN, 1, &effects, &gone)) {
    status = effects.fail ? StatusOfError(effects.error) : STATUS_SUCCESS;
    if (NT_SUCCESS(status)) ++bus->openHandles;
  }
  entry.kind = TAVBUS_LOG_CREATE;
  entry.status = status;
  entry.faults = AppliedFaults(&effects);
  LogLocked(bus, &entry);
  KeReleaseSpinLock(&bus->lock, irql);
  TellUnplugged(bus, gone);
  return TavComplete(irp, status, 0);
}

NTSTATUS TavDongleClose(TAV_CHILD* child, PIRP irp) {
  TAV_BUS* bus = child->bus;
  TAVBUS_LOG_RECORD entry = {0};
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  if (IsCurrentLocked(child) && bus->openHandles > 0) --bus->openHandles;
  entry.kind = TAVBUS_LOG_CLOSE;
  LogLocked(bus, &entry);
  KeReleaseSpinLock(&bus->lock, irql);
  return TavComplete(irp, STATUS_SUCCESS, 0);
}

/* A count never exceeds the caller's buffer: the I/O manager copies that
 * many bytes back. */
static ULONG Clamp(uint32_t count, ULONG size) { return count < size ? count : size; }

NTSTATUS TavDongleControl(TAV_CHILD* child, PIRP irp) {
  TAV_BUS* bus = child->bus;
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR* buffer = irp->AssociatedIrp.SystemBuffer; /* input, then output */
  UCHAR request[DONGLE_REQUEST_SIZE] = {0};
  const ULONG requestSize = buffer == NULL ? 0 : Clamp(inSize, DONGLE_REQUEST_SIZE);
  TAVBUS_LOG_RECORD entry = {0};
  DongleEffects effects;
  BOOLEAN gone = FALSE;
  NTSTATUS status = STATUS_DEVICE_NOT_CONNECTED;
  uint32_t count = 0;
  KIRQL irql;
  RtlCopyMemory(request, buffer, requestSize);
  entry.kind = TAVBUS_LOG_IOCTL;
  entry.ioctl = code;
  entry.command = DongleRequestU16(request, requestSize, 0);
  entry.address = DongleRequestU16(request, requestSize, 2);
  entry.length = DongleRequestU16(request, requestSize, 4);
  entry.inSize = inSize;
  entry.outSize = outSize;
  KeAcquireSpinLock(&bus->lock, &irql);
  if (ReachLocked(child, DongleClassify(code, entry.command), 0, &effects, &gone)) {
    status = StatusOfResult(DongleExecute(&bus->memory, code, request, requestSize, buffer,
                                          buffer == NULL ? 0 : outSize, &effects, &count),
                            &effects);
  }
  if (!NT_SUCCESS(status)) count = 0;
  entry.status = status;
  entry.returned = Clamp(count, outSize);
  entry.faults = AppliedFaults(&effects);
  LogLocked(bus, &entry);
  KeReleaseSpinLock(&bus->lock, irql);
  TellUnplugged(bus, gone);
  return TavComplete(irp, status, entry.returned);
}

NTSTATUS TavDongleRead(TAV_CHILD* child, PIRP irp) {
  TAV_BUS* bus = child->bus;
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  UCHAR* buffer = irp->AssociatedIrp.SystemBuffer;
  TAVBUS_LOG_RECORD entry = {0};
  DongleEffects effects;
  BOOLEAN gone = FALSE;
  NTSTATUS status = STATUS_DEVICE_NOT_CONNECTED;
  uint32_t count = 0;
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  if (ReachLocked(child, DONGLE_OP_DESCRIPTOR, 0, &effects, &gone)) {
    status = effects.fail ? StatusOfError(effects.error) : STATUS_SUCCESS;
    if (NT_SUCCESS(status) && buffer != NULL) {
      count = DongleReadDescriptor(bus->descriptor, bus->descriptorLength, buffer, length,
                                   &effects);
    }
  }
  entry.kind = TAVBUS_LOG_READ;
  entry.inSize = length;
  entry.status = status;
  entry.returned = NT_SUCCESS(status) ? Clamp(count, length) : 0;
  entry.faults = AppliedFaults(&effects);
  LogLocked(bus, &entry);
  KeReleaseSpinLock(&bus->lock, irql);
  TellUnplugged(bus, gone);
  return TavComplete(irp, status, entry.returned);
}
