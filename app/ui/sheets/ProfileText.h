// Texts made from saved profiles: the launcher's filter, the two one-line
// descriptions (the launcher's and the settings sheet's, which differ on
// empty values), and the values a profile is launched with. Stateless and
// pure; any thread.
#pragma once

#include "app/core/TerminalProfile.h"

#include <QString>

#include <optional>
#include <vector>

namespace tilebay::ProfileText {

// The query as the filter compares it: spaces and tabs trimmed from both
// ends (line breaks are kept), lowercased, in Unicode composed form.
QString searchKey(const QString& query);
// Whether a name contains an already prepared search key (an empty key
// matches every name).
bool nameMatches(const QString& name, const QString& key);
// The indices of the profiles whose names contain the query, in stored order.
std::vector<size_t> filter(const QString& query, const std::vector<TerminalProfile>& profiles);

// The launcher's description: the folder, then "▸ " and the command, joined
// by two spaces, empty values left out; "로그인 셸" when nothing is left.
QString launcherSubtitle(const TerminalProfile& profile);
// The settings sheet's description: present values count even when empty;
// with neither value the text is empty.
QString settingsSubtitle(const TerminalProfile& profile);

// A stored folder or command as a launch passes it on: white space and line
// breaks trimmed, absent when nothing is left.
std::optional<QString> launchValue(const std::optional<std::string>& stored);

}  // namespace tilebay::ProfileText
