#include "app/ui/sheets/ProfileText.h"

#include <QStringList>

namespace tilebay::ProfileText {

namespace {

// Unicode space separators and the tab; line breaks are not among them.
bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString fold(const QString& text)
{
    return text.toLower().normalized(QString::NormalizationForm_C);
}

const QString kCommandMark = QStringLiteral("\u25B8 ");
const QString kJoin = QStringLiteral("  ");

}  // namespace

QString searchKey(const QString& query)
{
    qsizetype begin = 0;
    qsizetype end = query.size();
    while (begin < end && isBlank(query[begin])) ++begin;
    while (end > begin && isBlank(query[end - 1])) --end;
    return fold(query.mid(begin, end - begin));
}

bool nameMatches(const QString& name, const QString& key)
{
    if (key.isEmpty()) return true;
    return fold(name).contains(key);
}

std::vector<size_t> filter(const QString& query, const std::vector<TerminalProfile>& profiles)
{
    const QString key = searchKey(query);
    std::vector<size_t> kept;
    kept.reserve(profiles.size());
    for (size_t i = 0; i < profiles.size(); ++i)
        if (nameMatches(QString::fromStdString(profiles[i].name), key)) kept.push_back(i);
    return kept;
}

QString launcherSubtitle(const TerminalProfile& profile)
{
    QStringList parts;
    if (profile.cwd && !profile.cwd->empty()) parts << QString::fromStdString(*profile.cwd);
    if (profile.startCommand && !profile.startCommand->empty())
        parts << kCommandMark + QString::fromStdString(*profile.startCommand);
    return parts.isEmpty() ? QStringLiteral("로그인 셸") : parts.join(kJoin);
}

QString settingsSubtitle(const TerminalProfile& profile)
{
    QStringList parts;
    if (profile.cwd) parts << QString::fromStdString(*profile.cwd);
    if (profile.startCommand) parts << kCommandMark + QString::fromStdString(*profile.startCommand);
    return parts.join(kJoin);
}

std::optional<QString> launchValue(const std::optional<std::string>& stored)
{
    if (!stored) return std::nullopt;
    const QString trimmed = QString::fromStdString(*stored).trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    return trimmed;
}

}  // namespace tilebay::ProfileText
