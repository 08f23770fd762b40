/* The bus's control calls: plug and unplug the dongle, set its state, read
 * its memory, add faults, read the request log. */
#include "tavbus.h"

typedef struct CONTROL_CALL {
  UCHAR* buffer; /* METHOD_BUFFERED: the input, then the output */
  ULONG inSize;
  ULONG outSize;
  ULONG_PTR returned;
} CONTROL_CALL;

/* The bytes [address, address + length) lie inside one memory area. */
static UCHAR* AreaRange(TAV_BUS* bus, const TAVBUS_MEMORY* range) {
  UCHAR* area;
  if (range->area == TAVBUS_AREA_DATA) {
    area = bus->memory.data;
  } else if (range->area == TAVBUS_AREA_FLASH) {
    area = bus->memory.flash;
  } else {
    return NULL;
  }
  if (range->address > DONGLE_MEMORY_SIZE || range->length > DONGLE_MEMORY_SIZE - range->address) {
    return NULL;
  }
  return area + range->address;
}

static NTSTATUS WriteMemoryLocked(TAV_BUS* bus, CONTROL_CALL* call) {
  TAVBUS_MEMORY range;
  UCHAR* target;
  if (call->inSize < sizeof range) return STATUS_INVALID_PARAMETER;
  RtlCopyMemory(&range, call->buffer, sizeof range);
  target = AreaRange(bus, &range);
  if (target == NULL || range.length > call->inSize - sizeof range) return STATUS_INVALID_PARAMETER;
  RtlCopyMemory(target, call->buffer + sizeof range, range.length);
  return STATUS_SUCCESS;
}

static NTSTATUS ReadMemoryLocked(TAV_BUS* bus, CONTROL_CALL* call) {
  TAVBUS_MEMORY range;
  const UCHAR* source;
  if (call->inSize < sizeof range) return STATUS_INVALID_PARAMETER;
  RtlCopyMemory(&range, call->buffer, sizeof range);
  source = AreaRange(bus, &range);
  if (source == NULL) return STATUS_INVALID_PARAMETER;
  if (call->outSize < range.length) return STATUS_BUFFER_TOO_SMALL;
  RtlCopyMemory(call->buffer, source, range.length);
  call->returned = range.length;
  return STATUS_SUCCESS;
}

static NTSTATUS ReadLogLocked(TAV_BUS* bus, CONTROL_CALL* call) {
  TAVBUS_LOG_HEADER head;
  uint32_t first;
  const ULONG kept = bus->logTotal < TAVBUS_LOG_CAPACITY ? bus->logTotal : TAVBUS_LOG_CAPACITY;
  ULONG room;
  if (call->inSize < sizeof first || call->outSize < sizeof head) return STATUS_INVALID_PARAMETER;
  RtlCopyMemory(&first, call->buffer, sizeof first);
  room = (call->outSize - sizeof head) / sizeof(TAVBUS_LOG_RECORD);
  head.total = bus->logTotal;
  head.count = first < kept ? kept - first : 0;
  if (head.count > room) head.count = room;
  RtlCopyMemory(call->buffer, &head, sizeof head);
  if (head.count > 0) {
    RtlCopyMemory(call->buffer + sizeof head, &bus->log[first],
                  head.count * sizeof(TAVBUS_LOG_RECORD));
  }
  call->returned = sizeof head + head.count * sizeof(TAVBUS_LOG_RECORD);
  return STATUS_SUCCESS;
}

static NTSTATUS StateLocked(TAV_BUS* bus, CONTROL_CALL* call) {
  TAVBUS_STATE state;
  if (call->outSize < sizeof state) return STATUS_BUFFER_TOO_SMALL;
  state.plugged = bus->plugged;
  state.started = bus->child != NULL &&
                  ((TAV_CHILD*)bus->child->DeviceExtension)->interfaceLink.Buffer != NULL;
  state.mode = bus->memory.mode;
  state.descriptorLength = bus->descriptorLength;
  state.faults = bus->faultCount;
  state.logTotal = bus->logTotal;
  state.openHandles = bus->openHandles;
  state.plugCount = bus->plugCount;
  RtlCopyMemory(call->buffer, &state, sizeof state);
  call->returned = sizeof state;
  return STATUS_SUCCESS;
}

