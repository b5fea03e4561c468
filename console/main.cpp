// The program's entry point: wx creates the one application object and runs it.
#include "console/QELApp.h"

wxIMPLEMENT_APP(CQELApp);
