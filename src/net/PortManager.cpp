#include "net/PortManager.h"

#include "platform/Log.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace orvelo {

namespace {

// Debian installs lsof in /usr/bin; other systems keep it in /usr/sbin.
std::string lsofPath()
{
    for (const char* path : {"/usr/bin/lsof", "/usr/sbin/lsof"})
        if (::access(path, X_OK) == 0)
            return path;
    return "/usr/bin/lsof";
}

struct CommandOutput {
    int spawnError = 0;
    std::string standardOutput;
};

// Runs `argv` with standard output collected and standard error discarded, and waits for it.
CommandOutput runCollectingOutput(const std::vector<std::string>& argv)
{
    CommandOutput result;
    int pipeFDs[2];
    if (::pipe2(pipeFDs, O_CLOEXEC) != 0) {
        result.spawnError = errno;
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFDs[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<char*> args;
    for (const auto& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t child = -1;
    result.spawnError = ::posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFDs[1]);
    if (result.spawnError == 0) {
        char buffer[4096];
        while (true) {
            const ssize_t n = ::read(pipeFDs[0], buffer, sizeof buffer);
            if (n > 0)
                result.standardOutput.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR)
                break;
        }
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    ::close(pipeFDs[0]);
    return result;
}

std::string joined(const std::vector<std::string>& items, std::string_view separator)
{
    std::string text;
    for (const auto& item : items) {
        if (!text.empty())
            text += separator;
        text += item;
    }
    return text;
}

} // namespace

std::vector<std::string> PortManager::processesBoundTo(std::string_view lsofFieldOutput, std::uint16_t port)
{
    const std::string portSuffix = ":" + std::to_string(port);
    std::vector<std::string> pids;
    std::string currentPID;
    while (!lsofFieldOutput.empty()) {
        const auto end = lsofFieldOutput.find('\n');
        const std::string_view line = lsofFieldOutput.substr(0, end);
        lsofFieldOutput.remove_prefix(end == std::string_view::npos ? lsofFieldOutput.size() : end + 1);
        if (line.empty())
            continue;
        const std::string_view value = line.substr(1);
        if (line.front() == 'p') {
            currentPID = value;
        } else if (line.front() == 'n' && !currentPID.empty()) {
            // Only the local endpoint counts: a process that merely sends to the port (a
            // console on the same machine) shows the port after "->" and must survive.
            const std::string_view local = value.substr(0, value.find("->"));
            const bool bound =
                local.size() >= portSuffix.size() && local.substr(local.size() - portSuffix.size()) == portSuffix;
            if (bound && std::find(pids.begin(), pids.end(), currentPID) == pids.end())
                pids.push_back(currentPID);
        }
    }
    return pids;
}

std::optional<PortError> PortManager::clearPort(std::uint16_t port)
{
    const std::string portText = std::to_string(port);
    logLine("PortManager: Checking if port " + portText + " is in use...");

    const auto lsof = runCollectingOutput({lsofPath(), "-nP", "-iUDP:" + portText, "-F", "pn"});
    if (lsof.spawnError != 0)
        return PortError{PortError::Kind::commandFailed,
                         "Failed to execute lsof: " + std::string(std::strerror(lsof.spawnError))};

    const auto pids = processesBoundTo(lsof.standardOutput, port);
    if (pids.empty()) {
        logLine("PortManager: Port " + portText + " is free");
        return std::nullopt;
    }
    logLine("PortManager: Found " + std::to_string(pids.size()) + " process(es) using port " + portText + ": " +
            joined(pids, ", "));
    const std::string ownPID = std::to_string(::getpid());
    logLine("PortManager: Current process PID: " + ownPID);
    for (const auto& pid : pids) {
        if (pid == ownPID) {
            logLine("PortManager: Skipping current process (PID " + pid + ")");
            continue;
        }
        if (auto error = killProcess(pid))
            return error;
    }
    // The system releases the port of a killed process a moment after it dies.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    logLine("PortManager: Successfully cleared port " + portText);
    return std::nullopt;
}

std::optional<PortError> PortManager::killProcess(const std::string& pid)
{
    logLine("PortManager: Killing process " + pid + "...");
    pid_t target = 0;
    const auto [end, ec] = std::from_chars(pid.data(), pid.data() + pid.size(), target);
    // Zero and negative identifiers name process groups, never one process.
    const bool valid = ec == std::errc() && end == pid.data() + pid.size() && target > 0;
    if (!valid || ::kill(target, SIGKILL) != 0)
        return PortError{PortError::Kind::killFailed, "Failed to kill process " + pid};
    logLine("PortManager: Successfully killed process " + pid);
    return std::nullopt;
}

} // namespace orvelo
