// Engine 1: the word processor is a headless office process, started once per
// run and driven by a small UNO bridge script over a socket pair.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Converters.h"
#include "engine/Engine.h"
#include "engine/Storage.h"
#include "support/Error.h"
#include "support/Numbers.h"
#include "support/Os.h"
#include "support/Scratch.h"

namespace qb {

// Pieces of the engine that the tests check on their own.
namespace office {

std::string FileUrl(const std::string& absolutePath);
std::string AdaptOfficePage(const std::string& page, const std::string& partsFolder,
                            const std::vector<std::pair<std::string, std::string>>& parts);
int BridgeStartCount();

}  // namespace office

namespace {

constexpr const char* kSectionMarker = "<div class=Section1>";
constexpr double kDefaultTimeout = 60.0;
constexpr double kStartTimeout = 60.0;
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kDefaultMaxOffices = 4;
constexpr int kMaxOffices = 16;
// The bridge exports under this fixed ASCII name, so the names of the parts
// the office writes beside the page never need URL escaping.
constexpr const char* kPageBase = "page";

std::atomic<int> bridgeStarts{0};

// The office bridge is the Python script of the resource "office_bridge".
// Protocol: one command a line on stdin ("convert SRC-URL DST-URL", "quit"),
// one reply a line on stdout ("ok", "timeout", "died TEXT" when the office
// ended during the conversion, "error TEXT", "bye"); an "office PGID" line
// precedes the reply whenever the office was (re)started.

bool IsExecutableFile(const std::string& path) { return os::IsExecutable(path); }

// QB_SOFFICE overrides the office program (a path, or a name looked up on PATH).
std::string FindOffice() {
    const std::string env = os::Environment("QB_SOFFICE").value_or("");
    const std::string name = env.empty() ? "soffice" : env;
    if (name.find_first_of("/\\") != std::string::npos) return IsExecutableFile(name) ? name : "";
    const std::string path = os::Environment("PATH").value_or("");
    for (const std::string& dir : SplitText(path, std::string(1, os::PathListSeparator()))) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
    }
    return "";
}

double ConvertTimeout() {
    const std::string env = os::Environment("QB_OFFICE_TIMEOUT").value_or("");
    if (env.empty()) return kDefaultTimeout;
    char* end = nullptr;
    const double v = std::strtod(env.c_str(), &end);
    return end && *end == 0 && v > 0 ? v : kDefaultTimeout;
}

std::string FormatSeconds(double s) {
    std::string t = std::to_string(s);
    t.erase(t.find_last_not_of('0') + 1);
    if (!t.empty() && t.back() == '.') t.pop_back();
    return t;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Characters a link may not carry raw; everything else (UTF-8 included) stays.
std::string EscapeLinkText(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c <= 0x20 || c == '"' || c == '#' || c == '%' || c == '?' || c == '<' || c == '>' || c == '\'' ||
            c == 0x7F) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

class Deadline {
public:
    explicit Deadline(double seconds)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000))) {}
    int RemainingMs() const {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
        return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
    }
    bool Passed() const { return RemainingMs() == 0; }

private:
    std::chrono::steady_clock::time_point end_;
};

// The bridge process and, through it, the office. The bridge runs in its own
// process group; the office in a session of its own whose id the bridge reports.
class OfficeBridge {
public:
    // script: the bridge script; folder: this office's own (profile, temp,
    // log); name: unique among the offices of every process on the machine.
    OfficeBridge(std::string script, std::string folder, std::string name, std::string soffice, double timeout)
        : script_(std::move(script)),
          folder_(std::move(folder)),
          name_(std::move(name)),
          soffice_(std::move(soffice)),
          timeout_(timeout) {
        Start();
    }
    ~OfficeBridge() { Stop(); }
    OfficeBridge(const OfficeBridge&) = delete;
    OfficeBridge& operator=(const OfficeBridge&) = delete;

