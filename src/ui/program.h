// The program as a whole, once its operating-system services are installed:
// the dialog templates known, then the application object's run.
#pragma once

// Runs the program to its end; its exit code.
int RunProgram();
