#pragma once
#include <cstdint>
#include <string>

#include "Utils/StringList.h"
#include "engine/Options.h"

// The wizard's rules that need no toolkit, shared by the Qt and the Windows wizard.
namespace qb {

// Caption of the host's current item (its storage name when it has none); empty without database or item.
std::string CurrentItemCaption(std::int32_t database, const std::string& itemPath);
// A range item's text: caption, then the host's text, never stuck to the colon.
std::string RangeItemText(const std::string& caption, const std::string& host);
// Base name of the help file for the range: the item's safe caption (range 0) or the database's file name.
std::string RangeName(int range, const std::string& itemCaption, const std::string& databaseFullPath);
// Whole-text integer, blanks around it allowed; qb::Error otherwise.
std::int32_t WizardStrToInt(const std::string& text);
// StartPath and DatabaseFileName from the host values for the chosen range.
void RangeIntoOptions(const TStringList& hostValues, int range, TConvertOptions& options);

}  // namespace qb
