// The one message text shown on most device and upgrade failures, by the
// programming sequence, the upgrade command flow and the RF adjustment.
#pragma once
#include <string>

extern const std::string g_strUpgradeError;
