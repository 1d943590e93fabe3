// Runs dravik-cli as a script would (stdin from /dev/null, no terminal):
// to its end, or in the background for tests that signal it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dravik::test {

struct CliRun {
    int status = -1;  // the exit status, or 128 + the signal that killed it
    std::string out, err;
};

// A started dravik-cli; its output goes to files read at Wait.
class CliProcess {
public:
    // `env` is added to the test's own environment.
    CliProcess(const std::string& binary, const std::vector<std::string>& args,
               const std::vector<std::pair<std::string, std::string>>& env = {}) {
        const auto base = std::filesystem::temp_directory_path() /
                          ("dravik-cliproc-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        outPath_ = base.string() + ".out";
        errPath_ = base.string() + ".err";
        pid_ = ::fork();
        if (pid_ == 0) {
            for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(err, 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(binary.c_str()));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(binary.c_str(), argv.data());
            ::_exit(127);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;
    ~CliProcess() {
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        std::error_code ec;
        std::filesystem::remove(outPath_, ec);
        std::filesystem::remove(errPath_, ec);
    }
    pid_t Pid() const { return pid_; }
    void Signal(int signal) { ::kill(pid_, signal); }
    // Waits at most `limit`; a process still running then is killed (and
    // its status tells so).
    CliRun Wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        CliRun r;
        int st = 0;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (::waitpid(pid_, &st, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &st, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        waited_ = true;
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
        r.out = Slurp(outPath_);
        r.err = Slurp(errPath_);
        return r;
    }

private:
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static inline int counter_ = 0;
    pid_t pid_ = -1;
    bool waited_ = false;
    std::string outPath_, errPath_;
};

inline CliRun RunCli(const std::string& binary, const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env = {}) {
    CliProcess p(binary, args, env);
    return p.Wait();
}

}  // namespace dravik::test
