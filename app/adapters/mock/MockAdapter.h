// A session adapter that shows a placeholder instead of a terminal: a dark
// translucent panel with the word "mock" and the cell id. Nothing in the
// application creates one; it serves views under development. It keeps no
// sessions: every operation but cellContentView does nothing. Main thread only.
#pragma once

#include "app/core/TerminalController.h"

#include <QStringList>

namespace tilebay {

class MockAdapter final : public TerminalController {
public:
    AdapterKind kind() const override { return AdapterKind::mock; }
    QStringList sessionIds() const override { return {}; }
    bool hasSession(const QString&) const override { return false; }
    void sendText(const QString&, const QString&) override {}
    // Does nothing and raises nothing, for any id.
    void focus(const QString&) override {}
    void closeSession(const QString&) override {}
    QString visibleText(const QString&) const override { return {}; }
    // Always a new placeholder label: "mock", a line break and the id.
    QWidget* cellContentView(const QString& id) override;

    // Kept for views that may list mock sessions; no operation uses them.
    QStringList sessions;
    int counter = 0;
};

}  // namespace tilebay
