#include "Utils/FileSys.h"
#include "engine/Converters.h"
#include "engine/Engine.h"
#include "engine/Options.h"
#include "site/WalkObserver.h"

namespace qb {

TParameters::TParameters() : Plan(std::make_unique<TPagePlan>()), Record(std::make_unique<TRunRecord>()) {}
TParameters::~TParameters() = default;

bool ReportProgress(const TParameters& job, int position, const char* text) {
    const bool stop = job.ProgressCallback && job.ProgressCallback(job.ProgressContext, position, text);
    return stop || job.StopRequested.load();
}

}  // namespace qb
