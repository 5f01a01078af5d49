#include "app/adapters/embedded/PTYProcess.h"

#include "app/adapters/embedded/ShortCommand.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <vector>

extern char** environ;

namespace tilebay::PTYProcess {

namespace {

bool isExecutableFile(const std::string& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string trimmed(const std::string& text)
{
    const char* space = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::vector<std::string> toStrings(const Environment& environment)
{
    std::vector<std::string> out;
    out.reserve(environment.size());
    for (const auto& [name, value] : environment) out.push_back(name + "=" + value);
    return out;
}

// The application's environment for the tmux commands: a client must talk to
// the same server as the panes' clients, which never see TMUX.
std::vector<std::string> tmuxCommandEnvironment()
{
    Environment environment = currentEnvironment();
    environment.erase("TMUX");
    environment.erase("TMUX_PANE");
    return toStrings(environment);
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Environment currentEnvironment()
{
    Environment environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const size_t equals = text.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        environment.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    return environment;
}

std::optional<std::string> passwordDatabaseShell()
{
    const passwd* entry = ::getpwuid(::getuid());
    if (!entry || !entry->pw_shell || !*entry->pw_shell) return std::nullopt;
    return std::string(entry->pw_shell);
}

std::vector<std::string> environmentArray(const Environment& base)
{
    Environment environment = base;
    environment.erase("TMUX");
    environment.erase("TMUX_PANE");
    environment["TERM"] = "xterm-256color";
    environment["COLORTERM"] = "truecolor";
    environment.try_emplace("LANG", "en_US.UTF-8");
    environment["TERM_PROGRAM"] = "Tilebay";
    return toStrings(environment);
}

std::vector<std::string> environmentArray()
{
    return environmentArray(currentEnvironment());
}

std::string loginShell(const Environment& environment, const std::optional<std::string>& passwordShell)
{
    if (auto shell = environment.find("SHELL"); shell != environment.end() && !shell->second.empty())
        return shell->second;
    if (passwordShell && !passwordShell->empty()) return *passwordShell;
    if (::access(fallbackShell, X_OK) == 0) return fallbackShell;
    return lastResortShell;
}

std::string loginShell()
{
    return loginShell(currentEnvironment(), passwordDatabaseShell());
}

LaunchCommand shellCommand(const std::optional<std::string>& currentDirectory)
{
    LaunchCommand command;
    command.executable = loginShell();
    command.execName = "-" + baseName(command.executable);
    command.args = {"-l"};
    command.environment = environmentArray();
    command.currentDirectory = currentDirectory;
    return command;
}

LaunchCommand tmuxCommand(const std::string& tmuxPath, const std::string& sessionName,
                          const std::optional<std::string>& currentDirectory)
{
    // One command list: tmux runs it through without another client's
    // command, or the server's configuration, in between (see the header).
    // Formats read a session's own value before the server's, so the
    // server's is read in the context session (the one tmux would pick for a
    // client not yet attached) only once that session has no value of its
    // own: one it had is set aside and given back. `-o` sets only an option
    // the session does not have, which tells whether it had one.
    const std::string context = "#{" + std::string(savedContextHistory) + "}";
    const std::string own = savedContextHasOwn;
    std::vector<std::string> args = {
        "set-option", "-gu", own,
        ";", "set-option", "-gF", savedContextHistory, "#{history-limit}",
        ";", "if-shell", "-F", "#{session_id}",
        "set-option -oqF history-limit '#{?#{==:" + context + ",0},1,0}' ; set-option -gF " + own +
            " '#{?#{==:#{history-limit}," + context + "},1,}' ; set-option -u history-limit",
        ";", "set-option", "-gF", savedServerHistory, "#{history-limit}",
        ";", "if-shell", "-F", "#{" + own + "}", "set-option -F history-limit '" + context + "'",
        ";", "set-option", "-g", "history-limit", historyLimit,
        ";", "new-session", "-A", "-s", sessionName};
    if (currentDirectory && !currentDirectory->empty()) {
        args.push_back("-c");
        args.push_back(tmuxFolderArgument(*currentDirectory));
    }
    args.insert(args.end(), {";", "set-option", "-gF", "history-limit", "#{" + std::string(savedServerHistory) + "}",
                             ";", "set-option", "-gu", savedContextHistory,
                             ";", "set-option", "-gu", savedServerHistory,
                             ";", "set-option", "-gu", own,
                             ";", "set-option", "-oq", "status", "off",
                             ";", "set-option", "-oq", "history-limit", historyLimit});
    LaunchCommand command;
    command.executable = tmuxPath;
    command.execName = "tmux";
    command.args = std::move(args);
    command.environment = environmentArray();
    command.currentDirectory = currentDirectory;
    return command;
}

LaunchCommand tmuxAttachCommand(const std::string& tmuxPath, const std::string& sessionName,
                                const std::optional<std::string>& currentDirectory)
{
    LaunchCommand command;
    command.executable = tmuxPath;
    command.execName = "tmux";
    command.args = {"attach-session", "-t", tmuxTarget(sessionName)};
    command.environment = environmentArray();
    command.currentDirectory = currentDirectory;
    return command;
}

std::string tmuxFolderArgument(const std::string& folder)
{
    std::string argument;
    argument.reserve(folder.size() + 8);
    for (size_t at = 0; at < folder.size();) {
        if (folder[at] != '#') {
            argument += folder[at++];
            continue;
        }
        // A whole run of '#': tmux leaves it as it is before '[', and halves
        // it anywhere else.
        const size_t end = std::min(folder.find_first_not_of('#', at), folder.size());
        const bool beforeStyle = end < folder.size() && folder[end] == '[';
        argument.append(beforeStyle ? end - at : 2 * (end - at), '#');
        at = end;
    }
    if (!argument.empty() && argument.back() == ';') argument.insert(argument.size() - 1, 1, '\\');
    return argument;
}

bool canBeFolder(const std::string& folder)
{
    return folder.size() < PATH_MAX;
}

std::string tmuxSessionName(const std::string& cellId)
{
    return TmuxSessionName::ofCell(cellId);
}

std::string tmuxTarget(const std::string& sessionName)
{
    return "=" + sessionName;
}

std::optional<std::string> tmuxPath(const TmuxLookup& lookup)
{
    for (const auto& candidate : lookup.candidates)
        if (isExecutableFile(candidate)) return candidate;
    if (!lookup.searchLoginShell) return std::nullopt;

    const std::string shell = loginShell();
    const auto result = ShortCommand::run(shell, {shell, "-lc", "command -v tmux"},
                                          toStrings(currentEnvironment()), lookup.timeLimit);
    if (!result.launched || result.timedOut || result.outputTruncated) return std::nullopt;
    const std::string path = trimmed(result.output);
    if (isExecutableFile(path)) return path;
    return std::nullopt;
}

TmuxSessionState tmuxSessionState(const std::string& tmuxPath, const std::string& name, corvel::Nanos timeLimit)
{
    const auto result = ShortCommand::run(tmuxPath, {"tmux", "has-session", "-t", tmuxTarget(name)},
                                          tmuxCommandEnvironment(), timeLimit);
    // tmux answers "no" (no such session, no server) with status 1.
    if (result.succeeded()) return TmuxSessionState::lives;
    if (result.launched && !result.timedOut && result.exitCode == 1) return TmuxSessionState::gone;
    return TmuxSessionState::unknown;
}

bool tmuxSessionExists(const std::string& tmuxPath, const std::string& name, corvel::Nanos timeLimit)
{
    return tmuxSessionState(tmuxPath, name, timeLimit) == TmuxSessionState::lives;
}

void killTmuxSession(const std::string& tmuxPath, const std::string& name, corvel::Nanos timeLimit)
{
    ShortCommand::run(tmuxPath, {"tmux", "kill-session", "-t", tmuxTarget(name)}, tmuxCommandEnvironment(),
                      timeLimit);
}

bool writeToTmuxSession(const std::string& tmuxPath, const std::string& name, const std::string& text,
                        bool bracketed, corvel::Nanos timeLimit)
{
    // The text comes on standard input, never on the command line: it is
    // data for the pane, whatever its bytes, and of any length. "-r" keeps
    // line feeds as they are (tmux would make them carriage returns).
    const std::string buffer = name + "_held";
    std::vector<std::string> argv{"tmux", "load-buffer", "-b", buffer, "-", ";", "paste-buffer", "-d", "-r"};
    if (bracketed) argv.push_back("-p");
    for (const std::string& word : {std::string("-b"), buffer, std::string("-t"), tmuxTarget(name) + ":"})
        argv.push_back(word);
    const auto result = ShortCommand::run(tmuxPath, argv, tmuxCommandEnvironment(), timeLimit, text);
    if (result.succeeded()) return true;
    // A paste that did not happen leaves the buffer behind.
    ShortCommand::run(tmuxPath, {"tmux", "delete-buffer", "-b", buffer}, tmuxCommandEnvironment(), timeLimit);
    return false;
}

}  // namespace tilebay::PTYProcess
