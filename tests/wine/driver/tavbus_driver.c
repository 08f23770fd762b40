/* Entry point and dispatch of the test bus driver: each request goes to the
 * bus or to the dongle, by the device object it was sent to. */
#include "tavbus.h"

static const GUID kBusInterface = TAVBUS_INTERFACE_GUID_INIT;

/* Both memory areas in one allocation; the log in another. */
#define AREAS_SIZE (2u * DONGLE_MEMORY_SIZE)
#define LOG_SIZE (TAVBUS_LOG_CAPACITY * sizeof(TAVBUS_LOG_RECORD))

NTSTATUS TavComplete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static BOOLEAN IsBus(PDEVICE_OBJECT device) {
  return ((TAV_COMMON*)device->DeviceExtension)->isBus;
}

static NTSTATUS DispatchCreate(PDEVICE_OBJECT device, PIRP irp) {
  if (IsBus(device)) return TavComplete(irp, STATUS_SUCCESS, 0);
  return TavDongleCreate(device->DeviceExtension, irp);
}

static NTSTATUS DispatchClose(PDEVICE_OBJECT device, PIRP irp) {
  if (IsBus(device)) return TavComplete(irp, STATUS_SUCCESS, 0);
  return TavDongleClose(device->DeviceExtension, irp);
}

static NTSTATUS DispatchCleanup(PDEVICE_OBJECT device, PIRP irp) {
  (void)device;
  return TavComplete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  if (IsBus(device)) return TavBusControl(device->DeviceExtension, irp);
  return TavDongleControl(device->DeviceExtension, irp);
}

static NTSTATUS DispatchRead(PDEVICE_OBJECT device, PIRP irp) {
  if (IsBus(device)) return TavComplete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  return TavDongleRead(device->DeviceExtension, irp);
}

static NTSTATUS DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
  if (IsBus(device)) return TavBusPnp(device->DeviceExtension, irp);
  return TavChildPnp(device->DeviceExtension, irp);
}

static NTSTATUS InitBus(TAV_BUS* bus, PDEVICE_OBJECT self, PDEVICE_OBJECT rootPdo) {
  LARGE_INTEGER frequency;
  RtlZeroMemory(bus, sizeof *bus);
  bus->common.isBus = TRUE;
  bus->self = self;
  bus->rootPdo = rootPdo;
  KeInitializeSpinLock(&bus->lock);
  bus->memory.data = ExAllocatePoolWithTag(NonPagedPool, AREAS_SIZE, TAVBUS_POOL_TAG);
  bus->log = ExAllocatePoolWithTag(NonPagedPool, LOG_SIZE, TAVBUS_POOL_TAG);
  if (bus->memory.data == NULL || bus->log == NULL) return STATUS_INSUFFICIENT_RESOURCES;
  bus->memory.flash = bus->memory.data + DONGLE_MEMORY_SIZE;
  TavResetDongleLocked(bus);
  KeQueryPerformanceCounter(&frequency);
  bus->ticksPerSecond = frequency.QuadPart;
  return IoRegisterDeviceInterface(rootPdo, &kBusInterface, NULL, &bus->controlLink);
}

void TavFreeBus(TAV_BUS* bus) {
  if (bus->memory.data != NULL) ExFreePoolWithTag(bus->memory.data, TAVBUS_POOL_TAG);
  if (bus->log != NULL) ExFreePoolWithTag(bus->log, TAVBUS_POOL_TAG);
  RtlFreeUnicodeString(&bus->controlLink);
}

static NTSTATUS AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT rootPdo) {
  PDEVICE_OBJECT self = NULL;
  TAV_BUS* bus;
  NTSTATUS status = IoCreateDevice(driver, sizeof(TAV_BUS), NULL, FILE_DEVICE_BUS_EXTENDER,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &self);
  if (!NT_SUCCESS(status)) return status;
  bus = self->DeviceExtension;
  status = InitBus(bus, self, rootPdo);
  if (NT_SUCCESS(status)) {
    bus->lower = IoAttachDeviceToDeviceStack(self, rootPdo);
    if (bus->lower == NULL) status = STATUS_NO_SUCH_DEVICE;
  }
  if (!NT_SUCCESS(status)) {
    TavFreeBus(bus);
    IoDeleteDevice(self);
    return status;
  }
  self->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void Unload(PDRIVER_OBJECT driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  (void)registryPath;
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->MajorFunction[IRP_MJ_READ] = DispatchRead;
  driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  return STATUS_SUCCESS;
}
