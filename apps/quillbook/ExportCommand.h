#pragma once
#include <iosfwd>
#include <string>
#include <vector>

namespace qbcli {

struct ExportArgs {
    std::string db, item, out, chm, settings, site;
    bool whole = false;
    bool siteOnly = false;  // no --out: the website alone, from a scratch output folder
    int method = -1;  // -1: the engine of --settings, else the command line's default 0
    std::vector<std::string> sets;
};

struct HostArgs {
    std::string db, item, plugin;
    bool whole = false;
};

// Storage path of an --item argument: "\Organizer\data\3\7\", "3\7" and "3/7" name the same item.
std::string StoragePathArg(const std::string& item);

// `quillbook export --list-fields`: every option field with type, default and meaning.
void PrintOptionFields(std::ostream& out);
// `quillbook export`: exit 0 complete, 1 a stage failed, 2 usage, 3 walk error, 130 stopped.
int RunExport(const ExportArgs& args);
// `quillbook host`: loads the plug-in as the host would and runs its command.
int RunHost(const HostArgs& args);

}  // namespace qbcli
