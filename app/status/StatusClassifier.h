// Decides from the text a session shows, and from how long that text has been
// unchanged, whether the session waits for an answer, runs, or is idle at a
// prompt. Two pattern lists drive it (questions meaning "waiting", shell
// prompts meaning "idle"); they come from the optional resource
// ":/patterns.json" or from the built-in defaults. The store debounces the
// results; the classifier keeps no state between calls.
#pragma once

#include "app/core/TerminalStatus.h"
#include "corvel/platform/Regex.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <vector>

namespace tilebay {

class StatusClassifier {
public:
    // The pattern lists in ICU syntax, as the resource holds them: a JSON object
    // whose keys "waiting" and "shellPrompt" are both required arrays of strings.
    struct Patterns {
        std::vector<std::string> waiting;
        std::vector<std::string> shellPrompt;

        static Patterns defaults();
        // No value for anything but such an object (unknown extra keys are ignored).
        static std::optional<Patterns> decode(const QByteArray& json);
        bool operator==(const Patterns&) const = default;
    };

    static constexpr const char* resourcePath = ":/patterns.json";

    // Loads the patterns from the resource, or the defaults when it is missing,
    // unreadable or malformed (silently), and compiles them.
    StatusClassifier();
    // The same with the patterns file at `path`.
    explicit StatusClassifier(const QString& path);
    // Compiles the given lists: waiting patterns case-insensitive, prompt
    // patterns without options. A pattern that does not compile is skipped; the
    // others keep their order.
    explicit StatusClassifier(const Patterns& patterns);

    // `text`: lines separated by line feeds. Never answers `unknown` on its own;
    // `previous` comes back when nothing decides.
    TerminalStatus classify(QStringView text, double secondsSinceChange, double idleThresholdSec,
                            TerminalStatus previous) const;

    double runningWindowSec() const { return runningWindowSec_; }
    size_t waitingPatternCount() const { return waiting_.size(); }
    size_t shellPromptPatternCount() const { return shellPrompt_.size(); }

private:
    static Patterns loadPatterns(const QString& path);
    static QStringView lastNonEmptyLine(QStringView text);

    std::vector<corvel::Regex> waiting_;
    std::vector<corvel::Regex> shellPrompt_;
    double runningWindowSec_ = 1.5;
};

}  // namespace tilebay
