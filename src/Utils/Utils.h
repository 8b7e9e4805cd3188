#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Utils/StringList.h"
#include "support/Path.h"
#include "support/Text.h"
#include "support/Utf.h"

namespace qb {

namespace fs {
class FileSystem;
}

using TStringArray = std::vector<std::string>;

// --- Text for HTML ---------------------------------------------------------
// "&", "<", ">", CR LF -> "<BR>", two spaces -> "&nbsp;&nbsp;", in that order.
std::string TextToHtml(const std::string& text);
// Only "&", "<", ">".
std::string HtmlEscape(const std::string& text);
// "#RRGGBB" from a 0x00BBGGRR colour, upper-case digits.
std::string ColorToHtml(std::uint32_t color);
// HTML font size 1..7 for a point size.
int FontSizeToHtmlSize(int points);

// --- Text handling ---------------------------------------------------------
// Part before / after the first separator; the whole text when absent.
std::string TextBefore(const std::string& text, const std::string& sep);
std::string TextAfter(const std::string& text, const std::string& sep);
// Pieces between separators; the last piece always added; empty text gives none.
TStringArray SplitText(const std::string& text, const std::string& sep);
int CountOccurrences(const std::string& text, const std::string& sub);
std::string ToForwardSlashes(std::string text);
// Replaces every non-overlapping occurrence; ASCII letters folded unless caseSensitive.
void ReplaceAllNoCase(std::string& text, const std::string& pattern, const std::string& replacement,
                      bool caseSensitive);
// Exact-case replacement of every occurrence, left to right.
std::string ReplaceAll(const std::string& text, const std::string& pattern, const std::string& replacement);
// Replaces the first occurrence only (exact case); returns whether one was found.
bool ReplaceFirst(std::string& text, const std::string& pattern, const std::string& replacement);
// Trimmed, then bytes 0..20, space, " & * / : < > ? \ | replaced by repl;
// Windows device names and trailing dots made safe (WindowsSafeName).
std::string SafeFileName(const std::string& text, char repl = '_');

bool IsHtmlFile(const std::string& name);
bool IsImageFile(const std::string& name);

// --- Windows-style path text (either separator accepted) -------------------
// Folder part including its trailing separator ("a\b\c.txt" -> "a\b\").
std::string ExtractFilePath(const std::string& path);
// Name part after the last "\" , "/" or ":".
std::string ExtractFileName(const std::string& path);
// Extension from the last dot of the name part, dot included; empty when none.
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Adds a trailing separator when missing: "/" for native paths, "\" when the text uses "\".
std::string IncludeTrailingDelimiter(const std::string& path);
std::string ExcludeTrailingDelimiter(const std::string& path);

// --- Files and folders (paths may use "\" or "/"; see FileSys.h) -----------
// Outside a run, relative to the current directory; a run's files go through
// its fs::FileSystem, and the overloads that take one.
// Writes bytes, replacing the file; raises qb::Error naming the file and the
// system's reason when it cannot be written.
bool SaveTextFile(const std::string& fileName, const std::string& bytes);
// The same, a page held in memory taking the bytes without a copy.
bool SaveTextFile(const std::string& fileName, std::string&& bytes);
// Whole file; missing or unreadable reads as empty.
std::string LoadTextFile(const std::string& fileName);
// The same, a page held in memory handed over instead of copied: it is held
// again only when saved back.
std::string TakeTextFile(const std::string& fileName);
bool FileMentionsAll(const std::string& fileName, const TStringList& names);
bool FileMentionsAll(fs::FileSystem& files, const std::string& fileName, const TStringList& names);
// Appends folder + name of matching files (mask with * and ?), dot-names skipped,
// sorted by name; files of a folder before those of its sub-folders. An empty
// folder name lists nothing (it must not become the root).
void FindFiles(TStringList& list, const std::string& folder, const std::string& mask, bool recursive);
void FindFiles(fs::FileSystem& files, TStringList& list, const std::string& folder, const std::string& mask,
               bool recursive);
// Deletes matching files not in keep (case-insensitive), recursing, then removes
// the folder when empty and not kept; an empty folder name does nothing.
// keep == nullptr is a programming error (raises qb::Error).
void DeleteFilesExcept(const TStringList* keep, const std::string& folder, const std::string& mask, bool recursive);
void DeleteFilesExcept(fs::FileSystem& files, const TStringList* keep, const std::string& folder,
                       const std::string& mask, bool recursive);

// --- Module and environment ------------------------------------------------
// Embedded resource (names without regard to case); empty when missing.
std::string LoadTextResource(const std::string& name, const std::string& type);
// Folder of the shared object or executable holding this code, trailing "/".
std::string ModuleDirectory();
// Full path of that module file.
std::string ModuleFileName();
// Special folder path with trailing "/": 5 is the documents folder (XDG);
// empty for unknown ids.
std::string GetSpecialFolder(int id);

}  // namespace qb