    // Converts srcUrl to dstUrl; raises qb::Error naming `shownName` on failure.
    // A note whose office ended under it is tried once more on a fresh office,
    // unless `cancelled` is set by then.
    void Convert(const std::string& srcUrl, const std::string& dstUrl, const std::string& shownName,
                 const std::atomic<bool>& cancelled) {
        for (int attempt = 1;; ++attempt) {
            if (!bridge_) Start();
            Send("convert " + srcUrl + " " + dstUrl + "\n");
            // Allows a restart of the office before the conversion proper.
            const std::optional<std::string> reply = Reply(Deadline(timeout_ + kStartTimeout + 30));
            if (!reply) {
                Kill();
                throw Error("The office stopped answering while converting \"" + shownName + "\"." + LogTail());
            }
            if (*reply == "ok") return;
            if (*reply == "timeout")
                throw Error("The office did not finish converting \"" + shownName + "\" within " +
                            FormatSeconds(timeout_) + " s; it was stopped and starts again for the next note.");
            if (StartsWith(*reply, "died ") && attempt == 1 && !cancelled) continue;
            throw Error("The office could not convert \"" + shownName + "\": " + TextAfter(*reply, " "));
        }
    }

    // Ends the office at once, from any thread; a conversion under way then
    // fails and the bridge reaps what is left of the office.
    void KillOffice() {
        os::Process::KillGroup(officePgid_.load());
    }

private:
    void Start() {
        std::filesystem::create_directories(folder_ + "/tmp");

        const std::string log = folder_ + "/bridge.log";
        const std::string pipeName = "quillbook_" + std::to_string(os::ProcessId()) + "_" + name_;
        const std::string profileUrl = office::FileUrl(folder_ + "/profile");
        std::vector<std::string> args = {kPython,
                                         "-I",
                                         script_,
                                         soffice_,
                                         profileUrl,
                                         pipeName,
                                         folder_ + "/tmp",
                                         std::to_string(kStartTimeout),
                                         std::to_string(timeout_)};
        os::Process::Options options;
        options.duplexChannel = true;
        options.errorLog = log;
        try {
            bridge_ = std::make_unique<os::Process>(kPython, args, options);
        } catch (const Error& e) {
            throw Error(std::string("Cannot start ") + kPython + ": " + e.what());
        }
        buffer_.clear();
        ++bridgeStarts;

        const std::optional<std::string> reply = Reply(Deadline(kStartTimeout + 30));
        if (reply && *reply == "ready") return;
        const std::string why = !reply ? "the bridge did not answer." + LogTail() : TextAfter(*reply, " ") + ".";
        Stop();
        throw Error("Cannot start the office \"" + soffice_ + "\": " + why);
    }

    // Asks the bridge to end the office and itself; kills both when that fails.
    void Stop() {
        if (!bridge_) return;
        Send("quit\n");
        Deadline deadline(45);
        while (true) {
            std::optional<std::string> line = Reply(deadline);
            if (!line || *line == "bye") break;
        }
        bool exited = false;
        Deadline grace(10);
        while (!exited) {
            if (!bridge_->Running())
                exited = true;
            else if (grace.Passed())
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!exited) Kill();
        CloseChannel();
    }

    // Last resort: the bridge hangs. Kills both groups and reaps the bridge.
    void Kill() {
        os::Process::KillGroup(officePgid_.load());
        if (bridge_) {
            bridge_->Kill();
            bridge_->Wait();
        }
        CloseChannel();
    }

    void CloseChannel() {
        bridge_.reset();
        officePgid_ = -1;
        buffer_.clear();
    }

    void Send(const std::string& line) {
        // A failure shows in the reply read, which reports the dead bridge.
        if (bridge_) bridge_->Send(line);
    }

    // Next reply line, after recording office start lines; none at end of
    // stream or when the deadline passes.
    std::optional<std::string> Reply(const Deadline& deadline) {
        while (true) {
            std::optional<std::string> line = ReadLine(deadline);
            if (!line) return line;
            if (StartsWith(*line, "office ")) {
                officePgid_ = std::atoi(line->c_str() + 7);
                continue;
            }
            return line;
        }
    }

    std::optional<std::string> ReadLine(const Deadline& deadline) {
        while (bridge_) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            char buf[4096];
            const long long n = bridge_->Receive(buf, sizeof buf, deadline.RemainingMs());
            if (n <= 0) return std::nullopt;
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
        return std::nullopt;
    }

    // The bridge's last error output, for messages about a failed bridge.
    std::string LogTail() const {
        std::string log = Trim(LoadTextFile(folder_ + "/bridge.log"));
        if (log.empty()) return "";
        const std::size_t nl = log.find_last_of('\n');
        return " " + (nl == std::string::npos ? log : log.substr(nl + 1));
    }

