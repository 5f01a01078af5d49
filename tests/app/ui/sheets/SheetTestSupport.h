// The sheets' test fixture: the store as the store tests build it (a fake
// embedded adapter, or the real one with login shells), a shown
// host window with a sheet presenter over it, an answerable folder chooser,
// and helpers that type into widgets and wait for conditions (never for
// time: the bound only guards against a hang).
#pragma once

#include "tests/app/store/StoreTestSupport.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include "app/adapters/embedded/EmbeddedAdapter.h"
#include "app/adapters/embedded/HookedPaneKit.h"
#include "app/ui/sheets/SheetDialog.h"
#include "app/ui/sheets/SheetPresenter.h"

#include <QTest>
#include <QWidget>

#include <functional>
#include <optional>

namespace tilebay::testing {

class SheetTest : private test::UiAppFirst, public StoreTest {
protected:
    ~SheetTest() override
    {
        window_.reset();
        // Finished sheets are deleted on the next turn.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A store whose embedded cells run real login shells (bash) in a
    // temporary home folder, through the application's own pane kit.
    SessionStore& makeShellStore()
    {
        auto shells = std::make_unique<EmbeddedAdapter>(std::make_unique<HookedPaneKit>(), TmuxLookup::none());
        shells_ = shells.get();
        store_ = std::make_unique<SessionStore>(dependencies(std::move(shells)));
        return *store_;
    }

    // The host window, shown, with a presenter over it. The first-run guide
    // that a fresh data folder raises is put away first.
    SheetPresenter& present(QSize size = {900, 600}, bool keepGuide = false)
    {
        if (!keepGuide) store_->setShowOnboarding(false);
        window_ = std::make_unique<QWidget>();
        window_->resize(size);
        presenter_ = new SheetPresenter(window_.get(), *store_);
        presenter_->setFolderChooser([this](QWidget*, std::function<void(const QString&)> chosen) {
            ++chooserOpened_;
            pendingChoice_ = std::move(chosen);
        });
        window_->show();
        pumpQueued();
        return *presenter_;
    }

    template <class Sheet>
    Sheet* open()
    {
        pumpQueued();
        return presenter_ ? qobject_cast<Sheet*>(presenter_->current()) : nullptr;
    }

    // Sends a key to the widget as the keyboard would (unhandled keys go on
    // to its parents), then runs what that queued.
    static void key(QWidget* widget, Qt::Key k)
    {
        QTest::keyClick(widget, k, Qt::NoModifier);
        pumpQueued();
    }
    static void type(QWidget* widget, const QString& text)
    {
        QTest::keyClicks(widget, text);
        pumpQueued();
    }

    // Waits until the cell's screen shows `text`.
    bool screenShows(const QString& id, const QString& text)
    {
        return pumpUntil([&] { return store_->embedded().visibleText(id).contains(text); });
    }

    std::unique_ptr<QWidget> window_;
    SheetPresenter* presenter_ = nullptr;  // owned by the window
    EmbeddedAdapter* shells_ = nullptr;    // owned by the store
    int chooserOpened_ = 0;
    std::function<void(const QString&)> pendingChoice_;
    ScopedEnv shell_{"SHELL", "/bin/bash"};
    // The shells' home: no profile files of the machine's user.
    fs::path home_ = [this] {
        fs::create_directories(dir_.path() / "home");
        return dir_.path() / "home";
    }();
    ScopedEnv homeVariable_{"HOME", home_.string()};
};

}  // namespace tilebay::testing
