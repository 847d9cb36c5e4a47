#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cli/extras.h"
#include "reader/files.h"

extern char** environ;

namespace sonivex {
namespace {

// A file in memory, closed when it goes out of scope.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : fd_(::memfd_create(name, MFD_CLOEXEC)) {}
    ~MemoryFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    int fd() const { return fd_; }

    bool Write(std::span<const std::uint8_t> bytes) {
        return WriteAll(fd_, bytes.data(), bytes.size()) == bytes.size() && ::lseek(fd_, 0, SEEK_SET) == 0;
    }

    std::string ReadAll() const {
        std::string text;
        char block[4096];
        off_t at = 0;
        for (;;) {
            const ssize_t n = ::pread(fd_, block, sizeof block, at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return text;
            text.append(block, static_cast<std::size_t>(n));
            at += n;
        }
    }

private:
    int fd_;
};

std::string SystemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

}  // namespace

std::optional<std::filesystem::path> FindCliExtras(const std::filesystem::path& toolFolder,
                                                   const std::string& relativeFolder, std::string& problem) {
    for (const std::filesystem::path& folder : {toolFolder, (toolFolder / relativeFolder).lexically_normal()}) {
        const std::filesystem::path program = folder / kCliExtrasProgram;
        if (::access(program.c_str(), X_OK) == 0) return program;
    }
    problem = std::string(kCliExtrasProgram) + " was not found beside sonivex-cli";
    return std::nullopt;
}

namespace {

// SIGINT and SIGTERM: the signals that a helper which plays is told to stop by.
sigset_t StopSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    return stop;
}

// Starts `program` with `arguments`, `input` as its standard input and `output` as its standard output, and
// `mask` as its signal mask when one is given; posix_spawn's error number, 0 when it started.
int Spawn(const std::filesystem::path& program, const std::vector<std::string>& arguments, int input, int output,
          const sigset_t* mask, pid_t& child) {
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (mask != nullptr) {
        posix_spawnattr_setsigmask(&attributes, mask);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    const int spawned = ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

// Waits for `child`; while it runs, SIGINT and SIGTERM (blocked in this process) are passed on to it.
bool WaitPassingSignals(pid_t child, int& status, std::string& problem, const std::filesystem::path& program) {
    const sigset_t stop = StopSignals();
    const timespec look{0, 20'000'000};
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) break;
        if (ended < 0 && errno != EINTR) {
            problem = SystemError(program.string() + " could not be waited for", errno);
            return false;
        }
        const int signal = ::sigtimedwait(&stop, nullptr, &look);
        if (signal > 0) ::kill(child, signal);
    }
    const timespec none{0, 0};
    while (::sigtimedwait(&stop, nullptr, &none) > 0) {
    }  // a signal that came with the end was for the helper, not for this process
    return true;
}

bool WaitFor(pid_t child, int& status, std::string& problem, const std::filesystem::path& program) {
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            problem = SystemError(program.string() + " could not be waited for", errno);
            return false;
        }
    }
    return true;
}

HelperRun Run(const std::filesystem::path& program, const std::vector<std::string>& arguments,
              std::span<const std::uint8_t> input, bool passSignals) {
    HelperRun run;
    // Files in memory rather than pipes: the helper reads all its input and the tool reads its output only
    // after it ended, so neither can wait on the other, and nothing is left in any folder.
    MemoryFile in("sonivex-helper-input");
    MemoryFile out("sonivex-helper-output");
    if (in.fd() < 0 || out.fd() < 0 || !in.Write(input)) {
        run.problem = SystemError(program.string() + " could not be started", errno);
        return run;
    }
    const sigset_t stop = StopSignals();
    sigset_t before;
    if (passSignals) ::sigprocmask(SIG_BLOCK, &stop, &before);
    pid_t child = 0;
    // The helper starts with this process's signals as they were, so that the signals reach it.
    const int spawned = Spawn(program, arguments, in.fd(), out.fd(), passSignals ? &before : nullptr, child);
    int status = 0;
    bool waited = false;
    if (spawned != 0) {
        run.problem = SystemError(program.string() + " could not be started", spawned);
    } else {
        waited = passSignals ? WaitPassingSignals(child, status, run.problem, program)
                             : WaitFor(child, status, run.problem, program);
    }
    if (passSignals) ::sigprocmask(SIG_SETMASK, &before, nullptr);
    if (!waited) return run;
    run.output = out.ReadAll();
    if (WIFEXITED(status)) {
        run.ended = true;
        run.status = WEXITSTATUS(status);
    } else {
        run.problem = program.string() + " ended abnormally (signal " + std::to_string(WTERMSIG(status)) + ")";
    }
    return run;
}

}  // namespace

HelperRun RunHelper(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    std::span<const std::uint8_t> input) {
    return Run(program, arguments, input, false);
}

HelperRun RunHelperPassingSignals(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    return Run(program, arguments, {}, true);
}

std::optional<HelperSession> HelperSession::Start(const std::filesystem::path& program,
                                                  const std::vector<std::string>& arguments, std::string& problem) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        problem = SystemError(program.string() + " could not be started", errno);
        return std::nullopt;
    }
    pid_t child = 0;
    const int spawned = Spawn(program, arguments, ends[1], ends[1], nullptr, child);
    ::close(ends[1]);
    if (spawned != 0) {
        ::close(ends[0]);
        problem = SystemError(program.string() + " could not be started", spawned);
        return std::nullopt;
    }
    return HelperSession(ends[0], child);
}

HelperSession::HelperSession(HelperSession&& other) noexcept
    : socket_(std::exchange(other.socket_, -1)), child_(std::exchange(other.child_, 0)), read_(std::move(other.read_)) {}

HelperSession& HelperSession::operator=(HelperSession&& other) noexcept {
    if (this != &other) {
        End();
        socket_ = std::exchange(other.socket_, -1);
        child_ = std::exchange(other.child_, 0);
        read_ = std::move(other.read_);
    }
    return *this;
}

HelperSession::~HelperSession() { End(); }

void HelperSession::End() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
    if (child_ == 0) return;
    int status = 0;
    while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
    child_ = 0;
}

bool HelperSession::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> HelperSession::ReadLine() {
    for (;;) {
        const std::size_t end = read_.find('\n');
        if (end != std::string::npos) {
            std::string line = read_.substr(0, end);
            read_.erase(0, end + 1);
            return line;
        }
        char block[4096];
        const ssize_t n = ::recv(socket_, block, sizeof block, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        read_.append(block, static_cast<std::size_t>(n));
    }
}

}  // namespace sonivex
