// Texts of the main window and of the version dialog.
#include "ui/main_texts.h"

const char* const kMainCaption = "Tavrolin Combo Upgrade";
const char* const kFrameText =
    "Please turn off all other program before uppdating your Tavrolin.\r\n\r\nPlug the Tavrolin "
    "into the computer USB Port.\r\n\r\nIf you experience long delays in the update please try "
    "it with another PC or contact our technical support.";
const char* const kWarningText =
    "DO NOT REMOVE the Tavrolin from your computer while the firmware is downloading!";
const char* const kPngType = "PNG";
const char* const kPngNotFoundText = "Error at Finding PNG!";
const char* const kPngLoadFailedText = "Error in LoadResource!";
const char* const kDownloadingText =
    "Firmware downloading is in processing, \nDO NOT EXIT until it is finished!";
const char* const kChooseVersionText = "Please choose one specific version.";
