/* Plug and play for the bus and its child: the bus reports the dongle while
 * it is plugged, the child answers as the USB device the program looks for
 * and offers the USB device interface while started. */
#include "tavbus.h"

#include <initguid.h>

/* GUID_DEVINTERFACE_USB_DEVICE */
DEFINE_GUID(kUsbDeviceInterface, 0xA5DCBF10, 0x6530, 0x11D2, 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9,
            0x51, 0xED);

/* The dongle's identity on the USB bus. Multi-strings end with an extra
 * terminator, which the literal's own terminator gives. */
static const WCHAR kDeviceId[] = L"USB\\VID_054C&PID_0268";
static const WCHAR kHardwareIds[] = L"USB\\VID_054C&PID_0268&REV_0100\0USB\\VID_054C&PID_0268\0";
static const WCHAR kCompatibleIds[] = L"USB\\Class_00&SubClass_00&Prot_00\0USB\\Class_00\0";
/* Each plug-in is a new device object with an instance ID and a name of its
 * own ("TAV<n>", "\Device\TavrolinDongle<n>"), so that a plug-in never
 * meets the entry of the one before while plug and play removes it. */
static const WCHAR kInstancePrefix[] = L"TAV";
static const WCHAR kChildNamePrefix[] = L"\\Device\\TavrolinDongle";
/* Where the plug-and-play manager keeps the dongle's device entries. */
static const WCHAR kEnumKey[] =
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\USB\\VID_054C&PID_0268";

#define TEXT_ROOM 128 /* characters: the longest text made here is the entry's path */

/* Appends `text` to the `length` characters at `into` (TEXT_ROOM in all)
 * and terminates it; returns the new length. */
static ULONG Append(WCHAR* into, ULONG length, const WCHAR* text) {
  while (*text != 0 && length < TEXT_ROOM - 1) into[length++] = *text++;
  into[length] = 0;
  return length;
}

/* Likewise `number` in decimal. */
static ULONG AppendNumber(WCHAR* into, ULONG length, ULONG number) {
  WCHAR digits[12];
  ULONG count = 0;
  do {
    digits[count++] = (WCHAR)(L'0' + number % 10);
    number /= 10;
  } while (number != 0);
  while (count > 0 && length < TEXT_ROOM - 1) into[length++] = digits[--count];
  into[length] = 0;
  return length;
}

/* A pool copy of `text` (`size` bytes) for an IRP_MN_QUERY_ID answer; the
 * plug-and-play manager frees it. */
