// The one look of each session status that the legend, the tile header and the
// expanded cell's header share: a symbol name, a colour and a short tag.
// Stateless; the table is constant.
#pragma once

#include "app/core/TerminalStatus.h"

#include <QColor>
#include <QString>

namespace tilebay {

struct StatusLook {
    const char* symbol;  // a name known to SymbolIcons
    QColor colour;
    QString tag;
};

StatusLook statusLook(TerminalStatus status);

}  // namespace tilebay
