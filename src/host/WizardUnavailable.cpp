// The Windows build has no wizard yet: the command says so and ends normally,
// so the host keeps running and no settings change.
#include "host/Host.h"
#include "host/Win32Services.h"

namespace qb {

void ShowWizard(const std::string& /*hostText*/) {
    const PlatformServices previous = SetPlatformServices(Win32PlatformServices());
    ShowInfo("The export wizard is not available in this build of Quillbook.");
    SetPlatformServices(previous);
}

}  // namespace qb