static NTSTATUS AddFaultLocked(TAV_BUS* bus, CONTROL_CALL* call) {
  DongleFault fault;
  if (call->inSize < sizeof fault) return STATUS_INVALID_PARAMETER;
  if (bus->faultCount >= TAVBUS_MAX_FAULTS) return STATUS_INSUFFICIENT_RESOURCES;
  RtlCopyMemory(&fault, call->buffer, sizeof fault);
  bus->faults[bus->faultCount++] = DongleActivateFault(&fault);
  return STATUS_SUCCESS;
}

static NTSTATUS SetDescriptorLocked(TAV_BUS* bus, CONTROL_CALL* call) {
  if (call->inSize > TAVBUS_MAX_DESCRIPTOR) return STATUS_INVALID_PARAMETER;
  RtlCopyMemory(bus->descriptor, call->buffer, call->inSize);
  bus->descriptorLength = call->inSize;
  return STATUS_SUCCESS;
}

static NTSTATUS SetModeLocked(TAV_BUS* bus, CONTROL_CALL* call) {
  uint32_t mode;
  if (call->inSize < sizeof mode) return STATUS_INVALID_PARAMETER;
  RtlCopyMemory(&mode, call->buffer, sizeof mode);
  bus->memory.mode = (uint8_t)mode;
  return STATUS_SUCCESS;
}

/* Every call but plug and unplug: a change of state under the lock. */
static NTSTATUS StateCallLocked(TAV_BUS* bus, ULONG code, CONTROL_CALL* call) {
  switch (code) {
    case TAVBUS_IOCTL_RESET: TavResetDongleLocked(bus); return STATUS_SUCCESS;
    case TAVBUS_IOCTL_SET_MODE: return SetModeLocked(bus, call);
    case TAVBUS_IOCTL_SET_DESCRIPTOR: return SetDescriptorLocked(bus, call);
    case TAVBUS_IOCTL_WRITE_MEMORY: return WriteMemoryLocked(bus, call);
    case TAVBUS_IOCTL_READ_MEMORY: return ReadMemoryLocked(bus, call);
    case TAVBUS_IOCTL_ADD_FAULT: return AddFaultLocked(bus, call);
    case TAVBUS_IOCTL_CLEAR_FAULTS: bus->faultCount = 0; return STATUS_SUCCESS;
    case TAVBUS_IOCTL_READ_LOG: return ReadLogLocked(bus, call);
    case TAVBUS_IOCTL_CLEAR_LOG: bus->logTotal = 0; return STATUS_SUCCESS;
    case TAVBUS_IOCTL_GET_STATE: return StateLocked(bus, call);
  }
  return STATUS_INVALID_DEVICE_REQUEST;
}

/* Plug and unplug change what the bus reports; the plug-and-play manager
 * then asks for the bus relations again and starts or removes the child. */
static NTSTATUS PlugCall(TAV_BUS* bus, BOOLEAN plug) {
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  if (plug && !bus->plugged) {
    bus->plugged = TRUE;
    ++bus->plugCount;
  } else if (!plug && bus->plugged) {
    TavUnplugLocked(bus);
  }
  KeReleaseSpinLock(&bus->lock, irql);
  IoInvalidateDeviceRelations(bus->rootPdo, BusRelations);
  return STATUS_SUCCESS;
}

NTSTATUS TavBusControl(TAV_BUS* bus, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  CONTROL_CALL call;
  NTSTATUS status;
  KIRQL irql;
  call.buffer = irp->AssociatedIrp.SystemBuffer;
  call.inSize = call.buffer == NULL ? 0 : stack->Parameters.DeviceIoControl.InputBufferLength;
  call.outSize = call.buffer == NULL ? 0 : stack->Parameters.DeviceIoControl.OutputBufferLength;
  call.returned = 0;
  if (code == TAVBUS_IOCTL_PLUG || code == TAVBUS_IOCTL_UNPLUG) {
    return TavComplete(irp, PlugCall(bus, code == TAVBUS_IOCTL_PLUG), 0);
  }
  KeAcquireSpinLock(&bus->lock, &irql);
  status = StateCallLocked(bus, code, &call);
  KeReleaseSpinLock(&bus->lock, irql);
  return TavComplete(irp, status, NT_SUCCESS(status) ? call.returned : 0);
}
