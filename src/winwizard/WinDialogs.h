#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "Utils/Platform.h"
#include "engine/OptionSchema.h"

// The system's dialogs and message boxes for the Windows wizard; texts in UTF-8.
namespace qb::win {

std::wstring Wide(const std::string& text);
std::string Utf8(const std::wstring& text);
std::string WindowText(HWND window);
void SetWindowText(HWND window, const std::string& text);

// Message boxes owned by the window that is active (or owner() when it gives one),
// folder picker and "open" through the shell.
PlatformServices Win32DialogServices(HWND (*owner)());

// File choosers (IFileDialog, falling back to the common dialogs). filter: "Name|*.x;*.y|...".
bool ChooseSaveFile(HWND owner, const std::string& filter, const std::string& ext, std::string& name);
bool ChooseOpenFile(HWND owner, const std::string& filter, const std::string& ext, std::string& name);
std::vector<std::string> ChooseOpenFiles(HWND owner);
// IFileDialog in folder mode, SHBrowseForFolderW where that is missing; path in/out with a trailing "\".
bool ChooseFolder(HWND owner, std::string& path, const std::string& title, int flags);
// A line of text asked for in a box of the module's; false when cancelled.
bool InputText(HWND owner, const std::string& caption, const std::string& prompt, std::string& text);
// The font dialog; style bits 1 bold, 2 italic, 4 underline, 8 strike-out.
bool ChooseFontFor(HWND owner, TFontValue& font, int& style);

}  // namespace qb::win
