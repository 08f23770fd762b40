// The shared failure text, constructed at program start and never changed.
#include "firmware/upgrade_error.h"

const std::string g_strUpgradeError =
    "Error occurred during the Firmware upgrading,  \r\n"
    "Make sure press and hold the Matching button while plug it in and try it again, "
    "if this would not resolve the problem, please contact our technical support.";
