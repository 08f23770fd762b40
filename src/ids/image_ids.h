// The embedded firmware editions, the one list of them: an entry each, in
// catalogue order (the index is the edition's number everywhere else), as
// X(resource id, name, edition code, version digits). From it come the
// resource script's image lines, the image catalogue, the IDR_FIRMWARE_<name>
// ids, and the build's list of image files (res/firmware/MYBIN_<id>.bin,
// read by CMakeLists.txt). Plain macros: the resource compiler reads this
// file too. Ids 342 and 341 come in this order: index 4 is 342, index 5 is
// 341.
#pragma once

#define TAV_FIRMWARE_IMAGES(X)    \
  X(336, BC, "BC", "351")         \
  X(337, CD, "CD", "351")         \
  X(338, KZ, "KZ", "351")         \
  X(339, MG, "MG", "351")         \
  X(342, UC, "UC", "351")         \
  X(341, STANDARD, " S", "351")

#ifdef RC_INVOKED
// One image resource: `id MYBIN "firmware/MYBIN_<id>.bin"`, found through the
// resource compiler's include path (res/).
#define TAV_STRINGIZE_(text) #text
#define TAV_STRINGIZE(text) TAV_STRINGIZE_(text)
#define TAV_FIRMWARE_RESOURCE(id, name, code, version) \
  id MYBIN TAV_STRINGIZE(firmware/MYBIN_##id.bin)
#else
#define TAV_FIRMWARE_ID(id, name, code, version) IDR_FIRMWARE_##name = id,
enum : int { TAV_FIRMWARE_IMAGES(TAV_FIRMWARE_ID) };
#undef TAV_FIRMWARE_ID
#endif
