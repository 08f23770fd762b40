/* The control interface of the test bus that carries the simulated dongle
 * under Wine: the bus's private device interface, its control codes and the
 * records they exchange. Shared by the kernel driver (C) and the programs
 * that steer it (C++). Every control call is METHOD_BUFFERED. */
#ifndef TAVROLIN_BUS_CONTROL_H
#define TAVROLIN_BUS_CONTROL_H

#include <stdint.h>

#include "sim/machine/dongle_model.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The bus's control interface {09E74A94-7B4F-4491-BC03-3D5E96C6FF72}. */
#define TAVBUS_INTERFACE_GUID_INIT \
  {0x09e74a94, 0x7b4f, 0x4491, {0xbc, 0x03, 0x3d, 0x5e, 0x96, 0xc6, 0xff, 0x72}}

/* The root device the installer creates, its hardware ID, and the service. */
#define TAVBUS_HARDWARE_ID "ROOT\\TAVROLINBUS"
#define TAVBUS_SERVICE_NAME "tavbus"
#define TAVBUS_DRIVER_FILE "tavbus.sys"

/* CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_ANY_ACCESS). */
#define TAVBUS_CTL(function) ((0x22u << 16) | ((uint32_t)(function) << 2))

/* No input, no output. PLUG and UNPLUG report the dongle's arrival or removal
 * to the plug-and-play manager; its memory stays as it is. RESET gives a
 * fresh dongle (memory, descriptor, faults and log) and leaves it plugged or
 * not as it was. */
#define TAVBUS_IOCTL_PLUG TAVBUS_CTL(0x900)
#define TAVBUS_IOCTL_UNPLUG TAVBUS_CTL(0x901)
#define TAVBUS_IOCTL_RESET TAVBUS_CTL(0x902)
/* In: a uint32_t whose low byte is the mode reply byte. */
#define TAVBUS_IOCTL_SET_MODE TAVBUS_CTL(0x903)
/* In: 0 to TAVBUS_MAX_DESCRIPTOR bytes answered to every ReadFile. */
#define TAVBUS_IOCTL_SET_DESCRIPTOR TAVBUS_CTL(0x904)
/* In: TAVBUS_MEMORY followed by `length` bytes to store. */
#define TAVBUS_IOCTL_WRITE_MEMORY TAVBUS_CTL(0x905)
/* In: TAVBUS_MEMORY. Out: `length` bytes. */
#define TAVBUS_IOCTL_READ_MEMORY TAVBUS_CTL(0x906)
/* In: a DongleFault. Up to TAVBUS_MAX_FAULTS are active at once. */
#define TAVBUS_IOCTL_ADD_FAULT TAVBUS_CTL(0x907)
#define TAVBUS_IOCTL_CLEAR_FAULTS TAVBUS_CTL(0x908)
/* In: a uint32_t, the index of the first record wanted. Out: TAVBUS_LOG_HEADER
 * followed by as many records from that index as fit. */
#define TAVBUS_IOCTL_READ_LOG TAVBUS_CTL(0x909)
#define TAVBUS_IOCTL_CLEAR_LOG TAVBUS_CTL(0x90A)
/* Out: TAVBUS_STATE. */
#define TAVBUS_IOCTL_GET_STATE TAVBUS_CTL(0x90B)

#define TAVBUS_MAX_DESCRIPTOR 255u
#define TAVBUS_MAX_FAULTS 16u
#define TAVBUS_LOG_CAPACITY 8192u

enum { TAVBUS_AREA_DATA = 0, TAVBUS_AREA_FLASH = 1 };

typedef struct TAVBUS_MEMORY {
  uint32_t area;    /* TAVBUS_AREA_DATA or TAVBUS_AREA_FLASH */
  uint32_t address; /* address + length <= DONGLE_MEMORY_SIZE */
  uint32_t length;
} TAVBUS_MEMORY;

/* What reached the dongle's device object. */
enum {
  TAVBUS_LOG_CREATE = 1,   /* CreateFile */
  TAVBUS_LOG_CLOSE = 2,    /* the last handle closed */
  TAVBUS_LOG_IOCTL = 3,    /* DeviceIoControl */
  TAVBUS_LOG_READ = 4      /* ReadFile */
};

/* Fault effects applied to a request (TAVBUS_LOG_RECORD.faults). */
enum {
  TAVBUS_APPLIED_FAIL = 1,
  TAVBUS_APPLIED_SHORT = 2,
  TAVBUS_APPLIED_CORRUPT = 4,
  TAVBUS_APPLIED_UNPLUG = 8,
  TAVBUS_APPLIED_REPORT_COUNT = 16,
  TAVBUS_APPLIED_FLIP = 32
};

typedef struct TAVBUS_LOG_RECORD {
  uint32_t kind;      /* TAVBUS_LOG_* */
  uint32_t ioctl;     /* the control code (TAVBUS_LOG_IOCTL) */
  uint16_t command;   /* the request's fields; 0 where the input was too short */
  uint16_t address;
  uint16_t length;
  uint16_t reserved;
  int32_t status;     /* the NTSTATUS the request completed with */
  uint32_t returned;  /* bytes returned (IoStatus.Information) */
  uint32_t inSize;    /* input length; for a read, the length asked for */
  uint32_t outSize;   /* output length */
  uint32_t faults;    /* TAVBUS_APPLIED_* */
  uint32_t sequence;  /* the record's index since the last clear */
  uint64_t time;      /* when it completed: the performance counter in 100 ns units */
} TAVBUS_LOG_RECORD;

typedef struct TAVBUS_LOG_HEADER {
  uint32_t total;  /* records since the last clear; beyond TAVBUS_LOG_CAPACITY only counted */
  uint32_t count;  /* records that follow this header */
} TAVBUS_LOG_HEADER;

typedef struct TAVBUS_STATE {
  uint32_t plugged;          /* the bus reports the dongle present */
  uint32_t started;          /* the dongle's interface is enabled */
  uint32_t mode;             /* the mode reply byte */
  uint32_t descriptorLength;
  uint32_t faults;           /* active faults */
  uint32_t logTotal;         /* as TAVBUS_LOG_HEADER.total */
  uint32_t openHandles;      /* handles open on the dongle */
  uint32_t plugCount;        /* plug-ins since the driver started */
} TAVBUS_STATE;

#ifdef __cplusplus
}
#endif

#endif
