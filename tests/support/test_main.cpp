// Entry point of the console's test programs: the program's application object without its
// start-up, with the program's services: its message boxes, its resources and the spreadsheet
// application.
#include "console/QELApp.h"
#include "tests/support/wx_session.h"

namespace {

// The program's application object, without its start-up: events are dispatched as in the
// program (an automation error that a handler lets through becomes a stop box).
class TestApp : public CQELApp {
public:
    bool OnInit() override { return true; }
};

}  // namespace

int main(int argc, char** argv)
{
    testing_support::RunTestsUnderWx(
        argc, argv, [] { return new TestApp; }, [] { CQELApp::RegisterServices(); });
}