    std::string script_;
    std::string folder_;
    std::string name_;
    std::string soffice_;
    double timeout_;
    std::unique_ptr<os::Process> bridge_;
    std::atomic<int> officePgid_{-1};
    std::string buffer_;
};

// Moves the files the office wrote beside the page into the page's parts
// folder, replacing the parts of an earlier conversion; returns
// (name the page uses, name in the parts folder) pairs.
std::vector<std::pair<std::string, std::string>> MoveParts(TParameters& job, const std::string& outDir,
                                                           const std::string& outPage, const std::string& partsDir,
                                                           const std::string& partsLink) {
    TStringList written;
    FindFiles(Files(job), written, outDir, "*.*", false);
    if (Files(job).DirectoryExists(partsDir)) {
        TStringList old;
        FindFiles(Files(job), old, partsDir, "*.*", false);
        for (const std::string& f : old) Files(job).DeleteFile(f);
    }
    std::vector<std::pair<std::string, std::string>> parts;
    const std::string prefix = std::string(kPageBase) + "_html_";
    for (const std::string& f : written) {
        if (f == outPage) continue;
        const std::string name = ExtractFileName(f);
        std::string target =
            StartsWith(name, prefix) && name.size() > prefix.size() ? name.substr(prefix.size()) : name;
        if (parts.empty()) Files(job).ForceDirectories(partsDir);
        // Named in the run record first: the clean-up removes only what the record names.
        RunRecord(job).Add(job, partsLink + "\\" + target);
        if (!Files(job).CopyFile(f, partsDir + "/" + target)) throw Error("Cannot write \"" + partsDir + "/" + target + "\".");
        parts.emplace_back(name, target);
    }
    if (parts.empty() && Files(job).DirectoryExists(partsDir)) Files(job).RemoveDir(partsDir);
    return parts;
}

// The page of one note from what the office exported into outDir.
void WritePage(TParameters& job, const std::string& outDir, const std::string& htmlFile) {
    const std::string outPage = outDir + "/" + kPageBase + ".html";
    const std::string partsName = ExtractFileName(ChangeFileExt(htmlFile, "")) + "_files";
    const std::string partsDir = ChangeFileExt(Files(job).ExpandFileName(htmlFile), "") + "_files";
    const auto parts = MoveParts(job, outDir, outPage, partsDir, ChangeFileExt(htmlFile, "") + "_files");

    std::string text = Files(job).LoadTextFile(outPage);
    if (!text.empty()) text = office::AdaptOfficePage(text, partsName, parts);
    const TConvertOptions& o = job.options;
    if (!o.Header.empty()) ReplaceFirst(text, kSectionMarker, o.Header + kSectionMarker);
    if (!o.Footer.empty()) {
        const std::size_t closing = std::strlen(kClosingText);
        text.erase(text.size() - std::min(text.size(), closing));
        text += o.Footer + kClosingText;
    }
    Files(job).SaveTextFile(htmlFile, text);

    if (!job.FileList) job.FileList = std::make_unique<TStringList>();
    for (const std::string& folder : {ChangeFileExt(htmlFile, ".files"), ChangeFileExt(htmlFile, "") + "_files"})
        if (Files(job).DirectoryExists(folder)) FindFiles(Files(job), *job.FileList, folder, "*.*", false);
}

// One note on its way through an office.
struct NoteSlot {
    enum class State { Ready, Busy, Done, Dropped };
    std::string source;     // absolute path of the RTF file the office reads
    std::string dir;        // this note's private folder; the office exports into dir/out
    std::string notePath;   // storage path of a note converted ahead; empty otherwise
    std::string notesFile;  // the notes file as the walk names it: messages name it
    std::string shownUrl;   // its URL, in place of the source's in the office's messages
    State state = State::Ready;
    std::string error;  // why the note failed, once Done
};

