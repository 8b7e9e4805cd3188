#include "quillbook/ManPage.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <ostream>
#include <string>

namespace qbcli {

namespace {

// Text as roff shows it: a backslash or a minus would otherwise be read as an escape or a hyphen.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    // A line starting with a dot or a quote would be taken for a request.
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
    return out;
}

std::string Placeholder(const CLI::Option& opt) {
    std::string type = opt.get_type_name();
    if (type.empty() || type == "TEXT") {
        type = opt.get_lnames().empty() ? "VALUE" : opt.get_lnames().front();
        for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (type == "INT" || type.rfind("INT:", 0) == 0) type = "N";
    return type;
}

void PrintOption(const CLI::Option& opt, std::ostream& out) {
    out << ".TP\n";
    const bool takesValue = opt.get_expected_max() != 0;
    if (opt.get_positional()) {
        out << "\\fI" << Roff(opt.get_name(true, false)) << "\\fR";
    } else {
        std::string names;
        for (const auto& s : opt.get_snames()) names += (names.empty() ? "" : ", ") + ("\\fB\\-" + Roff(s) + "\\fR");
        for (const auto& l : opt.get_lnames())
            names += (names.empty() ? "" : ", ") + ("\\fB\\-\\-" + Roff(l) + "\\fR");
        out << names;
        if (takesValue) out << " \\fI" << Roff(Placeholder(opt)) << "\\fR";
    }
    const std::string what = opt.get_description();
    out << "\n" << Roff(what) << (what.empty() || std::ispunct(static_cast<unsigned char>(what.back())) ? "" : ".");
    if (opt.get_required()) out << " Required.";
    if (opt.get_expected_max() > 1 && !opt.get_positional()) out << " Repeatable.";
    out << "\n";
}

// A command's footer: paragraphs, "- " starting a bulleted entry and "  " continuing it.
void PrintFooter(const std::string& footer, std::ostream& out) {
    if (footer.empty()) return;
    std::size_t start = 0;
    bool paragraph = false;
    while (start < footer.size()) {
        std::size_t end = footer.find('\n', start);
        if (end == std::string::npos) end = footer.size();
        const std::string line = footer.substr(start, end - start);
        start = end + 1;
        if (line.rfind("- ", 0) == 0) {
            out << ".IP \\(bu 2\n" << Roff(line.substr(2)) << "\n";
        } else if (line.rfind("  ", 0) == 0) {
            out << Roff(line.substr(2)) << "\n";
        } else if (!line.empty()) {
            out << (paragraph ? "" : ".PP\n") << Roff(line) << "\n";
        }
        paragraph = !line.empty() && line.rfind("- ", 0) != 0 && line.rfind("  ", 0) != 0;
    }
}

void PrintCommand(const CLI::App& cmd, const std::string& prefix, std::ostream& out) {
    const CLI::App* parent = cmd.get_parent();
    const std::string name = prefix + " " + cmd.get_name();
    const auto subs = cmd.get_subcommands([](const CLI::App*) { return true; });
    out << ".SS \"" << Roff(name) << "\"\n" << Roff(cmd.get_description()) << "\n";
    for (const CLI::Option* opt : cmd.get_options()) PrintOption(*opt, out);
    // Footers are inherited; each is printed under the command that sets it.
    if (!parent || cmd.get_footer() != parent->get_footer()) PrintFooter(cmd.get_footer(), out);
    for (const CLI::App* sub : subs) PrintCommand(*sub, name, out);
}

}  // namespace

void PrintManOptions(const CLI::App& app, std::ostream& out) {
    out << ".SH OPTIONS\n.SS \"Global options\"\nThese go before or after the command word.\n";
    for (const CLI::Option* opt : app.get_options()) PrintOption(*opt, out);
    for (const CLI::App* cmd : app.get_subcommands([](const CLI::App*) { return true; }))
        PrintCommand(*cmd, app.get_name(), out);
}

}  // namespace qbcli
