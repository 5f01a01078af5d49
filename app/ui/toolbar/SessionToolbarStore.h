// The toolbar's view of the session store: forwards what the toolbar reads
// and asks to the store and emits `changed` when any value it reads changes.
// Main thread only; the store must outlive it.
#pragma once

#include "app/store/SessionStore.h"
#include "app/ui/toolbar/ToolbarStore.h"

namespace tilebay {

class SessionToolbarStore final : public ToolbarStore {
    Q_OBJECT
public:
    explicit SessionToolbarStore(SessionStore& store, QObject* parent = nullptr);

    int cellCount() const override;
    qint64 pollIntervalMs() const override { return store_.pollIntervalMs(); }
    qint64 idleThresholdSec() const override { return store_.idleThresholdSec(); }
    bool broadcastMode() const override { return store_.broadcastMode(); }
    double zoom() const override { return store_.zoom(); }

    void setZoom(double zoom) override { store_.setZoom(zoom); }
    void promptNewTerminal() override { store_.promptNewTerminal(); }
    void setShowProfileLauncher(bool show) override { store_.setShowProfileLauncher(show); }
    void setShowImport(bool show) override { store_.setShowImport(show); }
    void refreshImportList() override { store_.refreshImportList(); }
    void toggleBroadcastMode() override { store_.toggleBroadcastMode(); }
    void setShowSettings(bool show) override { store_.setShowSettings(show); }

private:
    SessionStore& store_;
};

}  // namespace tilebay
