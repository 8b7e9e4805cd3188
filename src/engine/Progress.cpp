#include "Converters.h"
#include "Engine.h"
#include "FileSys.h"
#include "Options.h"
#include "WalkObserver.h"

namespace qb {

TParameters::TParameters() : Plan(std::make_unique<TPagePlan>()), Record(std::make_unique<TRunRecord>()) {}
TParameters::~TParameters() = default;

bool ReportProgress(const TParameters& job, int position, const char* text) {
    const bool stop = job.ProgressCallback && job.ProgressCallback(job.ProgressContext, position, text);
    return stop || job.StopRequested.load();
}

}  // namespace qb
