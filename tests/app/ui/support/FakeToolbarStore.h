// A toolbar store for tests: plain fields for what the toolbar reads and
// counters or recorded values for what it asks.
#pragma once

#include "app/ui/toolbar/ToolbarStore.h"

#include <vector>

namespace tilebay::test {

class FakeToolbarStore : public ToolbarStore {
public:
    int cells = 3;
    qint64 pollMs = 1000;
    qint64 idleSec = 8;
    bool broadcast = false;
    double zoomValue = 1.0;

    std::vector<double> zoomWrites;
    std::vector<bool> importWrites;
    int newTerminalCalls = 0;
    int profileLauncherShown = 0;
    int refreshCalls = 0;
    int settingsShown = 0;

    int cellCount() const override { return cells; }
    qint64 pollIntervalMs() const override { return pollMs; }
    qint64 idleThresholdSec() const override { return idleSec; }
    bool broadcastMode() const override { return broadcast; }
    double zoom() const override { return zoomValue; }

    void setZoom(double z) override
    {
        zoomWrites.push_back(z);
        zoomValue = z;
        emit changed();
    }
    void promptNewTerminal() override { ++newTerminalCalls; }
    void setShowProfileLauncher(bool show) override { profileLauncherShown += show ? 1 : 0; }
    void setShowImport(bool show) override { importWrites.push_back(show); }
    void refreshImportList() override { ++refreshCalls; }
    void toggleBroadcastMode() override
    {
        broadcast = !broadcast;
        emit changed();
    }
    void setShowSettings(bool show) override { settingsShown += show ? 1 : 0; }
};

}  // namespace tilebay::test
