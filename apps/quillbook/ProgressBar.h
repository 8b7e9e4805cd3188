// The export's progress bar: drawn at most ten times a second, with the count,
// the rate and the time left once the walk has counted its items.
#pragma once
#include <string>

namespace qbcli {

class ProgressBar {
public:
    // now: seconds on a steady clock, given by the caller so tests control time.
    // Returns the line to draw ("\r...") or "" when the last draw is too recent.
    std::string Update(double now, int percent, long long done, long long total);
    // Forces the next Update to draw (after a log line cleared the bar).
    void Invalidate() { lastDraw_ = -1e9; }
    // The bar itself, without "\r": "[####....]  42%  8,400/20,000 items  1,234/s  0:09 left".
    static std::string Format(int percent, long long done, long long total, double rate);

private:
    double lastDraw_ = -1e9;
    double start_ = -1;        // when the first counted item was seen
    long long startDone_ = 0;  // items done at that moment
    int lastPercent_ = -1;
};

}  // namespace qbcli
