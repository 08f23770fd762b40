// Runs the program through the application object.
#include "ui/program.h"

#include "ui/app.h"

int RunProgram() {
  theApp.InitInstance();
  return 0;
}