// Several offices, one worker thread each. Notes converted ahead of the walk
// are taken back in walk order, so the pages are the same whichever office
// converted them.
class OfficePool : public IConverterEngine {
public:
    OfficePool(const std::string& soffice, double timeout, int offices) {
        SaveTextFile(scratch_.Path() + "bridge.py", LoadTextResource("office_bridge", "TEXT"));
        workers_.resize(static_cast<std::size_t>(std::max(1, offices)));
        for (std::size_t i = 0; i < workers_.size(); ++i)
            threads_.emplace_back([this, i, soffice, timeout] { Work(i, soffice, timeout); });
        // All offices start side by side; the run goes on with those that came up.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return startsDone_ == workers_.size(); });
        const bool none = std::none_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.bridge; });
        if (none) {
            lock.unlock();
            const std::string why = workers_[0].startError;
            StopAll();
            throw Error(why);
        }
        for (const Worker& w : workers_)
            if (!w.bridge)
                startNotices_.push_back("One of the offices did not start; the others convert the notes: " +
                                        w.startError);
    }

    ~OfficePool() override { StopAll(); }

    // The pool starts before it knows its run; start failures reach that run's log with its first note.
    void ReportStartNotices(TParameters& job) {
        for (const std::string& notice : startNotices_) ReportProgress(job, -1, notice);
        startNotices_.clear();
    }
    OfficePool(const OfficePool&) = delete;
    OfficePool& operator=(const OfficePool&) = delete;

    void Convert(TParameters& job, const std::string& rtfFile, const std::string& htmlFile,
                 const std::string& /*title*/) override {
        ReportStartNotices(job);
        const std::string rtfPath = Files(job).ExpandFileName(rtfFile);
        if (!Files(job).FileExists(rtfPath)) throw Error("Cannot open \"" + rtfFile + "\": the file does not exist.");
        auto slot = NewSlot();
        slot->source = rtfPath;
        slot->notesFile = rtfFile;
        {
            // Ahead of every note converted ahead: the caller waits for this one.
            std::lock_guard lock(mutex_);
            queue_.push_front(slot);
        }
        changed_.notify_all();
        Finish(job, slot, htmlFile);
    }

    void ConvertAhead(TParameters& job, std::vector<TNoteAhead> notes) override {
        ReportStartNotices(job);
        DropAhead(queue_.size());
        planned_ = std::move(notes);
        nextPlanned_ = 0;
        FetchAhead(job);
    }

    bool TakeAhead(TParameters& job, const TNoteAhead& note, const std::string& htmlFile) override {
        auto same = [&](const std::string& notePath, const std::string& notesFile) {
            return notePath == note.notePath && notesFile == note.notesFile;
        };
        std::shared_ptr<NoteSlot> slot = FindAhead(same);
        if (!slot) {
            // Not fetched yet: the walk skipped the notes before it.
            const std::size_t end = std::min(planned_.size(), nextPlanned_ + kSearchAhead);
            std::size_t i = nextPlanned_;
            while (i < end && !same(planned_[i].notePath, planned_[i].notesFile)) ++i;
            if (i == end) return false;
            DropAhead(queue_.size());
            nextPlanned_ = i;
            FetchAhead(job);
            slot = FindAhead(same);
            if (!slot) return false;
        }
        Finish(job, slot, htmlFile);
        return true;
    }

