// Engine 1: the word processor is a headless office process, started once per
// run and driven by a small UNO bridge script over a socket pair.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Converters.h"
#include "Error.h"
#include "FileSys.h"
#include "Utils.h"
#include "support/Scratch.h"

extern char** environ;

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
// The bridge exports under this fixed ASCII name, so the names of the parts
// the office writes beside the page never need URL escaping.
constexpr const char* kPageBase = "page";

std::atomic<int> bridgeStarts{0};

// Protocol: one command a line on stdin ("convert SRC-URL DST-URL", "quit"),
// one reply a line on stdout ("ok", "timeout", "error TEXT", "bye"); an
// "office PGID" line precedes the reply whenever the office was (re)started.
constexpr const char* kBridgeScript = R"PY(
import ctypes, os, signal, subprocess, sys, threading, time

def say(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
except Exception as exc:
    say("error python3-uno is not available (%s)" % exc)
    sys.exit(1)

SOFFICE, PROFILE_URL, PIPE_NAME, OFFICE_TMP = sys.argv[1:5]
START_TIMEOUT = float(sys.argv[5])
CONVERT_TIMEOUT = float(sys.argv[6])

# Office helpers orphaned by a kill are re-parented to us and reaped here.
try:
    ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER
except Exception:
    pass

def props(**kw):
    out = []
    for key, value in kw.items():
        p = PropertyValue()
        p.Name, p.Value = key, value
        out.append(p)
    return tuple(out)

def reap_all():
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            time.sleep(0.05)

class Office:
    def __init__(self):
        self.proc = None
        self.desktop = None
        self.killed = False

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def start(self):
        self.killed = False
        accept = "pipe,name=%s;urp;StarOffice.ComponentContext" % PIPE_NAME
        env = dict(os.environ, TMPDIR=OFFICE_TMP)
        self.proc = subprocess.Popen(
            [SOFFICE, "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
             "--nolockcheck", "-env:UserInstallation=" + PROFILE_URL, "--accept=" + accept],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=env, start_new_session=True)
        say("office %d" % self.proc.pid)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + START_TIMEOUT
        while True:
            try:
                ctx = resolver.resolve("uno:" + accept)
                break
            except NoConnectException:
                if self.proc.poll() is not None:
                    code = self.proc.returncode
                    self.stop()
                    raise RuntimeError("the office exited at start (status %s)" % code)
                if time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("the office did not answer within %g s" % START_TIMEOUT)
                time.sleep(0.1)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)

    def kill(self):
        self.killed = True
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass

    def stop(self):
        if self.proc is None:
            return
        if self.desktop is not None and self.running():
            try:
                self.desktop.terminate()
            except Exception:
                pass
        self.desktop = None
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            pass
        self.kill()
        reap_all()
        self.proc = None

    def convert(self, src, dst):
        if not self.running():
            self.stop()
            self.start()
        timer = threading.Timer(CONVERT_TIMEOUT, self.kill)
        timer.start()
        try:
            doc = self.desktop.loadComponentFromURL(
                src, "_blank", 0,
                props(Hidden=True, ReadOnly=True, MacroExecutionMode=0, UpdateDocMode=0))
            if doc is None:
                raise RuntimeError("the office could not open the file")
            try:
                doc.storeToURL(dst, props(FilterName="HTML (StarWriter)", Overwrite=True))
            finally:
                try:
                    doc.close(True)
                except Exception:
                    pass
        finally:
            timer.cancel()
            if self.killed:
                self.stop()

def main():
    office = Office()
    try:
        office.start()
    except Exception as exc:
        say("error %s" % str(exc).replace("\n", " "))
        return 1
    say("ready")
    for raw in sys.stdin.buffer:
        words = raw.decode("utf-8", "replace").split()
        if not words:
            continue
        if words[0] == "quit":
            break
        if words[0] == "convert" and len(words) == 3:
            try:
                office.convert(words[1], words[2])
                say("ok")
            except Exception as exc:
                say("timeout" if office.killed else "error %s" % str(exc).replace("\n", " "))
        else:
            say("error unknown command")
    office.stop()
    say("bye")
    return 0

sys.exit(main())
)PY";

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// QB_SOFFICE overrides the office program (a path, or a name looked up on PATH).
std::string FindOffice() {
    const char* env = std::getenv("QB_SOFFICE");
    const std::string name = env && *env ? env : "soffice";
    if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
    const char* path = std::getenv("PATH");
    for (const std::string& dir : SplitText(path ? path : "", ":")) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (IsExecutableFile(candidate)) return candidate;
    }
    return "";
}

