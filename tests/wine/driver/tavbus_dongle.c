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
         (effects->reportCount ? TAVBUS_APPLIED_REPORT_COUNT : 0) |
         (effects->flip ? TAVBUS_APPLIED_FLIP : 0);
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

/* One request on the dongle's device object, from taking the lock to
 * completing it: what it met, and what goes into the log. */
typedef struct DONGLE_CALL {
  TAV_BUS* bus;
  TAVBUS_LOG_RECORD entry;
  DongleEffects effects;
  BOOLEAN gone; /* an unplug fault unplugged the dongle: tell plug and play */
  NTSTATUS status;
  KIRQL irql;
} DONGLE_CALL;

/* Takes the lock. TRUE when the request reaches the dongle (plugged, and
 * this device object is the current plug-in's), with the faults that apply
 * to a request of kind `op`; an unplug fault unplugs it here instead. */
static BOOLEAN BeginCall(TAV_CHILD* child, DONGLE_CALL* call, uint32_t kind, uint32_t op,
                         int isOpen) {
  RtlZeroMemory(call, sizeof *call);
  call->bus = child->bus;
  call->entry.kind = kind;
  call->status = STATUS_DEVICE_NOT_CONNECTED;
  KeAcquireSpinLock(&call->bus->lock, &call->irql);
  if (!IsCurrentLocked(child)) return FALSE;
  call->effects = DongleTakeFaults(call->bus->faults, call->bus->faultCount, op, isOpen);
  if (!call->effects.unplug) return TRUE;
  TavUnplugLocked(call->bus);
  call->gone = TRUE;
  return FALSE;
}

/* A count never exceeds the caller's buffer: the I/O manager copies that
 * many bytes back. */
static ULONG Clamp(uint32_t count, ULONG size) { return count < size ? count : size; }

/* Logs the request, releases the lock and completes the request with
 * `count` bytes (at most `room`) when it succeeded. */
static NTSTATUS FinishCall(DONGLE_CALL* call, PIRP irp, uint32_t count, ULONG room) {
  call->entry.status = call->status;
  call->entry.returned = NT_SUCCESS(call->status) ? Clamp(count, room) : 0;
  call->entry.faults = AppliedFaults(&call->effects);
  LogLocked(call->bus, &call->entry);
  KeReleaseSpinLock(&call->bus->lock, call->irql);
  if (call->gone) IoInvalidateDeviceRelations(call->bus->rootPdo, BusRelations);
  return TavComplete(irp, call->status, call->entry.returned);
}

NTSTATUS TavDongleCreate(TAV_CHILD* child, PIRP irp) {
  DONGLE_CALL call;
  if (BeginCall(child, &call, TAVBUS_LOG_CREATE, DONGLE_OP_OPEN, 1)) {
    call.status = call.effects.fail ? StatusOfError(call.effects.error) : STATUS_SUCCESS;
    if (NT_SUCCESS(call.status)) ++call.bus->openHandles;
  }
  return FinishCall(&call, irp, 0, 0);
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

NTSTATUS TavDongleControl(TAV_CHILD* child, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  UCHAR* buffer = irp->AssociatedIrp.SystemBuffer; /* input, then output */
  const ULONG inSize = buffer == NULL ? 0 : stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outSize = buffer == NULL ? 0 : stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR request[DONGLE_REQUEST_SIZE] = {0};
  const ULONG requestSize = Clamp(inSize, DONGLE_REQUEST_SIZE);
  const uint16_t command = DongleRequestU16(buffer, requestSize, 0);
  uint32_t count = 0;
  DONGLE_CALL call;
  RtlCopyMemory(request, buffer, requestSize);
  if (BeginCall(child, &call, TAVBUS_LOG_IOCTL, DongleClassify(code, command), 0)) {
    call.status = StatusOfResult(DongleExecute(&call.bus->memory, code, request, requestSize,
                                               buffer, outSize, &call.effects, &count),
                                 &call.effects);
  }
  call.entry.ioctl = code;
  call.entry.command = command;
  call.entry.address = DongleRequestU16(request, requestSize, 2);
  call.entry.length = DongleRequestU16(request, requestSize, 4);
  call.entry.inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
  call.entry.outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
  return FinishCall(&call, irp, count, outSize);
}

NTSTATUS TavDongleRead(TAV_CHILD* child, PIRP irp) {
  const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
  UCHAR* buffer = irp->AssociatedIrp.SystemBuffer;
  const ULONG room = buffer == NULL ? 0 : length;
  uint32_t count = 0;
  DONGLE_CALL call;
  if (BeginCall(child, &call, TAVBUS_LOG_READ, DONGLE_OP_DESCRIPTOR, 0)) {
    call.status = call.effects.fail ? StatusOfError(call.effects.error) : STATUS_SUCCESS;
    if (NT_SUCCESS(call.status) && room > 0) {
      count = DongleReadDescriptor(call.bus->descriptor, call.bus->descriptorLength, buffer, room,
                                   &call.effects);
    }
  }
  call.entry.inSize = length;
  return FinishCall(&call, irp, count, room);
}
