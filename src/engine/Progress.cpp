#include "Converters.h"
#include "FileSys.h"
#include "Options.h"
#include "WalkObserver.h"

namespace qb {

TProgressCallback ProgressCallback = nullptr;
void* ProgressContext = nullptr;
int StepTotal = 0;
int StepCount = 0;
std::string LastWalkError;

TParameters::TParameters() = default;
TParameters::~TParameters() = default;

bool ReportProgress(int position, const char* text) {
    if (!ProgressCallback) return false;
    return ProgressCallback(ProgressContext, position, text);
}

}  // namespace qb