double ConvertTimeout() {
    const char* env = std::getenv("QB_OFFICE_TIMEOUT");
    if (!env || !*env) return kDefaultTimeout;
    char* end = nullptr;
    const double v = std::strtod(env, &end);
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

// The engine's private folder (script, office profile, office temp, export
// target); removed with everything in it.
class WorkDir {
public:
    WorkDir() {
        path_ = MakeScratchFolder(TempDirectory() + "/quillbook-office-", "Cannot create a temporary folder for the office");
    }
    ~WorkDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

class Deadline {
public:
    explicit Deadline(double seconds)
        : end_(std::chrono::steady_clock::now() +
               std::chrono::milliseconds(static_cast<long long>(seconds * 1000))) {}
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
    OfficeBridge(const WorkDir& work, std::string soffice, double timeout)
        : work_(work), soffice_(std::move(soffice)), timeout_(timeout) {
        Start();
    }
    ~OfficeBridge() { Stop(); }
    OfficeBridge(const OfficeBridge&) = delete;
    OfficeBridge& operator=(const OfficeBridge&) = delete;

    // Converts srcUrl to dstUrl; raises qb::Error naming `shownName` on failure.
    void Convert(const std::string& srcUrl, const std::string& dstUrl, const std::string& shownName) {
        if (pid_ < 0) Start();
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
        throw Error("The office could not convert \"" + shownName + "\": " + TextAfter(*reply, " "));
    }

private:
    void Start() {
        const std::string script = work_ / "bridge.py";
        SaveTextFile(script, kBridgeScript);
        std::filesystem::create_directories(work_ / "tmp");

        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            throw Error("Cannot create a socket for the office bridge: " + std::string(std::strerror(errno)));
        const std::string log = work_ / "bridge.log";
        const std::string pipeName = "quillbook_" + std::to_string(::getpid()) + "_" + ExtractFileName(work_.path());
        const std::string profileUrl = office::FileUrl(work_ / "profile");
        std::vector<std::string> args = {kPython, "-I", script, soffice_, profileUrl, pipeName,
                                         work_ / "tmp", std::to_string(kStartTimeout), std::to_string(timeout_)};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
        posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, s);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, kPython, &actions, &attr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        ::close(sv[1]);
        if (rc != 0) {
            ::close(sv[0]);
            throw Error(std::string("Cannot start ") + kPython + ": " + std::strerror(rc));
        }
        pid_ = pid;
        fd_ = sv[0];
        buffer_.clear();
        ++bridgeStarts;

        const std::optional<std::string> reply = Reply(Deadline(kStartTimeout + 30));
        if (reply && *reply == "ready") return;
        const std::string why = !reply ? "the bridge did not answer." + LogTail()
                                       : TextAfter(*reply, " ") + ".";
        Stop();
        throw Error("Cannot start the office \"" + soffice_ + "\": " + why);
    }

    // Asks the bridge to end the office and itself; kills both when that fails.
    void Stop() {
        if (pid_ < 0) return;
        Send("quit\n");
        Deadline deadline(45);
        while (true) {
            std::optional<std::string> line = Reply(deadline);
            if (!line || *line == "bye") break;
        }
        bool exited = false;
        Deadline grace(10);
        while (!exited) {
            const pid_t r = ::waitpid(pid_, nullptr, WNOHANG);
            if (r == pid_ || (r < 0 && errno != EINTR)) exited = true;
            else if (grace.Passed()) break;
            else ::usleep(20000);
        }
        if (!exited) Kill();
        CloseChannel();
    }

    // Last resort: the bridge hangs. Kills both groups and reaps the bridge.
    void Kill() {
        if (officePgid_ > 0) ::kill(-officePgid_, SIGKILL);
        if (pid_ > 0) {
            ::kill(-pid_, SIGKILL);
            while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        CloseChannel();
    }

    void CloseChannel() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        pid_ = -1;
        officePgid_ = -1;
        buffer_.clear();
    }

    void Send(const std::string& line) {
        std::size_t done = 0;
        while (fd_ >= 0 && done < line.size()) {
            const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;  // the reply read reports the dead bridge
            done += static_cast<std::size_t>(n);
        }
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
        while (fd_ >= 0) {
            const std::size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, deadline.RemainingMs());
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return std::nullopt;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            buffer_.append(buf, static_cast<std::size_t>(n));
        }
        return std::nullopt;
    }

    // The bridge's last error output, for messages about a failed bridge.
    std::string LogTail() const {
        std::string log = Trim(LoadTextFile(work_ / "bridge.log"));
        if (log.empty()) return "";
        const std::size_t nl = log.find_last_of('\n');
        return " " + (nl == std::string::npos ? log : log.substr(nl + 1));
    }

    const WorkDir& work_;
    std::string soffice_;
    double timeout_;
    pid_t pid_ = -1;
    pid_t officePgid_ = -1;
    int fd_ = -1;
    std::string buffer_;
};

