// The frame of every sheet: a window-modal dialog over the main window that
// routes its keys itself. Return runs the sheet's default action (a field
// with its own submit takes Return first), Escape its cancel action, or
// dismisses the sheet when it has none. Actions run only while the sheet is
// open, so a key or click that arrives after the sheet was dismissed does
// nothing, and an action that dismisses runs exactly once. The platform's own
// dismissal (the window's close button) dismisses too. Once dismissed, the
// sheet is cut off from the sources it named (the store), so nothing reaches
// it in the moments before it is deleted.
//
// Main thread; the presenter owns the sheet and deletes it after finished().
#pragma once

#include <QDialog>

#include <QPointer>

#include <functional>
#include <vector>

namespace tilebay {

class SheetDialog : public QDialog {
    Q_OBJECT
public:
    explicit SheetDialog(QWidget* parent = nullptr);

    // None: Return does nothing.
    void setDefaultAction(std::function<void()> action) { defaultAction_ = std::move(action); }
    // None: Escape dismisses.
    void setCancelAction(std::function<void()> action) { cancelAction_ = std::move(action); }

    // Connections from `source` to this sheet are cut when it is dismissed,
    // so a closed sheet that is not yet deleted handles nothing more.
    void detachOnDismiss(QObject* source) { sources_.push_back(source); }

    // Runs `action` unless the sheet was already dismissed.
    void run(const std::function<void()>& action);
    // Closes the sheet; finished() is emitted once, on the first call.
    void dismiss();
    bool isDismissed() const { return dismissed_; }

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> defaultAction_;
    std::function<void()> cancelAction_;
    bool dismissed_ = false;
    std::vector<QPointer<QObject>> sources_;
};

}  // namespace tilebay
