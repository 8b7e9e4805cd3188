#pragma once
// Access to the fields of TConvertOptions by name, for the command line.
#include <string>
#include <vector>

#include "Options.h"

namespace qb {

// Names of every field, in declared order.
std::vector<std::string> OptionFieldNames();
struct OptionFieldInfo {
    std::string name, type, defaultValue, meaning;
    bool settable;  // false for the run's internals (database handle, start path, output folder)
};
// Every field in declared order with its type, its value in defaults and its meaning.
std::vector<OptionFieldInfo> OptionFieldTable(const TConvertOptions& defaults);
// Sets a field from text (flags: true/false/1/0/yes/no; integers decimal or 0x hex;
// FontColor as a colour name, "$" hex or decimal; texts as given).
// Raises qb::Error for an unknown name or a value that does not convert.
void SetOptionField(TConvertOptions& options, const std::string& name, const std::string& value);
// SetOptionField for the user's --set: the run's internals raise qb::Error.
void SetUserOptionField(TConvertOptions& options, const std::string& name, const std::string& value);
// The field's value as text (flags "true"/"false", integers decimal).
std::string GetOptionField(const TConvertOptions& options, const std::string& name);

}  // namespace qb
