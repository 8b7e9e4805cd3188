#include "Converters.h"

#include "Error.h"
#include "MessageTable.h"
#include "Utils.h"

namespace qb {

void PrepareConverter(TParameters& job) {
    switch (job.options.ConvertMethod) {
    case 1:
        try {
            job.ConverterObject = CreateOfficeEngine(job.options);
        } catch (const std::exception& e) {
            // The cause goes to the log; the error itself is the one users know.
            ReportProgress(-1, e.what());
            throw Error(Msg(18) + Msg(16));
        }
        break;
    case 3:
        // No converter component exists on this platform.
        throw Error(Msg(17) + Msg(16));
    case 0:
        job.RichEdit = CreateBuiltInEngine();
        break;
    default:
        job.RichEdit = CreatePlainTextEngine();
        break;
    }
}

void ConvertNote(TParameters& job, const std::string& rtfFile, const std::string& title) {
    IConverterEngine* engine = job.ConverterObject ? job.ConverterObject.get() : job.RichEdit.get();
    if (!engine) throw Error("No conversion engine is prepared.");
    engine->Convert(job, rtfFile, ChangeFileExt(rtfFile, ".html"), title);
}

void ReleaseConverter(TParameters& job) {
    job.ConverterObject.reset();
    job.RichEdit.reset();
}

}  // namespace qb
