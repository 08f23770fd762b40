/* The dongle's answers to vendor requests and descriptor reads, and its fault
 * injection. Loops instead of library calls: the kernel driver has no C
 * runtime. */
#include "sim/machine/dongle_model.h"

const uint8_t kDongleDefaultDescriptor[DONGLE_DESCRIPTOR_SIZE] = {
    0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x4C,
    0x05, 0x68, 0x02, 0x00, 0x01, 0x01, 0x02, 0x00, 0x01};

const uint8_t kDongleDefaultDeviceInfo[DONGLE_DEVICE_INFO_SIZE] = {
    'T',  'A',  'V',  'R',  'O',  'L',  'N', /* 0-6, not interpreted */
    ' ',  'S',                               /* 7-8 edition code */
    '1',  '.',  '4',                         /* 9-11 firmware version */
    0x00, 0x00,                              /* 12-13 */
    '2',                                     /* 14 hardware version */
    0x00,                                    /* 15 */
    0x5A, 0x3C, 0x00, 0x12, 0x34, 0x00,      /* 16-21 identity (21: RF group) */
    0x56, 0x78, 0x9A, 0xBC, 0xDE};           /* 22-26 */

static void CopyBytes(uint8_t* to, const uint8_t* from, uint32_t count) {
  uint32_t i;
  for (i = 0; i < count; ++i) to[i] = from[i];
}

static void FillBytes(uint8_t* to, uint8_t value, uint32_t count) {
  uint32_t i;
  for (i = 0; i < count; ++i) to[i] = value;
}

DongleActiveFault DongleActivateFault(const DongleFault* fault) {
  DongleActiveFault active;
  active.fault = *fault;
  active.toPass = fault->after > 0 ? fault->after : 0;
  active.toApply = fault->count < 0 ? DONGLE_FOREVER : fault->count;
  return active;
}

uint32_t DongleClassify(uint32_t code, uint16_t command) {
  if (code == DONGLE_IOCTL_VENDOR_READ) {
    if (command == DONGLE_CMD_QUERY_MODE) return DONGLE_OP_MODE;
    if (command == DONGLE_CMD_DATA) return DONGLE_OP_DATA_READ;
    if (command == DONGLE_CMD_FLASH) return DONGLE_OP_FLASH_READ;
  } else if (code == DONGLE_IOCTL_VENDOR_WRITE) {
    if (command == DONGLE_CMD_DATA) return DONGLE_OP_DATA_WRITE;
    if (command == DONGLE_CMD_FLASH) return DONGLE_OP_FLASH_WRITE;
  }
  return DONGLE_OP_ANY; /* matched by DONGLE_OP_ANY faults only */
}

/* The bytes one request carries, as its flip faults leave them. */
static void FlipBytes(uint8_t* bytes, uint32_t count, const DongleEffects* effects) {
  uint32_t i;
  if (!effects->flip) return;
  for (i = 0; i < count && i < DONGLE_MAX_LENGTH; ++i) bytes[i] ^= effects->flips[i];
}

static void ApplyFault(const DongleFault* fault, DongleEffects* effects) {
  switch (fault->kind) {
    case DONGLE_FAULT_FAIL:
      if (!effects->fail) effects->error = fault->error;
      effects->fail = 1;
      break;
    case DONGLE_FAULT_SHORT:
      effects->shortCount = 1;
      break;
    case DONGLE_FAULT_CORRUPT:
      effects->corrupt = 1;
      break;
    case DONGLE_FAULT_UNPLUG:
      effects->unplug = 1;
      break;
    case DONGLE_FAULT_REPORT_COUNT:
      effects->reportCount = 1;
      effects->reportedCount = fault->reportedCount;
      break;
    case DONGLE_FAULT_FLIP:
      if (fault->flipByte < DONGLE_MAX_LENGTH) {
        effects->flip = 1;
        effects->flips[fault->flipByte] ^= (uint8_t)(1u << (fault->flipBit & 7u));
      }
      break;
    default:
      break;
  }
}

DongleEffects DongleTakeFaults(DongleActiveFault* faults, uint32_t faultCount, uint32_t op,
                               int isOpen) {
  DongleEffects effects;
  uint32_t i;
  FillBytes((uint8_t*)&effects, 0, sizeof effects);
  for (i = 0; i < faultCount; ++i) {
    DongleActiveFault* active = &faults[i];
    const int matches =
        active->fault.op == op || (active->fault.op == DONGLE_OP_ANY && !isOpen);
    if (!matches) continue;
    if (active->toPass > 0) {
      --active->toPass;
      continue;
    }
    if (active->toApply == 0) continue;
    if (active->toApply > 0) --active->toApply;
    ApplyFault(&active->fault, &effects);
  }
  return effects;
}

