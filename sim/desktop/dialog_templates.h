// The program's three dialog templates as data, the same as the resource
// script's DIALOGEX statements: the headless desktop builds its windows from
// them, and a test under Wine compares them with the compiled templates.
#pragma once

#include "sim/desktop/dialog_template.h"

platform::DialogTemplate MainWindowTemplate();      // 228
platform::DialogTemplate SelectFirmwareTemplate();  // 343
platform::DialogTemplate AdjustRfTemplate();        // 300

// Registers the three with the template registry.
void RegisterProgramTemplates();
