// What the toolbar reads from and asks of the session store: the cell count,
// the polling settings, zoom and broadcast mode, and the actions behind its
// buttons. The session store provides it; `changed` is emitted after any of the
// read values changed. Main thread.
#pragma once

#include <QObject>

namespace tilebay {

class ToolbarStore : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ToolbarStore() override = default;

    virtual int cellCount() const = 0;
    virtual qint64 pollIntervalMs() const = 0;
    virtual qint64 idleThresholdSec() const = 0;
    virtual bool broadcastMode() const = 0;
    virtual double zoom() const = 0;

    virtual void setZoom(double zoom) = 0;
    virtual void promptNewTerminal() = 0;
    virtual void setShowProfileLauncher(bool show) = 0;
    virtual void setShowImport(bool show) = 0;
    virtual void refreshImportList() = 0;
    virtual void toggleBroadcastMode() = 0;
    virtual void setShowSettings(bool show) = 0;

signals:
    void changed();
};

}  // namespace tilebay
