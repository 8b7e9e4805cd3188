#include "host/Win32Services.h"

#include <windows.h>

#include "support/Utf.h"

namespace qb {

namespace {
int Box(const std::string& text, UINT type) {
    const std::u16string wide = ToUtf16(text);
    return MessageBoxW(nullptr, reinterpret_cast<LPCWSTR>(wide.c_str()), L"Quillbook", type | MB_TASKMODAL);
}
}  // namespace

PlatformServices Win32PlatformServices() {
    PlatformServices s;
    s.showInfo = [](const std::string& text) { Box(text, MB_OK | MB_ICONINFORMATION); };
    s.showError = [](const std::string& text) { Box(text, MB_OK | MB_ICONERROR); };
    s.askConfirm = [](const std::string& text) { return Box(text, MB_YESNO | MB_ICONQUESTION) == IDYES; };
    return s;
}

}  // namespace qb
