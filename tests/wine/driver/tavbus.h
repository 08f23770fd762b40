/* The test bus driver: a root-enumerated bus whose one child is the dongle.
 * The bus's extension holds the dongle's memory, faults and request log, so
 * they outlive every plug-in; the child is only the device object the
 * program opens while the dongle is plugged. */
#ifndef TAVROLIN_TAVBUS_H
#define TAVROLIN_TAVBUS_H

#include <ntddk.h>

#include "bus_control.h"

#define TAVBUS_POOL_TAG 0x42766154u /* 'TavB' */

typedef struct TAV_BUS TAV_BUS;

/* Both extensions start with this, so a dispatch routine can tell them apart. */
typedef struct TAV_COMMON {
  BOOLEAN isBus;
} TAV_COMMON;

typedef struct TAV_CHILD {
  TAV_COMMON common;
  TAV_BUS* bus;
  PDEVICE_OBJECT self;
  ULONG number;                 /* the plug-in it belongs to: its instance ID and name */
  UNICODE_STRING interfaceLink; /* GUID_DEVINTERFACE_USB_DEVICE, once started */
  BOOLEAN unplugged;            /* belongs to an earlier plug-in: requests are refused */
} TAV_CHILD;

struct TAV_BUS {
  TAV_COMMON common;
  PDEVICE_OBJECT self;
  PDEVICE_OBJECT lower;
  PDEVICE_OBJECT rootPdo;
  UNICODE_STRING controlLink;
  KSPIN_LOCK lock; /* everything below */
  BOOLEAN plugged;
  PDEVICE_OBJECT child; /* the current plug-in's device object, once created */
  ULONG plugCount;
  ULONG openHandles;
  DongleMemory memory;
  UCHAR descriptor[TAVBUS_MAX_DESCRIPTOR];
  ULONG descriptorLength;
  DongleActiveFault faults[TAVBUS_MAX_FAULTS];
  ULONG faultCount;
  TAVBUS_LOG_RECORD* log;
  ULONG logTotal;
  LONGLONG ticksPerSecond;
};

/* tavbus_pnp.c */
NTSTATUS TavBusPnp(TAV_BUS* bus, PIRP irp);
NTSTATUS TavChildPnp(TAV_CHILD* child, PIRP irp);

/* tavbus_dongle.c: the requests the program sends the dongle. */
NTSTATUS TavDongleCreate(TAV_CHILD* child, PIRP irp);
NTSTATUS TavDongleClose(TAV_CHILD* child, PIRP irp);
NTSTATUS TavDongleControl(TAV_CHILD* child, PIRP irp);
NTSTATUS TavDongleRead(TAV_CHILD* child, PIRP irp);
/* Under the lock: the dongle leaves the bus; its device object, if any,
 * refuses every further request. The caller then invalidates the bus
 * relations. */
void TavUnplugLocked(TAV_BUS* bus);
/* Under the lock: a fresh dongle (memory, descriptor, faults, log). */
void TavResetDongleLocked(TAV_BUS* bus);

/* tavbus_control.c: the bus's control calls. */
NTSTATUS TavBusControl(TAV_BUS* bus, PIRP irp);

/* tavbus_driver.c: frees the bus's memory, log and interface name. */
void TavFreeBus(TAV_BUS* bus);

/* Completes `irp` with `status` and `information`, and returns the status. */
NTSTATUS TavComplete(PIRP irp, NTSTATUS status, ULONG_PTR information);

#endif
