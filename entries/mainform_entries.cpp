// The main window's commands of one feature: their handlers are bound here.
#include "entries/mainform.h"

void TMainForm::bindEntryCommands() {}
