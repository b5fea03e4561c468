// The program's entry point: wx creates the one application object and runs it.
#include <wx/app.h>

#include "console/QELApp.h"

wxIMPLEMENT_APP_NO_MAIN(CQELApp);

int main(int argc, char** argv) { return wxEntry(argc, argv); }