static NTSTATUS QueryIdAnswer(PIRP irp, const WCHAR* text, ULONG size) {
  WCHAR* copy = ExAllocatePoolWithTag(PagedPool, size, TAVBUS_POOL_TAG);
  if (copy == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  RtlCopyMemory(copy, text, size);
  irp->IoStatus.Information = (ULONG_PTR)copy;
  return STATUS_SUCCESS;
}

static NTSTATUS QueryId(const TAV_CHILD* child, PIRP irp) {
  WCHAR instance[TEXT_ROOM];
  ULONG length;
  switch (IoGetCurrentIrpStackLocation(irp)->Parameters.QueryId.IdType) {
    case BusQueryDeviceID: return QueryIdAnswer(irp, kDeviceId, sizeof kDeviceId);
    case BusQueryHardwareIDs: return QueryIdAnswer(irp, kHardwareIds, sizeof kHardwareIds);
    case BusQueryCompatibleIDs: return QueryIdAnswer(irp, kCompatibleIds, sizeof kCompatibleIds);
    case BusQueryInstanceID:
      length = AppendNumber(instance, Append(instance, 0, kInstancePrefix), child->number);
      return QueryIdAnswer(irp, instance, (length + 1) * sizeof(WCHAR));
    default: return irp->IoStatus.Status;
  }
}

/* Relations with one member, `device`, referenced for the caller. */
static NTSTATUS OneRelation(PIRP irp, PDEVICE_OBJECT device) {
  const ULONG size = sizeof(DEVICE_RELATIONS);
  DEVICE_RELATIONS* relations = ExAllocatePoolWithTag(PagedPool, size, TAVBUS_POOL_TAG);
  if (relations == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  relations->Count = 0;
  if (device != NULL) {
    ObReferenceObject(device);
    relations->Objects[relations->Count++] = device;
  }
  irp->IoStatus.Information = (ULONG_PTR)relations;
  return STATUS_SUCCESS;
}

/* Deletes `key` with everything under it; it is closed either way. */
static NTSTATUS DeleteKeyTree(HANDLE key, int depth) {
  union {
    KEY_BASIC_INFORMATION info;
    UCHAR bytes[sizeof(KEY_BASIC_INFORMATION) + 256 * sizeof(WCHAR)];
  } buffer;
  ULONG size = 0;
  NTSTATUS status = STATUS_SUCCESS;
  while (depth < 8 && NT_SUCCESS(status) &&
         ZwEnumerateKey(key, 0, KeyBasicInformation, &buffer, sizeof buffer, &size) ==
             STATUS_SUCCESS) {
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    HANDLE subkey;
    name.Buffer = buffer.info.Name;
    name.Length = name.MaximumLength = (USHORT)buffer.info.NameLength;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, key,
                               NULL);
    status = ZwOpenKey(&subkey, KEY_ALL_ACCESS, &attributes);
    if (NT_SUCCESS(status)) status = DeleteKeyTree(subkey, depth + 1);
  }
  if (NT_SUCCESS(status)) status = ZwDeleteKey(key);
  ZwClose(key);
  return status;
}

static void DeleteKeyAt(const WCHAR* text) {
  UNICODE_STRING path;
  OBJECT_ATTRIBUTES attributes;
  HANDLE key;
  RtlInitUnicodeString(&path, text);
  InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  if (NT_SUCCESS(ZwOpenKey(&key, KEY_ALL_ACCESS, &attributes))) DeleteKeyTree(key, 0);
}

/* Wine 8.0 keeps a removed device in the sets of present devices as long as
 * its entry exists, so a program started later would find a dongle without
 * an interface. The entry goes with the device; the next plug-in makes its
 * own. */
static void RemoveChildEnumKey(ULONG number) {
  WCHAR path[TEXT_ROOM];
  ULONG length = Append(path, 0, kEnumKey);
  length = Append(path, length, L"\\");
  length = Append(path, length, kInstancePrefix);
  AppendNumber(path, length, number);
  DeleteKeyAt(path);
}

/* Not under the lock: creates the current plug-in's device object. */
static PDEVICE_OBJECT CreateChild(TAV_BUS* bus, ULONG number) {
  WCHAR nameBuffer[TEXT_ROOM];
  UNICODE_STRING name;
  PDEVICE_OBJECT device = NULL;
  TAV_CHILD* child;
  AppendNumber(nameBuffer, Append(nameBuffer, 0, kChildNamePrefix), number);
  RtlInitUnicodeString(&name, nameBuffer);
  if (!NT_SUCCESS(IoCreateDevice(bus->self->DriverObject, sizeof(TAV_CHILD), &name,
                                 FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &device))) {
    return NULL;
  }
  child = device->DeviceExtension;
  RtlZeroMemory(child, sizeof *child);
  child->bus = bus;
  child->self = device;
  child->number = number;
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return device;
}

/* The bus's children: the dongle while it is plugged. */
static NTSTATUS BusRelationsAnswer(TAV_BUS* bus, PIRP irp) {
  PDEVICE_OBJECT child = NULL;
  PDEVICE_OBJECT created = NULL;
  ULONG number;
  BOOLEAN wanted;
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  wanted = bus->plugged && bus->child == NULL;
  number = bus->plugCount;
  KeReleaseSpinLock(&bus->lock, irql);
  if (wanted) created = CreateChild(bus, number);
  KeAcquireSpinLock(&bus->lock, &irql);
  if (created != NULL && bus->plugged && bus->child == NULL && bus->plugCount == number) {
    bus->child = created;
    created = NULL;
  }
  child = bus->plugged ? bus->child : NULL;
  if (child != NULL) ObReferenceObject(child);
  KeReleaseSpinLock(&bus->lock, irql);
  if (created != NULL) IoDeleteDevice(created); /* unplugged meanwhile */
  if (child != NULL) {
    const NTSTATUS status = OneRelation(irp, child);
    ObDereferenceObject(child);
    return status;
  }
  return OneRelation(irp, NULL);
}

static NTSTATUS PassDown(TAV_BUS* bus, PIRP irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(bus->lower, irp);
}

static void SetInterface(UNICODE_STRING* link, BOOLEAN enable) {
  if (link->Buffer != NULL) IoSetDeviceInterfaceState(link, enable);
}

static void RemoveBus(TAV_BUS* bus) {
  PDEVICE_OBJECT child;
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  child = bus->child;
  TavUnplugLocked(bus);
  KeReleaseSpinLock(&bus->lock, irql);
  if (child != NULL) {
    RtlFreeUnicodeString(&((TAV_CHILD*)child->DeviceExtension)->interfaceLink);
    IoDeleteDevice(child);
  }
  SetInterface(&bus->controlLink, FALSE);
  IoDetachDevice(bus->lower);
  TavFreeBus(bus);
  IoDeleteDevice(bus->self);
}

NTSTATUS TavBusPnp(TAV_BUS* bus, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status;
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      DeleteKeyAt(kEnumKey); /* entries left by an earlier run that ended with the dongle plugged */
      SetInterface(&bus->controlLink, TRUE);
      irp->IoStatus.Status = STATUS_SUCCESS;
      return PassDown(bus, irp);
    case IRP_MN_QUERY_DEVICE_RELATIONS:
      if (stack->Parameters.QueryDeviceRelations.Type != BusRelations) break;
      irp->IoStatus.Status = BusRelationsAnswer(bus, irp);
      return PassDown(bus, irp);
    case IRP_MN_REMOVE_DEVICE:
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(bus, irp);
      RemoveBus(bus);
      return status;
    default:
      break;
  }
  return PassDown(bus, irp);
}

