// The core value types: enum names and strict decoding, identifiers (length,
// alphabet, uniformity), moving a cell in the grid order, and a session's
// change signals.
#include "app/core/AdapterKind.h"
#include "app/core/AppAppearance.h"
#include "app/core/GridLayout.h"
#include "app/core/NanoID.h"
#include "app/core/TerminalSession.h"
#include "app/core/TerminalStatus.h"
#include "app/core/TerminalTheme.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

using namespace tilebay;

TEST(SessionEnums, NamesRoundTripAndDecodingIsStrict)
{
    for (auto k : {AdapterKind::embedded, AdapterKind::iterm2, AdapterKind::mock})
        EXPECT_EQ(adapterKindFromString(toString(k)), k);
    for (auto a : allAppAppearances) EXPECT_EQ(appAppearanceFromString(toString(a)), a);
    for (auto s : allTerminalStatuses) EXPECT_EQ(terminalStatusFromString(toString(s)), s);
    for (auto t : allTerminalThemes) EXPECT_EQ(terminalThemeFromString(toString(t)), t);

    EXPECT_FALSE(adapterKindFromString("iTerm2"));
    EXPECT_FALSE(adapterKindFromString("Embedded"));
    EXPECT_FALSE(appAppearanceFromString("Dark"));
    EXPECT_FALSE(terminalThemeFromString("solarized"));
    EXPECT_FALSE(terminalStatusFromString(""));
}

TEST(NanoID, UsesTheAlphabetWithTheRequestedLength)
{
    EXPECT_EQ(NanoID::make(0), "");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string id = NanoID::make(14);
        ASSERT_EQ(id.size(), 14u);
        for (char c : id) EXPECT_NE(NanoID::alphabet().find(c), std::string_view::npos) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_EQ(NanoID::make(1000).size(), 1000u);
}

TEST(NanoID, CharactersAreRoughlyUniform)
{
    // 64 000 characters: each of the 64 is expected 1000 times. A chi-square
    // statistic above 140 (63 degrees of freedom) happens by chance about once
    // in ten million runs, but a skewed or stuck draw exceeds it.
    std::array<int, 64> counts{};
    for (int i = 0; i < 64; ++i)
        for (char c : NanoID::make(1000)) ++counts[NanoID::alphabet().find(c)];
    double chiSquare = 0;
    for (int n : counts) chiSquare += (n - 1000.0) * (n - 1000.0) / 1000.0;
    EXPECT_LT(chiSquare, 140.0);
    EXPECT_GT(chiSquare, 20.0);  // suspiciously perfect counts are not random either
}

TEST(NanoIDDeathTest, NegativeLengthStopsTheProgram)
{
    EXPECT_DEATH(NanoID::make(-1), "");
}

TEST(GridLayout, MoveReordersWithinTheShortenedList)
{
    auto moved = [](std::ptrdiff_t from, std::ptrdiff_t to) {
        std::vector<int> cells{0, 1, 2, 3};
        GridLayout::move(cells, from, to);
        return cells;
    };
    EXPECT_EQ(moved(0, 2), (std::vector<int>{1, 2, 0, 3}));
    EXPECT_EQ(moved(3, 0), (std::vector<int>{3, 0, 1, 2}));
    EXPECT_EQ(moved(1, 3), (std::vector<int>{0, 2, 3, 1}));
    EXPECT_EQ(moved(0, 99), (std::vector<int>{1, 2, 3, 0}));
    EXPECT_EQ(moved(2, -5), (std::vector<int>{2, 0, 1, 3}));
    EXPECT_EQ(moved(4, 0), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(moved(-1, 0), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(moved(2, 2), (std::vector<int>{0, 1, 2, 3}));
    std::vector<int> empty;
    GridLayout::move(empty, 0, 1);
    EXPECT_TRUE(empty.empty());
}

TEST(TerminalSession, StartsUnknownAndSignalsRealChangesOnly)
{
    TerminalSession s("abc", AdapterKind::iterm2, QString("guid-1"), "proj", true, std::nullopt,
                      std::nullopt);
    EXPECT_EQ(s.status(), TerminalStatus::unknown);

    std::vector<TerminalStatus> statuses;
    int labels = 0, revisions = 0;
    QObject::connect(&s, &TerminalSession::statusChanged,
                     [&](TerminalStatus st) { statuses.push_back(st); });
    QObject::connect(&s, &TerminalSession::projectLabelChanged, [&] { ++labels; });
    QObject::connect(&s, &TerminalSession::paneRevisionChanged, [&] { ++revisions; });
    s.setStatus(TerminalStatus::running);
    s.setStatus(TerminalStatus::running);
    s.setStatus(TerminalStatus::idle);
    s.setProjectLabel("proj");
    s.setProjectLabel("other");
    s.setPaneRevision(s.paneRevision() + 1);
    EXPECT_EQ(statuses, (std::vector{TerminalStatus::running, TerminalStatus::idle}));
    EXPECT_EQ(labels, 1);
    EXPECT_EQ(revisions, 1);
}
