#pragma once
// Late-bound automation of an application server in another process (COM's
// IDispatch on Windows; nothing elsewhere). Part of the operating-system seam.
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "support/Error.h"

namespace qb::os {

// A file name handed to the server: sent as the system's full native path.
struct AutomationPath {
    std::string path;
};
using AutomationArg = std::variant<bool, int, std::string, AutomationPath>;

// A call that did not return in time; the server has been ended by then.
class AutomationTimeout : public Error {
public:
    using Error::Error;
};

// Objects are handles: kApplication is the server's application object, and
// every call that returns an object gives a new handle for it.
class IAutomationServer {
public:
    static constexpr int kApplication = 0;
    virtual ~IAutomationServer() = default;
    // Each raises qb::Error naming the member and the server's reason, or
    // AutomationTimeout after ending a server that did not answer in time.
    virtual void Put(int object, const std::string& property, const AutomationArg& value) = 0;
    virtual int GetObject(int object, const std::string& property) = 0;
    // The handle of the object the method returns, or -1 when it returns none.
    virtual int Call(int object, const std::string& method, const std::vector<AutomationArg>& args) = 0;
    virtual void Release(int object) = 0;
    // Releases every object and waits a while for the server process to end;
    // one that does not is ended. Never raises.
    virtual void Close() = 0;
};

// True where automation servers exist (Windows).
bool HasAutomation();
// Starts the server registered under progId, each call limited to
// timeoutSeconds; raises qb::Error when none is registered or it cannot start.
std::unique_ptr<IAutomationServer> StartAutomationServer(const std::string& progId, double timeoutSeconds);

}  // namespace qb::os