static NTSTATUS StartChild(TAV_CHILD* child) {
  NTSTATUS status = STATUS_SUCCESS;
  if (child->interfaceLink.Buffer == NULL) {
    status = IoRegisterDeviceInterface(child->self, &kUsbDeviceInterface, NULL,
                                       &child->interfaceLink);
  }
  if (NT_SUCCESS(status)) SetInterface(&child->interfaceLink, TRUE);
  return status;
}

/* Plug and play removes the child after an unplug (or with the bus): its
 * interface goes, and with it the device object and its device entry. */
static NTSTATUS RemoveChild(TAV_CHILD* child, PIRP irp) {
  TAV_BUS* bus = child->bus;
  BOOLEAN unplugged;
  KIRQL irql;
  SetInterface(&child->interfaceLink, FALSE);
  KeAcquireSpinLock(&bus->lock, &irql);
  unplugged = child->unplugged || bus->child != child->self;
  KeReleaseSpinLock(&bus->lock, irql);
  TavComplete(irp, STATUS_SUCCESS, 0);
  if (unplugged) {
    RtlFreeUnicodeString(&child->interfaceLink);
    RemoveChildEnumKey(child->number);
    IoDeleteDevice(child->self);
  }
  return STATUS_SUCCESS;
}

NTSTATUS TavChildPnp(TAV_CHILD* child, PIRP irp) {
  const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status;
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      status = StartChild(child);
      break;
    case IRP_MN_QUERY_ID:
      status = QueryId(child, irp);
      break;
    case IRP_MN_QUERY_CAPABILITIES: {
      DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
      caps->RawDeviceOK = 1; /* started without a function driver */
      caps->Removable = 1;
      caps->SurpriseRemovalOK = 1;
      status = STATUS_SUCCESS;
      break;
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
      if (stack->Parameters.QueryDeviceRelations.Type != TargetDeviceRelation) {
        status = irp->IoStatus.Status;
        break;
      }
      status = OneRelation(irp, child->self);
      break;
    case IRP_MN_SURPRISE_REMOVAL:
      SetInterface(&child->interfaceLink, FALSE);
      status = STATUS_SUCCESS;
      break;
    case IRP_MN_REMOVE_DEVICE:
      return RemoveChild(child, irp);
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
      status = STATUS_SUCCESS;
      break;
    default:
      status = irp->IoStatus.Status;
      break;
  }
  return TavComplete(irp, status, irp->IoStatus.Information);
}
