// Engine 1 where the word processor is an automation server: "Word.Application",
// created once per run, each note opened, saved as HTML (format 8) and closed.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Converters.h"
#include "engine/Engine.h"
#include "support/Error.h"

namespace qb {

namespace {

constexpr const char* kSectionMarker = "<div class=Section1>";
constexpr int kHtmlFormat = 8;
constexpr double kDefaultWordTimeout = 120.0;

using os::AutomationPath;
using os::IAutomationServer;

class WordEngine : public IConverterEngine {
public:
    WordEngine(const TConvertOptions& options, std::unique_ptr<IAutomationServer> word) : word_(std::move(word)) {
        constexpr int app = IAutomationServer::kApplication;
        try {
            word_->Put(app, "Visible", false);
            word_->Put(app, "DisplayAlerts", false);
            word_->Put(app, "ScreenUpdating", false);
            const int wordOptions = word_->GetObject(app, "Options");
            word_->Put(wordOptions, "AutoFormatReplaceHyperlinks", true);
            word_->Release(wordOptions);
            word_->Call(app, "ChangeFileOpenDirectory", {AutomationPath{fs::ExpandFileName(options.RootPath)}});
        } catch (...) {
            Quit();
            throw;
        }
    }
    ~WordEngine() override { Quit(); }
    WordEngine(const WordEngine&) = delete;
    WordEngine& operator=(const WordEngine&) = delete;

    void Convert(TParameters& job, const std::string& rtfFile, const std::string& htmlFile,
                 const std::string& /*title*/) override {
        if (!word_) throw Error("Word is no longer running; \"" + rtfFile + "\" was not converted.");
        SaveAsHtml(job, rtfFile, htmlFile);
        FinishPage(job, htmlFile);
    }

private:
    void SaveAsHtml(TParameters& job, const std::string& rtfFile, const std::string& htmlFile) {
        constexpr int app = IAutomationServer::kApplication;
        int doc = -1;
        try {
            const int documents = word_->GetObject(app, "Documents");
            doc = word_->Call(documents, "Open", {AutomationPath{Files(job).ExpandFileName(rtfFile)}});
            word_->Release(documents);
            if (doc < 0) throw Error("Documents.Open gave no document.");
            word_->Call(doc, "SaveAs", {AutomationPath{Files(job).ExpandFileName(htmlFile)}, kHtmlFormat});
            word_->Call(doc, "Close", {});
            word_->Release(doc);
        } catch (const os::AutomationTimeout& e) {
            // The server is gone: nothing more can be converted in this run.
            word_->Close();
            word_.reset();
            throw Error("Word did not finish converting \"" + rtfFile + "\" and was ended: " + e.what());
        } catch (const std::exception& e) {
            if (doc >= 0) {
                // A document left open would be saved or asked about at Quit.
                try {
                    word_->Call(doc, "Close", {false});
                } catch (const std::exception&) {
                }
                word_->Release(doc);
            }
            throw Error("Word could not convert \"" + rtfFile + "\": " + e.what());
        }
    }

    // The page as the engine hands it on: header before the body section,
    // footer in place of the word processor's closing, its parts listed.
    static void FinishPage(TParameters& job, const std::string& htmlFile) {
        std::string text = Files(job).LoadTextFile(htmlFile);
        const TConvertOptions& o = job.options;
        if (!o.Header.empty()) ReplaceFirst(text, kSectionMarker, o.Header + kSectionMarker);
        if (!o.Footer.empty()) {
            text.erase(text.size() - std::min(text.size(), std::strlen(kClosingText)));
            text += o.Footer + kClosingText;
        }
        Files(job).SaveTextFile(htmlFile, text);

        if (!job.FileList) job.FileList = std::make_unique<TStringList>();
        for (const std::string& folder : {ChangeFileExt(htmlFile, ".files"), ChangeFileExt(htmlFile, "") + "_files"}) {
            if (!Files(job).DirectoryExists(folder)) continue;
            // Listed by full path (a relative one would be the process's), named as the page is.
            TStringList found;
            FindFiles(Files(job), found, Files(job).ExpandFileName(folder), "*.*", false);
            std::vector<std::string> parts;
            for (const std::string& f : found) parts.push_back(IncludeTrailingDelimiter(folder) + ExtractFileName(f));
            // Named in the run record, so the clean-up takes them away with the page.
            if (job.Record) RunRecord(job).AddAll(job, parts);
            for (const std::string& part : parts) job.FileList->Add(part);
        }
    }

    void Quit() {
        if (!word_) return;
        try {
            word_->Call(IAutomationServer::kApplication, "Quit", {false});
        } catch (const std::exception&) {
            // Close ends a server that did not quit.
        }
        word_->Close();
        word_.reset();
    }

    std::unique_ptr<IAutomationServer> word_;
};

}  // namespace

double WordTimeout() {
    const char* env = std::getenv("QB_WORD_TIMEOUT");
    if (!env || !*env) return kDefaultWordTimeout;
    char* end = nullptr;
    const double v = std::strtod(env, &end);
    return end && *end == 0 && v > 0 ? v : kDefaultWordTimeout;
}

std::unique_ptr<IConverterEngine> CreateWordEngine(const TConvertOptions& options,
                                                   std::unique_ptr<os::IAutomationServer> word) {
    return std::make_unique<WordEngine>(options, std::move(word));
}

}  // namespace qb
