// Resource ids of the six embedded firmware images (type "MYBIN"), shared by
// the resource script, the image catalogue and the dialogs. Plain macros: the
// resource compiler reads this file too. The build lists the same ids in
// TAV_FIRMWARE_IMAGE_IDS (CMakeLists.txt).
#pragma once

#define IDR_FIRMWARE_BC 336
#define IDR_FIRMWARE_CD 337
#define IDR_FIRMWARE_KZ 338
#define IDR_FIRMWARE_MG 339
#define IDR_FIRMWARE_STANDARD 341
#define IDR_FIRMWARE_UC 342