private:
    static constexpr std::size_t kAheadPerOffice = 8;
    static constexpr std::size_t kSearchAhead = 256;

    struct Worker {
        OfficeBridge* bridge = nullptr;  // set once the office is up
        bool busy = false;
        std::string startError;
    };

    std::shared_ptr<NoteSlot> NewSlot() {
        auto slot = std::make_shared<NoteSlot>();
        slot->dir = scratch_.Path() + "notes/" + std::to_string(slotCount_++);
        return slot;
    }

    // The held ahead slot for a note, after dropping the ones before it.
    template <class Same>
    std::shared_ptr<NoteSlot> FindAhead(const Same& same) {
        std::size_t i = 0;
        {
            std::lock_guard lock(mutex_);
            while (i < queue_.size() &&
                   !(queue_[i]->notePath.size() && same(queue_[i]->notePath, queue_[i]->notesFile)))
                ++i;
            if (i == queue_.size()) return nullptr;
        }
        DropAhead(i);
        std::lock_guard lock(mutex_);
        return queue_.front();
    }

    // Forgets the first n notes converted ahead; a worker busy with one throws its result away.
    void DropAhead(std::size_t n) {
        std::vector<std::string> dirs;
        {
            std::lock_guard lock(mutex_);
            for (std::size_t i = 0; i < n && !queue_.empty(); ++i) {
                const auto slot = queue_.front();
                queue_.pop_front();
                --aheadHeld_;
                if (slot->state != NoteSlot::State::Busy) dirs.push_back(slot->dir);
                slot->state = NoteSlot::State::Dropped;
            }
        }
        std::error_code ec;
        for (const std::string& d : dirs) std::filesystem::remove_all(d, ec);
    }

    // Exports planned notes from the storage (on the walk's thread, like every
    // storage call) until the offices have enough ahead of the walk.
    void FetchAhead(TParameters& job) {
        const std::size_t window = kAheadPerOffice * workers_.size();
        while (nextPlanned_ < planned_.size() && aheadHeld_ < window) {
            const TNoteAhead& note = planned_[nextPlanned_++];
            auto slot = NewSlot();
            slot->notePath = note.notePath;
            slot->notesFile = note.notesFile;
            slot->source = slot->dir + "/note.rtf";
            slot->shownUrl = office::FileUrl(Files(job).ExpandFileName(note.notesFile));
            try {
                Files(job).ForceDirectories(slot->dir);
                // As the walk would: an empty file first, whatever the storage then writes.
                Files(job).PrepareFreshFile(slot->source);
                Storage(job).ExportFile(job.options.DatabaseHandle, note.notePath, slot->source);
            } catch (const std::exception& e) {
                // Reported when the walk reaches the note, as if it had exported it then.
                slot->state = NoteSlot::State::Done;
                slot->error = e.what();
            }
            {
                std::lock_guard lock(mutex_);
                queue_.push_back(slot);
                ++aheadHeld_;
            }
            changed_.notify_all();
        }
    }

    // Waits for the slot (the queue's first) and writes its page, or raises its error.
    void Finish(TParameters& job, const std::shared_ptr<NoteSlot>& slot, const std::string& htmlFile) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return slot->state == NoteSlot::State::Done; });
            queue_.erase(std::find(queue_.begin(), queue_.end(), slot));
            if (!slot->notePath.empty()) --aheadHeld_;
        }
        struct Remove {
            const std::string& dir;
            ~Remove() {
                std::error_code ec;
                std::filesystem::remove_all(dir, ec);
            }
        } remove{slot->dir};
        if (!slot->notePath.empty()) FetchAhead(job);
        if (!slot->error.empty()) throw Error(slot->error);
        WritePage(job, slot->dir + "/out", htmlFile);
    }

    void Work(std::size_t index, const std::string& soffice, double timeout) {
        std::unique_ptr<OfficeBridge> bridge;
        std::string startError;
        try {
            const std::string folder = scratch_.Path() + "office" + std::to_string(index);
            const std::string name =
                ExtractFileName(ExcludeTrailingDelimiter(scratch_.Path())) + "_" + std::to_string(index);
            bridge = std::make_unique<OfficeBridge>(scratch_.Path() + "bridge.py", folder, name, soffice, timeout);
        } catch (const std::exception& e) {
            startError = e.what();
        }
        {
            std::lock_guard lock(mutex_);
            workers_[index].bridge = bridge.get();
            workers_[index].startError = startError;
            ++startsDone_;
        }
        changed_.notify_all();
        if (!bridge) return;

        while (true) {
            std::shared_ptr<NoteSlot> slot;
            {
                std::unique_lock lock(mutex_);
                auto ready = [&] {
                    return std::find_if(queue_.begin(), queue_.end(),
                                        [](const auto& s) { return s->state == NoteSlot::State::Ready; });
                };
                changed_.wait(lock, [&] { return stopping_ || ready() != queue_.end(); });
                if (stopping_) break;
                slot = *ready();
                slot->state = NoteSlot::State::Busy;
                workers_[index].busy = true;
            }
            std::string error;
            try {
                std::filesystem::create_directories(slot->dir + "/out");
                const std::string sourceUrl = office::FileUrl(slot->source);
                try {
                    bridge->Convert(sourceUrl, office::FileUrl(slot->dir + "/out/" + kPageBase + ".html"),
                                    slot->notesFile, stopping_);
                } catch (const std::exception& e) {
                    error = e.what();
                    if (!slot->shownUrl.empty()) error = ReplaceAll(error, sourceUrl, slot->shownUrl);
                }
            } catch (const std::exception& e) {
                error = "Cannot convert \"" + slot->notesFile + "\": " + e.what();
            }
            bool dropped = false;
            {
                std::lock_guard lock(mutex_);
                workers_[index].busy = false;
                dropped = slot->state == NoteSlot::State::Dropped;
                if (!dropped) {
                    slot->state = NoteSlot::State::Done;
                    slot->error = error;
                }
            }
            changed_.notify_all();
            if (dropped) {
                std::error_code ec;
                std::filesystem::remove_all(slot->dir, ec);
            }
        }
        // Destroying the bridge ends its office.
    }

    // Ends every office: conversions under way are cut short, not awaited.
    void StopAll() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            for (Worker& w : workers_)
                if (w.busy && w.bridge) w.bridge->KillOffice();
        }
        changed_.notify_all();
        for (std::thread& t : threads_)
            if (t.joinable()) t.join();
        threads_.clear();
    }

    fs::TempFolder scratch_;  // outlives the offices, which run inside it
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> stopping_{false};
    std::vector<Worker> workers_;
    std::size_t startsDone_ = 0;
    // Notes not yet taken back, in the order the workers take them up.
    std::deque<std::shared_ptr<NoteSlot>> queue_;
    std::size_t aheadHeld_ = 0;  // of them converted ahead
    // The walk's side: notes it will ask for and the next one to export.
    std::vector<TNoteAhead> planned_;
    std::size_t nextPlanned_ = 0;
    std::vector<std::string> startNotices_;
    unsigned long long slotCount_ = 0;
    std::vector<std::thread> threads_;  // last: they use everything above
};

}  // namespace

