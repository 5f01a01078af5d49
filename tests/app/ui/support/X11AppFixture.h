// The base fixture of the tests that run the application's parts under a
// real X server (xvfb-run): the user-interface application object, the Qt
// main queue (so the shells' output and the window's events share one loop),
// and a home folder, data folder, tmux socket folder and bash login shell of
// the test's own, so the machine user's files play no part. A test skips
// when the platform is not xcb. GUI thread only; the folder is removed when
// the fixture goes.
#pragma once

#include "corvel/qt/QtMainQueue.h"
#include "tests/app/adapters/AdapterTestSupport.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <memory>
#include <string>

namespace tilebay::test {

class X11AppFixture : public ::testing::Test {
protected:
    X11AppFixture()
    {
        uiApp();
        previousMain_ = corvel::DispatchQueue::setMain(std::make_shared<corvel::QtMainQueue>());
    }
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs X";
    }
    ~X11AppFixture() override
    {
        // With no queue before, the Qt one stays: a later test of this process
        // finds its application's events and the shells' output on one loop.
        if (previousMain_) corvel::DispatchQueue::setMain(previousMain_);
    }

    std::filesystem::path data() const { return folder_.path() / "data"; }

    // Saves `json` as the application's layout document.
    void writeLayout(const std::string& json) const
    {
        testing::writeFile(data() / "Tilebay" / "layout.json", json);
    }

    testing::TempDir folder_;
    testing::ScopedEnv home_{"HOME", folder_.path().string()};
    testing::ScopedEnv data_{"XDG_DATA_HOME", data().string()};
    testing::ScopedEnv tmuxDir_{"TMUX_TMPDIR", folder_.path().string()};
    testing::ScopedEnv shell_{"SHELL", "/bin/bash"};

private:
    std::shared_ptr<corvel::DispatchQueue> previousMain_;
};

}  // namespace tilebay::test
