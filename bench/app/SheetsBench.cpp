// The sheets' two costs on the UI thread: a click on the settings sheet's
// poll-interval "+" with 64 cells and 50 profiles in the store, measured
// until the layout document has been written (the click's handler saves and
// restarts the timer), and one keystroke in the profile launcher's search
// field over 1,000 profiles (the filter, the rows shown or hidden and laid
// out again on the shown sheet), with
// the pure filter beside it.
#include "app/store/SessionStore.h"
#include "app/ui/sheets/ProfileLauncherSheet.h"
#include "app/ui/sheets/ProfileText.h"
#include "app/ui/sheets/SettingsSheet.h"
#include "app/ui/sheets/SheetField.h"
#include "app/ui/sheets/Stepper.h"
#include "tests/app/store/FakeEmbeddedAdapter.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>

#include <cstdlib>
#include <filesystem>

using namespace tilebay;

namespace {

std::vector<TerminalProfile> profiles(int n)
{
    std::vector<TerminalProfile> out;
    const char* words[] = {"web", "docs", "api", "build", "café", "deploy", "logs", "db"};
    for (int i = 0; i < n; ++i)
        out.push_back({"id" + std::to_string(i), std::string(words[i % 8]) + "-" + std::to_string(i),
                       "/srv/project/" + std::to_string(i), i % 3 ? std::optional<std::string>("make run") : std::nullopt});
    return out;
}

std::unique_ptr<SessionStore> makeStore(int cells, int profileCount)
{
    SessionStore::Dependencies deps;
    deps.embedded = std::make_unique<testing::FakeEmbeddedAdapter>();
    deps.runTimer = false;
    auto store = std::make_unique<SessionStore>(std::move(deps));
    for (int i = 0; i < cells; ++i) store->newEmbeddedSession(QString("cell %1").arg(i), QString("/srv/%1").arg(i), std::nullopt);
    store->setProfiles(profiles(profileCount));
    return store;
}

void BM_SettingsStepperClickUntilWritten(benchmark::State& state)
{
    auto store = makeStore(64, 50);
    SettingsSheet sheet(*store);
    bool up = true;
    for (auto _ : state) {
        // Alternates 1000 and 1250 so every click changes the value.
        (up ? sheet.pollStepper()->plusButton() : sheet.pollStepper()->minusButton())->click();
        up = !up;
    }
    state.SetLabel("64 cells, 50 profiles");
}
BENCHMARK(BM_SettingsStepperClickUntilWritten)->Unit(benchmark::kMillisecond);

void BM_LauncherKeystroke(benchmark::State& state)
{
    auto store = makeStore(0, 1000);
    ProfileLauncherSheet sheet(*store);
    sheet.show();
    QCoreApplication::processEvents();
    const QString queries[] = {"w", "we", "web", "web-1", "web-", "we"};
    size_t i = 0;
    for (auto _ : state) {
        sheet.searchField()->setText(queries[i++ % 6]);
        // The rows laid out again, as the next paint would need them.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        benchmark::DoNotOptimize(sheet.shownRows().size());
    }
    state.SetLabel("1000 profiles");
}
BENCHMARK(BM_LauncherKeystroke)->Unit(benchmark::kMicrosecond);

void BM_LauncherFilterOnly(benchmark::State& state)
{
    const auto all = profiles(1000);
    for (auto _ : state) benchmark::DoNotOptimize(ProfileText::filter(QStringLiteral(" Web-1 "), all));
    state.SetLabel("1000 profiles");
}
BENCHMARK(BM_LauncherFilterOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    // A temporary data folder for the layout document, and a Qt application for the widgets.
    char pattern[] = "/tmp/tilebay-sheets-bench-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) return 1;
    setenv("XDG_DATA_HOME", dir, 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
