#include "tests/cli/CliRun.h"

#include <poll.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>

namespace clitest {

namespace {
const std::string kExe = std::string(QB_OUT_DIR) + "/quillbook";
}  // namespace

Outcome Quillbook(const std::vector<std::string>& args, const std::vector<std::pair<std::string, std::string>>& env) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        const auto eq = kv.find('=');
        if (eq != std::string::npos) vars[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto& [k, v] : env) vars[k] = v;
    std::vector<std::string> envText;
    for (const auto& [k, v] : vars) envText.push_back(k + "=" + v);

    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {-1, "", "pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        std::vector<char*> argv{const_cast<char*>(kExe.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);
        execve(kExe.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    Outcome r{0, "", ""};
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buf[4096];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

FullDisk::FullDisk(const std::string& folder, long long bytes, bool useMount) : folder_(folder), bytes_(bytes) {
    std::filesystem::create_directories(folder_);
    if (useMount)
        mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                           ("size=" + std::to_string(bytes_)).c_str()) == 0;
}

FullDisk::~FullDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

std::vector<std::pair<std::string, std::string>> FullDisk::Env() const {
    if (mounted_) return {};
    std::string dir = std::filesystem::weakly_canonical(folder_).string();
    if (dir.back() != '/') dir += '/';
    return {{"LD_PRELOAD", QB_ENOSPC_SHIM}, {"QB_ENOSPC_DIR", dir}, {"QB_ENOSPC_LIMIT", std::to_string(bytes_)}};
}

}  // namespace clitest
