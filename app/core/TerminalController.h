// The interface of a session adapter (embedded terminals, absorbed iTerm2
// sessions, the mock). The store and the views call only `focus` and
// `cellContentView` through it; everything else they call on the concrete
// adapters. Used on the main thread only.
#pragma once

#include "app/core/AdapterError.h"
#include "app/core/AdapterKind.h"

#include <QString>
#include <QStringList>

class QWidget;

namespace tilebay {

class TerminalController {
public:
    virtual ~TerminalController() = default;

    // Which kind of cell the adapter runs.
    virtual AdapterKind kind() const = 0;

    // The ids of the cells the adapter currently knows.
    virtual QStringList sessionIds() const = 0;
    virtual bool hasSession(const QString& id) const = 0;
    // Types `text` into the session as it stands (no line end is added).
    virtual void sendText(const QString& id, const QString& text) = 0;

    // Brings the session to the front and gives it the keyboard focus.
    // Throws AdapterError::notFound(id) when the adapter has no such session.
    virtual void focus(const QString& id) = 0;

    // Ends or detaches the session and forgets it; an unknown id does nothing.
    virtual void closeSession(const QString& id) = 0;
    // The text the session shows, as far as the adapter knows it (empty when unknown).
    virtual QString visibleText(const QString& id) const = 0;

    // The live content to show inside the cell's tile, or null when the adapter
    // has nothing to show (the tile then shows the session's preview text).
    // The caller takes the widget into its layout.
    virtual QWidget* cellContentView(const QString& id) = 0;
};

}  // namespace tilebay
