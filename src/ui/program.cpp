// Runs the program through the application object.
#include "ui/program.h"

#include "ui/app.h"
#include "ui/dialog_templates.h"

int RunProgram() {
  RegisterProgramTemplates();
  theApp.InitInstance();
  return 0;
}