uint16_t DongleRequestU16(const uint8_t* request, uint32_t size, uint32_t offset) {
  if (request == 0 || size < offset + 2) return 0;
  return (uint16_t)(request[offset] | (request[offset + 1] << 8));
}

/* Reads and writes of the data area and flash. */
static int ExecuteMemory(DongleMemory* memory, uint32_t code, const uint8_t* in, uint8_t* out,
                         uint32_t outSize, const DongleEffects* effects, uint32_t* count) {
  const uint16_t command = DongleRequestU16(in, DONGLE_REQUEST_SIZE, 0);
  const uint32_t address = DongleRequestU16(in, DONGLE_REQUEST_SIZE, 2);
  const uint32_t length = DongleRequestU16(in, DONGLE_REQUEST_SIZE, 4);
  uint8_t* area;
  if (length == 0 || length > DONGLE_MAX_LENGTH || address + length > DONGLE_MEMORY_SIZE ||
      (command == DONGLE_CMD_FLASH &&
       (length != DONGLE_FLASH_BLOCK || address % DONGLE_FLASH_BLOCK != 0))) {
    return DONGLE_INVALID_REQUEST;
  }
  area = command == DONGLE_CMD_DATA ? memory->data : memory->flash;
  if (code == DONGLE_IOCTL_VENDOR_READ) {
    if (outSize < length) return DONGLE_BUFFER_TOO_SMALL;
    CopyBytes(out, area + address, length);
    FlipBytes(out, length, effects);
    if (effects->corrupt) out[length - 1] ^= 0x01;
  } else {
    CopyBytes(area + address, in + DONGLE_PAYLOAD_OFFSET, length);
    FlipBytes(area + address, length, effects);
    if (effects->corrupt) area[address + length - 1] ^= 0x01;
  }
  *count = length;
  return DONGLE_DONE;
}

int DongleExecute(DongleMemory* memory, uint32_t code, const uint8_t* in, uint32_t inSize,
                  uint8_t* out, uint32_t outSize, const DongleEffects* effects,
                  uint32_t* returned) {
  uint16_t command;
  uint32_t count = 0;
  int result;
  if (effects->fail) return DONGLE_FAILED;
  if (code != DONGLE_IOCTL_VENDOR_READ && code != DONGLE_IOCTL_VENDOR_WRITE) {
    return DONGLE_INVALID_REQUEST;
  }
  if (in == 0 || inSize < DONGLE_REQUEST_SIZE) return DONGLE_INVALID_REQUEST;
  if (out == 0) outSize = 0;
  command = DongleRequestU16(in, inSize, 0);
  if (command == DONGLE_CMD_QUERY_MODE) {
    if (code != DONGLE_IOCTL_VENDOR_READ) return DONGLE_INVALID_REQUEST;
    if (outSize < 1) return DONGLE_BUFFER_TOO_SMALL;
    out[0] = memory->mode;
    FlipBytes(out, 1, effects);
    if (effects->corrupt) out[0] ^= 0x01;
    count = 1;
  } else if (command == DONGLE_CMD_DATA || command == DONGLE_CMD_FLASH) {
    result = ExecuteMemory(memory, code, in, out, outSize, effects, &count);
    if (result != DONGLE_DONE) return result;
  } else {
    return DONGLE_INVALID_REQUEST;
  }
  if (effects->shortCount && count > 0) --count;
  if (effects->reportCount) count = effects->reportedCount;
  *returned = count;
  return DONGLE_DONE;
}

uint32_t DongleReadDescriptor(const uint8_t* descriptor, uint32_t descriptorSize,
                              uint8_t* buffer, uint32_t size, const DongleEffects* effects) {
  uint32_t count = size < descriptorSize ? size : descriptorSize;
  if (count > 0) CopyBytes(buffer, descriptor, count);
  FlipBytes(buffer, count, effects);
  if (effects->corrupt && count > 0) buffer[count - 1] ^= 0x01;
  if (effects->shortCount && count > 0) --count;
  if (effects->reportCount) count = effects->reportedCount;
  return count;
}

void DongleResetMemory(DongleMemory* memory) {
  memory->mode = DONGLE_MODE_LARGE_PAGES;
  FillBytes(memory->data, 0x00, DONGLE_MEMORY_SIZE);
  CopyBytes(memory->data, kDongleDefaultDeviceInfo, DONGLE_DEVICE_INFO_SIZE);
  memory->data[DONGLE_ADDR_BAND_MARKER] = 3; /* 16 starting bands */
  memory->data[DONGLE_ADDR_START_BAND] = 0;
  FillBytes(memory->flash, 0xFF, DONGLE_MEMORY_SIZE); /* erased */
}
