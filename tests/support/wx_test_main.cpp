// Entry point of the test programs of the window libraries (platform, resources, controls): a
// plain application object, the program's resources registered.
#include <wx/app.h>

#include "resources/resource_ids.h"
#include "tests/support/wx_session.h"

namespace {

class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

}  // namespace

int main(int argc, char** argv)
{
    testing_support::RunTestsUnderWx(
        argc, argv, [] { return new TestApp; }, [] { resources::RegisterAll(); });
}
