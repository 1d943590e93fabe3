// Runs dravik-cli as a script would: its status and both output streams.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dravik::test {

struct CliResult {
    int status = -1;
    std::string out, err;
};

// A word for the shell, quoted.
inline std::string ShellQuoted(const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs `program` with `args` (stdin from /dev/null unless `before` says
// otherwise), after the shell commands in `before`; `wrapper` comes before
// the program on its command line (e.g. a change of user).
inline CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::string& before = "", const std::string& wrapper = "",
                            const std::string& input = "/dev/null") {
    const std::filesystem::path errFile =
        std::filesystem::temp_directory_path() / ("dravik-cli-err-" + std::to_string(::getpid()));
    std::string command = before + "exec " + wrapper + ShellQuoted(program);
    for (const auto& a : args) command += " " + ShellQuoted(a);
    command += " <" + ShellQuoted(input) + " 2>" + ShellQuoted(errFile.string());
    CliResult r;
    FILE* p = ::popen(command.c_str(), "r");
    std::array<char, 65536> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream e(errFile);
    r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
    std::filesystem::remove(errFile);
    return r;
}

}  // namespace dravik::test
