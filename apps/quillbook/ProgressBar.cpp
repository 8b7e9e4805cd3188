#include "quillbook/ProgressBar.h"

#include <cstdio>

namespace qbcli {

namespace {

constexpr double kRedrawSeconds = 0.1;

std::string Grouped(long long n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string Duration(double seconds) {
    const long long s = static_cast<long long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

}  // namespace

std::string ProgressBar::Format(int percent, long long done, long long total, double rate) {
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    const int width = 30, filled = percent * width / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", percent);
    std::string text = "[" + bar + "] " + pct;
    if (total > 0 && done >= 0) {
        text += "  " + Grouped(done) + "/" + Grouped(total) + " items";
        if (rate > 0) {
            text += "  " + Grouped(static_cast<long long>(rate + 0.5)) + "/s";
            if (done < total) text += "  " + Duration(static_cast<double>(total - done) / rate) + " left";
        }
    }
    return text;
}

std::string ProgressBar::Update(double now, int percent, long long done, long long total) {
    const bool counting = total > 0 && done > 0 && done <= total;
    if (counting && start_ < 0) {
        start_ = now;
        startDone_ = done;
    }
    // The end of a stage is always shown; everything else waits its turn.
    const bool finished = percent >= 100 && lastPercent_ < 100;
    if (!finished && now - lastDraw_ < kRedrawSeconds) return "";
    lastDraw_ = now;
    lastPercent_ = percent;
    double rate = 0;
    if (counting && now - start_ >= 0.5 && done > startDone_)
        rate = static_cast<double>(done - startDone_) / (now - start_);
    return "\r" + Format(percent, counting ? done : -1, counting ? total : 0, rate) + "\x1b[K";
}

}  // namespace qbcli
