// Building a database file from a database folder tree.
#pragma once
#include <string>
#include <string_view>

namespace qb::dvo {

// Imports srcFolder into dbFile (replaced only when the whole import succeeds);
// throws qb::Error naming the offending path.
void ImportFolder(const std::string& srcFolder, const std::string& dbFile);

// Why a name cannot be stored as a storage name, or "" when it can.
std::string UnsafeNameReason(std::string_view name);

// Natural order: digit runs compare by value, so "2" comes before "10".
bool NaturalLess(std::string_view a, std::string_view b);

}  // namespace qb::dvo
