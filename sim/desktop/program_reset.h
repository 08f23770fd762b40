// The program's shared state back to how it is at start, so that one process
// can run the program, or parts of it, again and again.
#pragma once

// With no worker running: the device handle invalid (an open one is not
// closed), g_largePages false, g_deviceAbsent 0, g_devicePath empty, the
// three events not signalled, g_pMainDlg null, and theApp's flags and RF
// settings, and its main-window pointer, as at start.
void ResetProgramStateForTests();
