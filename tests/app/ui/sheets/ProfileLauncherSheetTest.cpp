// The profile launcher: the pure filter and descriptions, Return on a
// focused row and on the first match, the rows' fill, and the empty state against a query without matches. (A real
// shell launched from a profile is in NewTerminalSheetTest.)
#include "SheetTestSupport.h"

#include "app/ui/design/DS.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/sheets/ProfileLauncherSheet.h"
#include "app/ui/sheets/ProfileRow.h"
#include "app/ui/sheets/ProfileText.h"
#include "app/ui/sheets/SheetField.h"

#include <QScrollArea>

namespace tilebay::testing {
namespace {

TerminalProfile profile(std::string id, std::string name, std::optional<std::string> cwd = std::nullopt,
                        std::optional<std::string> command = std::nullopt)
{
    return {std::move(id), std::move(name), std::move(cwd), std::move(command)};
}

std::vector<std::string> names(const std::vector<TerminalProfile>& all, const std::vector<size_t>& kept)
{
    std::vector<std::string> out;
    for (size_t i : kept) out.push_back(all[i].name);
    return out;
}

TEST(ProfileText, FilterTrimsSpacesAndTabsIgnoresCaseAndComposition)
{
    const std::vector<TerminalProfile> all{profile("1", "Web"), profile("2", "Docs"), profile("3", "WEBX"),
                                           profile("4", "caf\u00E9"), profile("5", "a b")};
    using V = std::vector<std::string>;
    EXPECT_EQ(names(all, ProfileText::filter("  web ", all)), (V{"Web", "WEBX"}));
    EXPECT_EQ(names(all, ProfileText::filter("\tWEB\u3000", all)), (V{"Web", "WEBX"}));
    EXPECT_EQ(names(all, ProfileText::filter(" \t ", all)).size(), all.size());
    EXPECT_EQ(names(all, ProfileText::filter(QString::fromUtf8("CAFE\u0301"), all)), (V{"caf\u00E9"}));
    EXPECT_EQ(names(all, ProfileText::filter("a b", all)), (V{"a b"})) << "inner white space takes part";
    EXPECT_TRUE(ProfileText::filter("web\n", all).empty()) << "line breaks are not trimmed";
    EXPECT_TRUE(ProfileText::filter("/srv", {profile("6", "x", "/srv", "ls")}).empty()) << "only names are searched";
}

TEST(ProfileText, SubtitlesOfTheLauncherAndOfTheSettingsDifferOnEmptyValues)
{
    const auto both = profile("1", "n", "/srv/app", "make");
    const auto commandOnly = profile("2", "n", std::nullopt, "make");
    const auto emptyFolder = profile("3", "n", "", "make");
    const auto neither = profile("4", "n");
    EXPECT_EQ(ProfileText::launcherSubtitle(both), "/srv/app  \u25B8 make");
    EXPECT_EQ(ProfileText::launcherSubtitle(commandOnly), "\u25B8 make");
    EXPECT_EQ(ProfileText::launcherSubtitle(emptyFolder), "\u25B8 make");
    EXPECT_EQ(ProfileText::launcherSubtitle(neither), "로그인 셸");
    EXPECT_EQ(ProfileText::settingsSubtitle(emptyFolder), "  \u25B8 make");
    EXPECT_EQ(ProfileText::settingsSubtitle(neither), "");
    EXPECT_EQ(ProfileText::settingsSubtitle(profile("5", "n", std::nullopt, "")), "\u25B8 ");
    EXPECT_EQ(ProfileText::launchValue(std::string(" \t/srv \n")), "/srv");
    EXPECT_EQ(ProfileText::launchValue(std::string("  ")), std::nullopt);
}

class ProfileLauncherTest : public SheetTest {};

TEST_F(ProfileLauncherTest, ReturnLaunchesTheFocusedRowElseTheFirstMatchWithItsNameLocked)
{
    SessionStore& store = makeStore();
    store.setProfiles({profile("d", "Docs"), profile("w", "Web", "/srv/web"), profile("x", "WEBX")});
    present();
    store.setShowProfileLauncher(true);
    auto* sheet = open<ProfileLauncherSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->focusWidget(), sheet->searchField());
    ASSERT_EQ(sheet->shownRows().size(), 3u);

    // Rows lie on the secondary text colour at 8 %.
    ProfileRow* docs = sheet->shownRows()[0];
    const QPalette& palette = docs->palette();
    EXPECT_TRUE(test::near(test::probe(test::grabAt(*docs, 1), 6, docs->height() / 2.0),
                           test::over(DS::primaryText(palette), 0.5 * 0.08, DS::windowBackground(palette)), 1));

    // Tab to the third row: Return launches that row, not the first match.
    for (int i = 0; i < 3; ++i) key(sheet->focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(sheet->focusWidget(), sheet->shownRows()[2]);
    key(sheet->focusWidget(), Qt::Key_Return);
    ASSERT_EQ(store.cells().size(), 1u);
    EXPECT_EQ(store.cells()[0]->projectLabel(), "WEBX");
    EXPECT_EQ(presenter_->current(), nullptr);

    store.setShowProfileLauncher(true);
    sheet = open<ProfileLauncherSheet>();
    ASSERT_NE(sheet, nullptr);

    type(sheet->searchField(), "  web ");
    const auto shown = sheet->shownRows();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->name(), "Web");
    EXPECT_EQ(shown[1]->name(), "WEBX");

    key(sheet->searchField(), Qt::Key_Return);
    ASSERT_EQ(store.cells().size(), 2u);
    EXPECT_EQ(store.cells()[1]->projectLabel(), "Web");
    EXPECT_TRUE(store.cells()[1]->labelLockedByUser());
    EXPECT_EQ(embedded_->lastCwd, "/srv/web");
    EXPECT_FALSE(store.showProfileLauncher());
    EXPECT_EQ(presenter_->current(), nullptr);
}

TEST_F(ProfileLauncherTest, EmptyStateOnlyWithoutProfilesAndReturnInertWithoutMatches)
{
    SessionStore& store = makeStore();
    present();
    store.setShowProfileLauncher(true);
    auto* sheet = open<ProfileLauncherSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(sheet->emptyState()->isHidden());
    EXPECT_TRUE(sheet->list()->isHidden());
    key(sheet->searchField(), Qt::Key_Return);
    EXPECT_TRUE(store.cells().empty());
    EXPECT_EQ(presenter_->current(), sheet);

    // A profile arriving while the sheet is open replaces the empty state.
    store.setProfiles({profile("w", "Web")});
    EXPECT_TRUE(sheet->emptyState()->isHidden());
    type(sheet->searchField(), "zzz");
    EXPECT_FALSE(sheet->list()->isHidden());
    EXPECT_TRUE(sheet->shownRows().empty());
    EXPECT_TRUE(sheet->emptyState()->isHidden()) << "no match is not the empty state";
    key(sheet->searchField(), Qt::Key_Return);
    EXPECT_TRUE(store.cells().empty());
    EXPECT_TRUE(store.showProfileLauncher());

    // "빈 터미널" works with any list and leaves through the dismissal.
    sheet->blankButton()->click();
    pumpQueued();
    ASSERT_EQ(store.cells().size(), 1u);
    EXPECT_FALSE(store.cells()[0]->labelLockedByUser());
    EXPECT_FALSE(store.showProfileLauncher());
}

}  // namespace
}  // namespace tilebay::testing