class OfficeEngine : public IConverterEngine {
public:
    OfficeEngine(const std::string& soffice, double timeout) : bridge_(work_, soffice, timeout) {}

    void Convert(TParameters& job, const std::string& rtfFile, const std::string& htmlFile,
                 const std::string& /*title*/) override {
        const std::string rtfPath = fs::ExpandFileName(rtfFile);
        if (!fs::FileExists(rtfPath)) throw Error("Cannot open \"" + rtfFile + "\": the file does not exist.");

        // A fresh export folder per note: whatever is in it afterwards belongs to this page.
        const std::string outDir = work_ / "out";
        std::error_code ec;
        std::filesystem::remove_all(outDir, ec);
        fs::ForceDirectories(outDir);
        const std::string outPage = outDir + "/" + kPageBase + ".html";
        bridge_.Convert(office::FileUrl(rtfPath), office::FileUrl(outPage), rtfFile);

        const std::string partsName = ExtractFileName(ChangeFileExt(htmlFile, "")) + "_files";
        const std::string partsDir = ChangeFileExt(fs::ExpandFileName(htmlFile), "") + "_files";
        const auto parts = MoveParts(outDir, outPage, partsDir);

        std::string text = LoadTextFile(outPage);
        if (!text.empty()) text = office::AdaptOfficePage(text, partsName, parts);
        const TConvertOptions& o = job.options;
        if (!o.Header.empty()) ReplaceFirst(text, kSectionMarker, o.Header + kSectionMarker);
        if (!o.Footer.empty()) {
            const std::size_t closing = std::strlen(kClosingText);
            text.erase(text.size() - std::min(text.size(), closing));
            text += o.Footer + kClosingText;
        }
        SaveTextFile(htmlFile, text);

        if (!job.FileList) job.FileList = std::make_unique<TStringList>();
        for (const std::string& folder : {ChangeFileExt(htmlFile, ".files"), ChangeFileExt(htmlFile, "") + "_files"})
            if (fs::DirectoryExists(folder)) FindFiles(*job.FileList, folder, "*.*", false);
    }

private:
    // Moves the files the office wrote beside the page into the page's parts
    // folder, replacing the parts of an earlier conversion; returns
    // (name the page uses, name in the parts folder) pairs.
    static std::vector<std::pair<std::string, std::string>> MoveParts(const std::string& outDir,
                                                                      const std::string& outPage,
                                                                      const std::string& partsDir) {
        TStringList written;
        FindFiles(written, outDir, "*.*", false);
        if (fs::DirectoryExists(partsDir)) {
            TStringList old;
            FindFiles(old, partsDir, "*.*", false);
            for (const std::string& f : old) fs::DeleteFile(f);
        }
        std::vector<std::pair<std::string, std::string>> parts;
        const std::string prefix = std::string(kPageBase) + "_html_";
        for (const std::string& f : written) {
            if (f == outPage) continue;
            const std::string name = ExtractFileName(f);
            std::string target = StartsWith(name, prefix) && name.size() > prefix.size() ? name.substr(prefix.size()) : name;
            if (parts.empty()) fs::ForceDirectories(partsDir);
            if (!fs::CopyFile(f, partsDir + "/" + target))
                throw Error("Cannot write \"" + partsDir + "/" + target + "\".");
            parts.emplace_back(name, target);
        }
        if (parts.empty() && fs::DirectoryExists(partsDir)) fs::RemoveDir(partsDir);
        return parts;
    }

    WorkDir work_;  // outlives the bridge, which runs inside it
    OfficeBridge bridge_;
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

std::unique_ptr<IConverterEngine> CreateOfficeEngine(const TConvertOptions& /*options*/) {
    const std::string soffice = FindOffice();
    if (soffice.empty()) {
        const char* env = std::getenv("QB_SOFFICE");
        throw Error(std::string("The office program \"") + (env && *env ? env : "soffice") + "\" was not found.");
    }
    if (!IsExecutableFile(kPython)) throw Error(std::string("The office bridge needs ") + kPython + ".");
    return std::make_unique<OfficeEngine>(soffice, ConvertTimeout());
}

}  // namespace qb
