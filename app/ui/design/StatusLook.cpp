#include "app/ui/design/StatusLook.h"

#include "app/ui/design/DS.h"

namespace tilebay {

StatusLook statusLook(TerminalStatus status)
{
    switch (status) {
    case TerminalStatus::waiting:
        return {"exclamationmark.circle", DS::statusWaiting(), QStringLiteral("WAIT")};
    case TerminalStatus::running:
        return {"play.circle", DS::statusRunning(), QStringLiteral("RUN")};
    case TerminalStatus::idle:
        return {"pause.circle", DS::statusIdle(), QStringLiteral("IDLE")};
    case TerminalStatus::unknown: break;
    }
    return {"questionmark.circle", DS::statusUnknown(), QString(QChar(0x2014))};
}

}  // namespace tilebay
