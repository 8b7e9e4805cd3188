#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/Error.h"
#include "support/Os.h"

extern char** environ;

namespace qb::os {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
void (*gOnStop)() = nullptr;

void OnSignal(int) {
    if (gOnStop) gOnStop();
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Waits for fd to become readable: 1 ready, 0 timeout, -1 failure.
int WaitReadable(int fd, int timeoutMs) {
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        return r < 0 ? -1 : r;
    }
}

long long ReadReady(int fd, char* buffer, std::size_t size, int timeoutMs) {
    if (fd < 0) return 0;
    const int ready = WaitReadable(fd, timeoutMs);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

}  // namespace

struct StopRequests::Saved {
    struct sigaction old[3];
    void (*previous)();
};

StopRequests::StopRequests(void (*onStop)()) : saved_(new Saved{}) {
    saved_->previous = gOnStop;
    gOnStop = onStop;
    struct sigaction act {};
    act.sa_handler = OnSignal;
    sigemptyset(&act.sa_mask);
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &act, &saved_->old[i]);
}

StopRequests::~StopRequests() {
    for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &saved_->old[i], nullptr);
    gOnStop = saved_->previous;
}

struct Process::Impl {
    pid_t pid = -1;
    int channel = -1;  // socket on the program's stdin and stdout
    int output = -1;   // read end of the captured output
    bool group = false;
    int status = 0;
};

Process::Process(const std::string& program, const std::vector<std::string>& args, const Options& options)
    : impl_(new Impl) {
    int sv[2] = {-1, -1};
    if (options.duplexChannel && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        throw Error(std::strerror(errno));
    int pipeFds[2] = {-1, -1};
    if (options.captureOutput && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        const int err = errno;
        CloseFd(sv[0]);
        CloseFd(sv[1]);
        throw Error(std::strerror(err));
    }
    std::vector<std::string> copy = args;
    std::vector<char*> argv;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.duplexChannel) {
        posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
        posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (options.captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    } else if (!options.errorLog.empty()) {
        posix_spawn_file_actions_addopen(&actions, 2, options.errorLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!options.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.ownGroup) {
        posix_spawnattr_setpgroup(&attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);
    const bool search = program.find('/') == std::string::npos;
    const int rc = search ? ::posix_spawnp(&impl_->pid, program.c_str(), &actions, &attr, argv.data(), environ)
                          : ::posix_spawn(&impl_->pid, program.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    CloseFd(sv[1]);
    CloseFd(pipeFds[1]);
    if (rc != 0) {
        CloseFd(sv[0]);
        CloseFd(pipeFds[0]);
        impl_->pid = -1;
        throw Error(std::strerror(rc));
    }
    impl_->channel = sv[0];
    impl_->output = pipeFds[0];
    impl_->group = options.ownGroup;
}

Process::~Process() {
    if (impl_->pid > 0) {
        Kill();
        Wait();
    }
    CloseFd(impl_->channel);
    CloseFd(impl_->output);
}

bool Process::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (impl_->channel >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(impl_->channel, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return done == bytes.size();
}

long long Process::Receive(char* buffer, std::size_t size, int timeoutMs) {
    return ReadReady(impl_->channel, buffer, size, timeoutMs);
}

long long Process::ReadOutput(char* buffer, std::size_t size, int timeoutMs) {
    return ReadReady(impl_->output, buffer, size, timeoutMs);
}

bool Process::Running() {
    if (impl_->pid <= 0) return false;
    int status = 0;
    pid_t r;
    do r = ::waitpid(impl_->pid, &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0) return true;
    if (r == impl_->pid) impl_->status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    impl_->pid = -1;
    return false;
}

int Process::Wait() {
    if (impl_->pid > 0) {
        int status = 0;
        pid_t r;
        do r = ::waitpid(impl_->pid, &status, 0);
        while (r < 0 && errno == EINTR);
        if (r == impl_->pid) impl_->status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        impl_->pid = -1;
    }
    return impl_->status;
}

void Process::Kill() {
    if (impl_->pid <= 0) return;
    ::kill(impl_->group ? -impl_->pid : impl_->pid, SIGKILL);
}

int Process::Id() const { return impl_->pid; }

void Process::KillGroup(int id) {
    if (id > 0) ::kill(-id, SIGKILL);
}

}  // namespace qb::os
