#include "support/Automation.h"

namespace qb::os {

bool HasAutomation() { return false; }

std::unique_ptr<IAutomationServer> StartAutomationServer(const std::string& progId, double /*timeoutSeconds*/) {
    throw Error("No automation server \"" + progId + "\" exists on this system.");
}

}  // namespace qb::os
