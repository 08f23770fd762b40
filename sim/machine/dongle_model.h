/* The dongle as its driver and firmware present it: the vendor protocol's
 * constants, the memory behind it, fault injection and the answer to each
 * request. Plain C, so that the test kernel driver and the simulated dongle
 * compile the same code and cannot drift apart. No allocation, no C runtime. */
#ifndef TAVROLIN_DONGLE_MODEL_H
#define TAVROLIN_DONGLE_MODEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The two vendor control codes: METHOD_BUFFERED on FILE_DEVICE_UNKNOWN,
 * functions 0x800 (read access) and 0x801 (write access). */
#define DONGLE_IOCTL_VENDOR_READ 0x00226000u
#define DONGLE_IOCTL_VENDOR_WRITE 0x0022A004u

#define DONGLE_CMD_QUERY_MODE 0x03BAu
#define DONGLE_CMD_DATA 0x03EEu
#define DONGLE_CMD_FLASH 0x03FFu

#define DONGLE_REQUEST_SIZE 70u    /* command, address, length, 64 payload bytes */
#define DONGLE_PAYLOAD_OFFSET 6u   /* the payload inside the request */
#define DONGLE_MAX_LENGTH 64u      /* payload of one request */
#define DONGLE_FLASH_BLOCK 64u     /* flash is read and written in aligned blocks */
#define DONGLE_MEMORY_SIZE 0x10000u /* data area and flash: u16 addresses */

#define DONGLE_DESCRIPTOR_SIZE 18u
#define DONGLE_DEVICE_INFO_SIZE 27u
#define DONGLE_ADDR_RF_GROUP 21u
#define DONGLE_ADDR_BAND_MARKER 448u
#define DONGLE_ADDR_START_BAND 449u
#define DONGLE_ADDR_IDENTITY 16u   /* the identity bytes, the end of DeviceInfo */
#define DONGLE_IDENTITY_SIZE 11u

/* Where the program puts an image: its program area from the flash base of
 * the page size (512-byte pages: 0xC000, 128-byte pages: 0x0000), then its
 * data block at base + 0x3000. The descriptor read asks for 105 bytes. */
#define DONGLE_FLASH_BASE_LARGE_PAGES 0xC000u
#define DONGLE_FLASH_BASE_SMALL_PAGES 0x0000u
#define DONGLE_PROGRAM_SIZE 12288u
#define DONGLE_DATA_BLOCK_OFFSET 0x3000u
#define DONGLE_DATA_BLOCK_SIZE 512u
#define DONGLE_DESCRIPTOR_READ_SIZE 105u

/* Mode replies: descriptor check wanted, 128-byte pages, 512-byte pages. */
#define DONGLE_MODE_CHECK_DESCRIPTOR 0xAAu
#define DONGLE_MODE_SMALL_PAGES 0xBBu
#define DONGLE_MODE_LARGE_PAGES 0xCCu

/* The 18-byte device descriptor the dongle reports, and the 27 DeviceInfo
 * bytes of a fresh dongle: edition " S", firmware "1.4", hardware '2',
 * identity 5A 3C 00 12 34 00 56 78 9A BC DE (RF group 0 at data address 21). */
extern const uint8_t kDongleDefaultDescriptor[DONGLE_DESCRIPTOR_SIZE];
extern const uint8_t kDongleDefaultDeviceInfo[DONGLE_DEVICE_INFO_SIZE];

/* What a fault applies to. DONGLE_OP_ANY matches every request (control call
 * or descriptor read) but not an open; a control call whose code and command
 * match none of the first five kinds is matched by DONGLE_OP_ANY only. */
enum {
  DONGLE_OP_MODE = 0,
  DONGLE_OP_DATA_READ = 1,
  DONGLE_OP_DATA_WRITE = 2,
  DONGLE_OP_FLASH_READ = 3,
  DONGLE_OP_FLASH_WRITE = 4,
  DONGLE_OP_DESCRIPTOR = 5,
  DONGLE_OP_OPEN = 6,
  DONGLE_OP_ANY = 7
};