namespace office {

// Percent-encoded file URL of an absolute native path.
std::string FileUrl(const std::string& absolutePath) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : absolutePath) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

// The page in the form the engine relies on: the section marker right after the
// body start tag (closed before the body ends), links to the parts inside
// partsFolder, CR LF line breaks and exactly the closing text at the end.
std::string AdaptOfficePage(const std::string& page, const std::string& partsFolder,
                            const std::vector<std::pair<std::string, std::string>>& parts) {
    std::string text;
    text.reserve(page.size() + page.size() / 16);
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (page[i] == '\n' && (i == 0 || page[i - 1] != '\r')) text += '\r';
        text += page[i];
    }

    for (const auto& [officeName, fileName] : parts) {
        const std::string link = EscapeLinkText(partsFolder) + "/" + EscapeLinkText(fileName);
        for (char q : {'"', '\''}) text = ReplaceAll(text, q + officeName + q, q + link + q);
    }

    std::string lower = LowerAscii(text);
    std::size_t end = lower.rfind("</body");
    if (end == std::string::npos) end = lower.rfind("</html");
    if (end != std::string::npos) text.erase(end);
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    lower.erase(text.size());

    if (text.find(kSectionMarker) == std::string::npos) {
        std::size_t insertAt = 0;
        for (std::size_t b = lower.find("<body"); b != std::string::npos; b = lower.find("<body", b + 1)) {
            const char after = b + 5 < text.size() ? text[b + 5] : '\0';
            if (after != '>' && after != '/' && !std::isspace(static_cast<unsigned char>(after))) continue;
            const std::size_t close = text.find('>', b);
            if (close != std::string::npos) insertAt = close + 1;
            break;
        }
        text.insert(insertAt, kSectionMarker);
        text += "\r\n</div>";
    }
    return text + "\r\n" + kClosingText;
}

int BridgeStartCount() { return bridgeStarts.load(); }

}  // namespace office

int OfficeCount() {
    if (const auto env = os::Environment("QB_OFFICES"); env && !env->empty()) {
        if (const auto n = ParseDecimalOrHex(*env); n && *n >= 1)
            return static_cast<int>(std::min<std::int64_t>(*n, kMaxOffices));
    }
    // Each office holds a few hundred MB; past a few, the walk is the limit anyway.
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, static_cast<unsigned>(kDefaultMaxOffices)));
}

std::unique_ptr<IConverterEngine> CreateOfficeEngine(const TConvertOptions& /*options*/, int offices) {
    const std::string soffice = FindOffice();
    if (soffice.empty()) {
        const std::string env = os::Environment("QB_SOFFICE").value_or("");
        throw Error("The office program \"" + (env.empty() ? std::string("soffice") : env) + "\" was not found.");
    }
    if (!IsExecutableFile(kPython)) throw Error(std::string("The office bridge needs ") + kPython + ".");
    return std::make_unique<OfficePool>(soffice, ConvertTimeout(), offices);
}

}  // namespace qb
