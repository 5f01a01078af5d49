// One iTerm2 session as the iTerm2 adapter lists it: its unique id, the name
// iTerm2 shows for it and its visible text. A plain value.
#pragma once

#include <QString>

namespace tilebay {

struct ITerm2SessionSnapshot {
    QString guid;      // iTerm2's unique id of the session
    QString name;      // the session's name as iTerm2 shows it
    QString contents;  // the session's visible text

    bool operator==(const ITerm2SessionSnapshot&) const = default;
};

}  // namespace tilebay
