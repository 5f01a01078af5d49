#include "app/adapters/embedded/PTYProcess.h"

#include "app/adapters/embedded/ShortCommand.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <initializer_list>
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

namespace {

// One tmux command list as a client's arguments: each command's words, the
// commands separated by ";" words.
class TmuxCommandList {
public:
    void add(std::initializer_list<std::string> words)
    {
        if (!args.empty()) args.emplace_back(";");
        args.insert(args.end(), words);
    }
    std::vector<std::string> args;
};

std::string format(const char* option)
{
    return "#{" + std::string(option) + "}";
}

// Leaves the server's own history limit in serverHistoryNow. A format reads
// the context session's own value before the server's, and the context is
// the session tmux picks for the client (before new-session, the one used
// most recently, often another cell's with its own 20000). So:
void readServerHistory(TmuxCommandList& list)
{
    const std::string context = format(PTYProcess::savedContextHistory);
    const char* own = PTYProcess::savedContextHasOwn;
    // 1. What the context reads, its own value or the server's.
    list.add({"set-option", "-gF", PTYProcess::savedContextHistory, "#{history-limit}"});
    list.add({"set-option", "-gu", own});
    // 2. With a context session: whether that value is the session's own.
    //    `-o` sets a value only where the session has none; a value other
    //    than the reading is offered, so the reading is unchanged exactly
    //    when the session had its own. Then the session's value goes (its
    //    own or the offered one), and the format reads the server's.
    list.add({"if-shell", "-F", "#{session_id}",
              "set-option -oqF history-limit '#{?#{==:" + context + ",0},1,0}' ; set-option -gF " + own +
                  " '#{?#{==:#{history-limit}," + context + "},1,}' ; set-option -u history-limit"});
    // 3. The server's value.
    list.add({"set-option", "-gF", PTYProcess::serverHistoryNow, "#{history-limit}"});
    // 4. The context session gets its own value back.
    list.add({"if-shell", "-F", format(own), "set-option -F history-limit '" + context + "'"});
}

}  // namespace

LaunchCommand tmuxCommand(const std::string& tmuxPath, const std::string& sessionName,
                          const std::optional<std::string>& currentDirectory)
{
    // The list, step by step (the header says why). Nothing in it waits but
    // the user's after-new-session hooks, so each part between them runs
    // with no other client's command in between.
    TmuxCommandList list;
    // The client starts the server only for a list that names a command
    // which needs one; new-session is hidden inside if-shell.
    list.add({"start-server"});
    const std::string saved = format(PTYProcess::savedServerHistory);
    const std::string now = format(PTYProcess::serverHistoryNow);

    // Begin: the server's value is kept unless a list still in flight kept
    // it already (the server then has that list's 20000). One kept by a
    // list that was stopped half-way is replaced once the server's value is
    // no longer 20000 (someone set another since).
    readServerHistory(list);
    list.add({"if-shell", "-F", "#{?#{!=:" + saved + ",},#{!=:" + now + "," + historyLimit + "},1}",
              "set-option -gF " + std::string(PTYProcess::savedServerHistory) + " '" + now + "'"});
    list.add({"set-option", "-g", "history-limit", historyLimit});

    // The session: plain new-session, its name and folder read from options
    // (as data: a format's value is not expanded again), so that it can run
    // inside if-shell: a failing command there ends only the inner list,
    // and the end below runs whatever new-session does. The session's own
    // options follow it (and the user's after-new-session hooks) there: a
    // session that was not made gets none, and no other session gets them.
    // `-o` sets only what the session does not have, so a session the
    // client attaches to keeps its own.
    list.add({"set-option", "-g", PTYProcess::sessionArgument, tmuxArgument(sessionName)});
    std::string makeSession = "new-session -A -s '" + format(PTYProcess::sessionArgument) + "'";
    if (currentDirectory && !currentDirectory->empty()) {
        list.add({"set-option", "-g", PTYProcess::folderArgument, tmuxArgument(*currentDirectory)});
        makeSession += " -c '" + format(PTYProcess::folderArgument) + "'";
    }
    list.add({"if-shell", "-F", "1",
              makeSession + " ; set-option -oq status off ; set-option -oq history-limit " + historyLimit +
                  " ; set-option -oq detach-on-destroy on"});

    // End: the server's value goes back, unless a list that ended first has
    // put it back already (nothing is kept then), or someone set the server
    // another value meanwhile (the configuration still loading, a plugin).
    readServerHistory(list);
    list.add({"if-shell", "-F", "#{?#{!=:" + saved + ",},#{==:" + now + "," + historyLimit + "},0}",
              "set-option -gF history-limit '" + saved + "'"});
    for (const char* option : {PTYProcess::savedServerHistory, PTYProcess::serverHistoryNow,
                               PTYProcess::savedContextHistory, PTYProcess::savedContextHasOwn,
                               PTYProcess::sessionArgument, PTYProcess::folderArgument})
        list.add({"set-option", "-gu", option});

    LaunchCommand command;
    command.executable = tmuxPath;
    command.execName = "tmux";
    command.args = std::move(list.args);
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

std::string tmuxArgument(const std::string& word)
{
    std::string argument = word;
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
