// The run record: which files runs into this output folder generated, and
// whether the last run finished. Files it does not name are the user's.
#include <cerrno>
#include <cstring>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "support/Error.h"
#include "support/Os.h"

namespace qb {

namespace {

constexpr const char* kRecordName = ".quillbook-run";
// Both states have the same length, so finishing rewrites the first line in place.
constexpr const char* kRunning = "state=running \n";
constexpr const char* kFinished = "state=finished\n";

void WriteAll(os::Fd fd, const std::string& bytes) {
    if (!os::WriteAll(fd, bytes.data(), bytes.size()))
        throw Error(std::string("Cannot write file \"") + kRecordName + "\": " + os::ErrorText(errno));
}

}  // namespace

TRunRecord& RunRecord(const TParameters& job) { return *job.Record; }

TRunRecord::~TRunRecord() { End(); }

void TRunRecord::Begin(const TParameters& job) {
    End();
    *this = TRunRecord();
    job_ = &job;
    // The record lies in the output folder; relative names resolve against it.
    std::vector<std::string> carried;
    if (Files(job).PlainFileExists(kRecordName)) {
        knowsFolder_ = true;
        TStringList earlier;
        earlier.SetText(Files(job).LoadTextFile(kRecordName));
        unfinished_ = earlier.Count() > 0 && earlier[0] + "\n" == kRunning;
        for (int i = 1; i < earlier.Count(); ++i) {
            const std::string& link = earlier[i];
            if (link.empty() || link[0] != '/') continue;
            if (unfinished_ && earlierUnfinished_.Insert(link)) removable_.push_back(link);
            // A file that is gone is no longer anybody's.
            if (Files(job).EntryExists(link.substr(1)) && ours_.Insert(link)) carried.push_back(link);
        }
    }
    fd_ = Files(job).CreateFreshFile(kRecordName);
    std::string text = kRunning;
    for (const auto& link : carried) text += link + "\n";
    WriteAll(fd_, text);
}

void TRunRecord::Add(const TParameters& job, const std::string& file) { AddAll(job, {file}); }

void TRunRecord::AddAll(const TParameters& job, const std::vector<std::string>& files) { Record(job, files, true); }

void TRunRecord::Adopt(const TParameters& job, const std::vector<std::string>& files) { Record(job, files, false); }

void TRunRecord::Record(const TParameters& job, const std::vector<std::string>& files, bool removable) {
    if (job_ != &job || fd_ < 0) return;
    std::string text;
    for (const std::string& file : files) {
        const std::string link = RootLink(job, file);
        if (!ours_.Insert(link)) continue;
        text += link + "\n";
        // A file an earlier finished run left stays; one first written now goes with the clean-up.
        if (removable && !earlierUnfinished_.Contains(link)) removable_.push_back(link);
    }
    // Written before the files themselves, so a run killed at any point has named them.
    if (!text.empty()) WriteAll(fd_, text);
}

bool TRunRecord::IsOurs(const TParameters& job, const std::string& file) const {
    return job_ == &job && ours_.Contains(RootLink(job, file));
}

bool TRunRecord::FromUnfinishedRun(const TParameters& job, const std::string& file) const {
    return job_ == &job && earlierUnfinished_.Contains(RootLink(job, file));
}

void TRunRecord::Finish() {
    if (fd_ < 0) return;
    // Files written after the walk (the project, extra files) are still added.
    if (os::WriteAt(fd_, kFinished, std::strlen(kFinished), 0) != static_cast<long long>(std::strlen(kFinished)))
        throw Error(std::string("Cannot write file \"") + kRecordName + "\": " + os::ErrorText(errno));
}

void TRunRecord::End() {
    os::Close(fd_);
    fd_ = os::kNoFd;
}

bool IsRecordName(const TParameters& job, const std::string& file) {
    return LowerAscii(RootLink(job, file)).rfind("/.quillbook", 0) == 0;
}

}  // namespace qb
