#include "quillbook/Report.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace qbcli {

Verbosity gVerbosity = Verbosity::Normal;

int Fail(const std::string& command, const std::string& text, int status) {
    std::fflush(stdout);
    std::cerr << "quillbook: " << (command.empty() ? "" : command + ": ") << text << "\n";
    return status;
}

namespace {

std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            // A swapped pair of letters ("exprot") counts as one slip, not two.
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

}  // namespace

std::string NearestWord(const std::string& word, const std::vector<std::string>& candidates) {
    std::string best;
    std::size_t bestDistance = 0;
    for (const auto& c : candidates) {
        const std::size_t d = EditDistance(word, c);
        if (best.empty() || d < bestDistance) {
            best = c;
            bestDistance = d;
        }
    }
    // Beyond a third of the word's letters the guess is noise ("frobnicate" is no "compile").
    const std::size_t limit = std::max<std::size_t>(2, word.size() / 3);
    return bestDistance <= limit ? best : std::string();
}

}  // namespace qbcli