enum {
  DONGLE_FAULT_FAIL = 0,          /* the call fails with `error`; a write stores nothing */
  DONGLE_FAULT_SHORT = 1,         /* carried out, the count reported is one less */
  DONGLE_FAULT_CORRUPT = 2,       /* bit 0 of the last byte delivered or stored flips */
  DONGLE_FAULT_UNPLUG = 3,        /* the dongle is unplugged just before the request */
  DONGLE_FAULT_REPORT_COUNT = 4,  /* carried out, `reportedCount` is reported instead */
  DONGLE_FAULT_FLIP = 5           /* bit `flipBit` of byte `flipByte` flips on its way: in the
                                     reply of a read, or in the payload a write stores */
};

#define DONGLE_FOREVER (-1)

/* A fault lets `after` matching requests pass, then applies to the next
 * `count` (DONGLE_FOREVER: all further) matching ones. `error` is a Windows
 * system error code. A flip names its bit: `flipByte` below DONGLE_MAX_LENGTH
 * (a byte the request does not carry stays as it is), `flipBit` 0 to 7. */
typedef struct DongleFault {
  uint32_t op;
  uint32_t kind;
  int32_t after;
  int32_t count;
  uint32_t error;
  uint32_t reportedCount;
  uint32_t flipByte;
  uint32_t flipBit;
} DongleFault;

typedef struct DongleActiveFault {
  DongleFault fault;
  int32_t toPass;
  int32_t toApply; /* DONGLE_FOREVER: no end */
} DongleActiveFault;

/* The faults that apply to one request. When several apply, an unplug wins
 * over a failure, which wins over the others (short, corrupt, flips and a
 * reported count combine). `flips` is XORed over the bytes the request
 * carries, from the first; each flip fault sets its own bit in it. */
typedef struct DongleEffects {
  int unplug;
  int fail;
  uint32_t error;
  int shortCount;
  int corrupt;
  int reportCount;
  uint32_t reportedCount;
  int flip;
  uint8_t flips[DONGLE_MAX_LENGTH];
} DongleEffects;

/* Why a request was not carried out. */
enum {
  DONGLE_DONE = 0,
  DONGLE_FAILED = 1,            /* a fault failed it: effects->error */
  DONGLE_INVALID_REQUEST = 2,   /* unknown code or command, bad address or length */
  DONGLE_BUFFER_TOO_SMALL = 3   /* the output cannot hold the reply */
};

/* The dongle's memory: the mode byte and two areas of DONGLE_MEMORY_SIZE
 * bytes each, owned by the caller. */
typedef struct DongleMemory {
  uint8_t mode;
  uint8_t* data;
  uint8_t* flash;
} DongleMemory;

/* A fresh active fault from `fault`. */
DongleActiveFault DongleActivateFault(const DongleFault* fault);

/* The request kind of a control call. */
uint32_t DongleClassify(uint32_t code, uint16_t command);

/* Counts one request of kind `op` against every fault and returns what
 * applies to it. `isOpen`: the request is an open. */
DongleEffects DongleTakeFaults(DongleActiveFault* faults, uint32_t faultCount, uint32_t op,
                               int isOpen);

/* A little-endian u16 of the request at `offset`; 0 when `size` does not
 * cover it. */
uint16_t DongleRequestU16(const uint8_t* request, uint32_t size, uint32_t offset);

/* Carries out one vendor control call on `memory` as the dongle's driver
 * does: the input is the request record, the reply goes to offset 0 of the
 * output. Returns DONGLE_DONE with *returned set, or why not. */
int DongleExecute(DongleMemory* memory, uint32_t code, const uint8_t* in, uint32_t inSize,
                  uint8_t* out, uint32_t outSize, const DongleEffects* effects,
                  uint32_t* returned);

/* Answers a read of `size` bytes with the descriptor (as much of it as fits)
 * and returns the byte count to report. */
uint32_t DongleReadDescriptor(const uint8_t* descriptor, uint32_t descriptorSize,
                              uint8_t* buffer, uint32_t size, const DongleEffects* effects);

/* A fresh dongle's memory: mode 0xCC, the default DeviceInfo at data 0, band
 * marker 3 (16 starting bands), start band 0, the rest of the data area zero,
 * flash erased (0xFF). */
void DongleResetMemory(DongleMemory* memory);

#ifdef __cplusplus
}
#endif

#endif
