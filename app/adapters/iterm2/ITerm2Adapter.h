// The store's door to absorbed iTerm2 sessions. It lists every iTerm2 session
// with its name and visible text (a poll), brings one to the front (focus)
// and types text into one. Listings come from the helper bridge when the user
// switched the Python interface on and the helper started, else from
// AppleScript; activation follows the same choice; text always goes through
// AppleScript.
//
// Threads: used on the main thread only. poll() returns at once (except for
// the first poll with the Python interface on, which starts the helper and
// may block up to its start time-out) and hands its result to the main queue.
// The helper is tried once for the adapter's whole life: after a failed start,
// or once the helper has ended, every poll uses AppleScript. A poll still
// running when the adapter goes is dropped without calling back: its answer
// holds the adapter through a weak pointer to its token (self_), as the
// embedded adapter's queued work does.
#pragma once

#include "app/adapters/iterm2/ITerm2PythonBridge.h"
#include "app/adapters/iterm2/ITerm2SessionSnapshot.h"
#include "app/core/TerminalController.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace tilebay {

class ITerm2Adapter final : public TerminalController {
public:
    using PollHandler = std::function<void(std::vector<ITerm2SessionSnapshot>)>;

    ITerm2Adapter();
    explicit ITerm2Adapter(std::unique_ptr<ITerm2PythonBridge> bridge);
    ~ITerm2Adapter() override;

    AdapterKind kind() const override { return AdapterKind::iterm2; }
    QStringList sessionIds() const override;
    bool hasSession(const QString& id) const override;
    // Types `text` into the cell's iTerm2 session as one line; an unmapped id does nothing.
    void sendText(const QString& id, const QString& text) override;
    // Activates the cell's iTerm2 session; AdapterError::notFound(id) when unmapped.
    void focus(const QString& id) override;
    // Detaches the cell; the iTerm2 session goes on.
    void closeSession(const QString& id) override;
    // The last contents seen for the cell's iTerm2 session.
    QString visibleText(const QString& id) const override;
    // iTerm2 cells show their text preview: always null.
    QWidget* cellContentView(const QString& id) override;

    // Every iTerm2 session; `done` runs on the main queue with the list.
    void poll(PollHandler done);

    // Which iTerm2 session each cell mirrors (cell id to session id).
    QHash<QString, QString> idToGuid;
    // The last contents and name seen for each iTerm2 session; never shrinks.
    QHash<QString, QString> guidToContents;
    QHash<QString, QString> guidToName;
    // The user's choice to use the Python interface.
    bool usePythonAPI = false;

    ITerm2PythonBridge& bridge() { return *bridge_; }
    bool bridgeChecked() const { return bridgeChecked_; }

private:
    void pollByAppleScript(PollHandler done);
    void remember(const std::vector<ITerm2SessionSnapshot>& sessions);

    std::unique_ptr<ITerm2PythonBridge> bridge_;
    bool bridgeChecked_ = false;
    // Callbacks hold this weakly: a poll that ends after the adapter is dropped.
    std::shared_ptr<ITerm2Adapter*> self_;
};

}  // namespace tilebay
