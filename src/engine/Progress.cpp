#include "Utils/FileSys.h"
#include "engine/Converters.h"
#include "engine/Engine.h"
#include "engine/Options.h"
#include "site/WalkObserver.h"

namespace qb {

TParameters::TParameters()
    : Plan(std::make_unique<TPagePlan>()),
      Record(std::make_unique<TRunRecord>()),
      OwnFiles(std::make_unique<fs::FileContext>()) {
    FileLayer = OwnFiles.get();
}

fs::FileSystem& Files(const TParameters& job) { return *job.FileLayer; }
TParameters::~TParameters() = default;

std::string LogLineText(const char* text) {
    std::string line;
    for (const char* p = text; *p; ++p)
        if (*p != '\r' || p[1] != '\n') line += *p;
    // Message texts that start or end a paragraph carry line breaks, which a
    // log written line by line shows as stray blank lines and carriage returns.
    const std::size_t begin = line.find_first_not_of('\n');
    if (begin == std::string::npos) return {};
    return line.substr(begin, line.find_last_not_of('\n') + 1 - begin);
}

bool ReportProgress(const TParameters& job, int position, const char* text) {
    const std::string line = text ? LogLineText(text) : std::string();
    const bool stop = job.ProgressCallback && job.ProgressCallback(job.ProgressContext, position, text ? line.c_str() : nullptr);
    return stop || job.StopRequested.load();
}

}  // namespace qb
