#pragma once
#include <string>

namespace qb {

constexpr int kMessageCount = 86;
// The website's fixed words start here, in the order of site::TSiteWords.
constexpr int kSiteFirstMsg = 31;
// The website's names of file types start here, in the order of site::TSiteWords::fileTypes.
constexpr int kSiteFileTypeMsg = 65;

// Current text of message id (0..85), UTF-8; empty for ids outside the table.
const std::string& Msg(int id);
// Replaces entry id; ids outside 0..85 are ignored.
void SetMsg(int id, const std::string& text);
// Puts the built-in English texts back (only tests and library load use this).
void ResetMessageTable();
// The built-in text of entry id.
const std::string& BuiltInMsg(int id);

}  // namespace qb
