#include "app/ui/sheets/SheetPresenter.h"

#include "app/store/SessionStore.h"
#include "app/ui/sheets/NewTerminalSheet.h"
#include "app/ui/sheets/OnboardingSheet.h"
#include "app/ui/sheets/ProfileLauncherSheet.h"
#include "app/ui/sheets/SettingsSheet.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace tilebay {

SheetPresenter::SheetPresenter(QWidget* window, SessionStore& store)
    : QObject(window), window_(window), store_(store), chooser_(FolderChoosers::standard())
{
    connect(&store_, &SessionStore::showSettingsChanged, this,
            [this](bool on) { flagChanged(SheetKind::settings, on); });
    connect(&store_, &SessionStore::showOnboardingChanged, this,
            [this](bool on) { flagChanged(SheetKind::onboarding, on); });
    connect(&store_, &SessionStore::showNewTerminalPromptChanged, this,
            [this](bool on) { flagChanged(SheetKind::newTerminal, on); });
    connect(&store_, &SessionStore::showProfileLauncherChanged, this,
            [this](bool on) { flagChanged(SheetKind::profileLauncher, on); });
    window_->installEventFilter(this);
    watchHandle();
    // Flags raised before the presenter existed (the first-run guide at start).
    presentNext();
}

void SheetPresenter::watchHandle()
{
    QWindow* handle = window_->windowHandle();
    if (!handle || handle == handle_) return;
    handle_ = handle;
    handle->installEventFilter(this);
    mapped_ = window_->isVisible() && handle->isExposed();
}

bool SheetPresenter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_) {
        if (event->type() == QEvent::Show) {
            // The platform window exists now, but is not on screen yet.
            watchHandle();
        } else if (event->type() == QEvent::Hide) {
            mapped_ = false;
        }
    } else if (watched == handle_ && event->type() == QEvent::Expose && !mapped_ && handle_->isExposed()) {
        mapped_ = true;
        // open() does not block: the sheet is shown and this event goes on.
        presentNext();
    }
    return QObject::eventFilter(watched, event);
}

bool SheetPresenter::flag(SheetKind kind) const
{
    switch (kind) {
    case SheetKind::settings: return store_.showSettings();
    case SheetKind::onboarding: return store_.showOnboarding();
    case SheetKind::newTerminal: return store_.showNewTerminalPrompt();
    case SheetKind::profileLauncher: return store_.showProfileLauncher();
    }
    return false;
}

void SheetPresenter::lowerFlag(SheetKind kind)
{
    switch (kind) {
    case SheetKind::settings: store_.setShowSettings(false); break;
    case SheetKind::onboarding: store_.setShowOnboarding(false); break;
    case SheetKind::newTerminal: store_.setShowNewTerminalPrompt(false); break;
    case SheetKind::profileLauncher: store_.setShowProfileLauncher(false); break;
    }
}

void SheetPresenter::flagChanged(SheetKind kind, bool raised)
{
    if (raised) {
        presentNext();
        return;
    }
    if (current_ && kind_ == kind) current_->dismiss();
}

void SheetPresenter::presentNext()
{
    if (current_ || !window_->isVisible() || !mapped_) return;
    for (SheetKind kind : kOrder) {
        if (!flag(kind)) continue;
        SheetDialog* sheet = build(kind);
        current_ = sheet;
        kind_ = kind;
        connect(sheet, &QDialog::finished, this, [this, sheet, kind] { finished(sheet, kind); });
        sheet->open();
        emit presented(kind, sheet);
        return;
    }
}

SheetDialog* SheetPresenter::build(SheetKind kind)
{
    switch (kind) {
    case SheetKind::settings: return new SettingsSheet(store_, window_);
    case SheetKind::onboarding: return new OnboardingSheet(window_);
    case SheetKind::newTerminal: return new NewTerminalSheet(store_, chooser_, window_);
    case SheetKind::profileLauncher: return new ProfileLauncherSheet(store_, window_);
    }
    return nullptr;
}

void SheetPresenter::finished(SheetDialog* sheet, SheetKind kind)
{
    if (current_ == sheet) current_ = nullptr;
    // The sheet may be inside one of its own handlers: deleted later.
    sheet->deleteLater();
    lowerFlag(kind);
    presentNext();
}

}  // namespace tilebay
