#include "app/status/StatusClassifier.h"

#include <QChar>
#include <QFile>

#include <nlohmann/json.hpp>

namespace tilebay {

namespace {

std::vector<corvel::Regex> compileAll(const std::vector<std::string>& patterns,
                                      corvel::RegexOptions options)
{
    std::vector<corvel::Regex> compiled;
    compiled.reserve(patterns.size());
    for (const auto& pattern : patterns)
        if (auto re = corvel::Regex::compile(std::string_view(pattern), options))
            compiled.push_back(std::move(*re));
    return compiled;
}

std::optional<std::vector<std::string>> stringArray(const nlohmann::json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_array()) return std::nullopt;
    std::vector<std::string> strings;
    strings.reserve(it->size());
    for (const auto& item : *it) {
        if (!item.is_string()) return std::nullopt;
        strings.push_back(item.get<std::string>());
    }
    return strings;
}

std::u16string_view utf16(QStringView text)
{
    return {text.utf16(), static_cast<size_t>(text.size())};
}

// Spaces and tabs: the horizontal white space (tab and the space separators).
bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

}  // namespace

StatusClassifier::Patterns StatusClassifier::Patterns::defaults()
{
    return {
        .waiting = {R"(\(y/n\))", R"(Do you want to proceed\?)", "\u276F\\s*1\\.",
                    "Press .* to continue"},
        .shellPrompt = {"\u276F\\s*$", R"(\$\s*$)", R"(%\s*$)"},
    };
}

std::optional<StatusClassifier::Patterns> StatusClassifier::Patterns::decode(const QByteArray& json)
{
    const auto doc = nlohmann::json::parse(json.constData(), json.constData() + json.size(),
                                           nullptr, /*allow_exceptions=*/false);
    if (!doc.is_object()) return std::nullopt;
    auto waiting = stringArray(doc, "waiting");
    auto shellPrompt = stringArray(doc, "shellPrompt");
    if (!waiting || !shellPrompt) return std::nullopt;
    return Patterns{std::move(*waiting), std::move(*shellPrompt)};
}

StatusClassifier::StatusClassifier() : StatusClassifier(QString::fromLatin1(resourcePath)) {}

StatusClassifier::StatusClassifier(const QString& path) : StatusClassifier(loadPatterns(path)) {}

StatusClassifier::StatusClassifier(const Patterns& patterns)
    : waiting_(compileAll(patterns.waiting, {.caseInsensitive = true})),
      shellPrompt_(compileAll(patterns.shellPrompt, {}))
{
}

StatusClassifier::Patterns StatusClassifier::loadPatterns(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return Patterns::defaults();
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return Patterns::defaults();
    return Patterns::decode(bytes).value_or(Patterns::defaults());
}

TerminalStatus StatusClassifier::classify(QStringView text, double secondsSinceChange,
                                          double idleThresholdSec, TerminalStatus previous) const
{
    // A question on screen wins over every timing rule, even while output flows.
    if (!text.isEmpty()) {
        const auto whole = utf16(text);
        for (const auto& re : waiting_)
            if (re.test(whole) == corvel::RegexOutcome::matched) return TerminalStatus::waiting;
    }
    if (secondsSinceChange < runningWindowSec_) return TerminalStatus::running;

    // A prompt at the end of the last non-empty line means idle at once. The
    // prompt patterns anchor at the end of the searched line only.
    const QStringView line = lastNonEmptyLine(text);
    if (!line.isEmpty()) {
        const auto searched = utf16(line);
        for (const auto& re : shellPrompt_)
            if (re.test(searched) == corvel::RegexOutcome::matched) return TerminalStatus::idle;
    }
    if (secondsSinceChange >= idleThresholdSec) return TerminalStatus::idle;
    return previous;
}

QStringView StatusClassifier::lastNonEmptyLine(QStringView text)
{
    qsizetype end = text.size();
    while (end >= 0) {
        const qsizetype feed = end > 0 ? text.lastIndexOf(u'\n', end - 1) : -1;
        const QStringView piece = text.sliced(feed + 1, end - (feed + 1));
        for (QChar c : piece)
            if (!isHorizontalSpace(c)) return piece;
        if (feed < 0) break;
        end = feed;
    }
    return {};
}

}  // namespace tilebay
