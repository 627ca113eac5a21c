#include "CliProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <functional>

#include "ChildProcess.h"
#include "cli/NameText.h"

namespace quillon::test {
namespace {

std::string ReadAll(int fd) {
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text;
}

void SetEnvironment(const Environment& environment) {
    for (const auto& [name, value] : environment) {
        ::setenv(name.c_str(), value.c_str(), 1);
    }
}

[[noreturn]] void ExecCli(const CliLaunch& launch, int out, int err) {
    if (!launch.stdoutFile.empty()) {
        out = ::open(launch.stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::setenv("TMPDIR", launch.tmp.c_str(), 1);
    if (launch.unsetHome) {
        ::unsetenv("HOME");
    } else {
        ::setenv("HOME", launch.home.c_str(), 1);
    }
    ::setenv("XDG_CONFIG_HOME", (launch.home / ".config").c_str(), 1);
    SetEnvironment(launch.environment);
    if ((launch.fileSizeLimit > 0 && !LimitFileSize(launch.fileSizeLimit)) ||
        (launch.unprivileged && !DropPrivileges())) {
        ::_exit(126);
    }
    std::vector<std::string> all = {QUILLON_CLI_PATH, "--settings", launch.settings.string()};
    all.insert(all.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    ::execv(QUILLON_CLI_PATH, argv.data());
    ::_exit(127);
}

[[noreturn]] void ExecProgram(const std::vector<std::string>& arguments,
                              const Environment& environment, int out, int err) {
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    SetEnvironment(environment);
    std::vector<std::string> all = arguments;
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    ::execvp(argv.front(), argv.data());
    ::_exit(127);
}

CliOutcome Collect(const std::function<void(int out, int err)>& exec,
                   bool interruptAfterFirstFile) {
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        exec(out[1], err[1]);
    }
    ::close(out[1]);
    ::close(err[1]);
    CliOutcome outcome;
    if (interruptAfterFirstFile) {
        // Without a terminal, progress is one line per file on standard error.
        char byte;
        while (outcome.err.find('\n') == std::string::npos && ::read(err[0], &byte, 1) == 1) {
            outcome.err += byte;
        }
        ::kill(child, SIGINT);
    }
    // Standard error first: the program writes little there, so neither pipe fills up.
    outcome.err += ReadAll(err[0]);
    outcome.out = ReadAll(out[0]);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace

CliOutcome RunCli(const CliLaunch& launch) {
    return Collect([&launch](int out, int err) { ExecCli(launch, out, err); },
                   launch.interruptAfterFirstFile);
}

CliOutcome RunProgram(const std::vector<std::string>& arguments, const Environment& environment) {
    return Collect([&](int out, int err) { ExecProgram(arguments, environment, out, err); }, false);
}

QJsonObject ParseSummary(const std::string& json) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

std::vector<std::string> SummaryNames(const QJsonObject& summary, const char* key) {
    std::vector<std::string> names;
    for (const QJsonValue& name : summary[key].toArray()) {
        names.push_back(NameFromQString(name.toString()));
    }
    return names;
}

}  // namespace quillon::test
