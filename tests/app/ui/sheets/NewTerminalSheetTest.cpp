// The new-terminal sheet over a shown window: real shells started in the
// typed folder with the typed command (and again from the profile it saved,
// through the launcher), Return in every field making exactly one cell, the
// profile switch, cancelling, and the folder chooser.
#include "SheetTestSupport.h"

#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/sheets/NewTerminalSheet.h"
#include "app/ui/sheets/ProfileLauncherSheet.h"
#include "app/ui/sheets/ProfileRow.h"
#include "app/ui/sheets/SheetField.h"

#include <QCheckBox>

namespace tilebay::testing {
namespace {

class NewTerminalSheetTest : public SheetTest {};

TEST_F(NewTerminalSheetTest, RealShellsStartInTheFolderTypedWithSpacesAndFromTheProfileThatKeepsThem)
{
    SessionStore& store = makeShellStore();
    const fs::path folder = dir_.path() / "work dir";
    fs::create_directories(folder);
    present();
    store.promptNewTerminal();
    auto* sheet = open<NewTerminalSheet>();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->focusWidget(), sheet->nameField());

    const QString typedFolder = "  " + QString::fromStdString(folder.string()) + " ";
    type(sheet->nameField(), "Build");
    sheet->folderField()->setText(typedFolder);
    type(sheet->commandField(), "echo READY; pwd");
    sheet->saveAsProfile()->setChecked(true);
    key(sheet->commandField(), Qt::Key_Return);

    ASSERT_EQ(store.cells().size(), 1u);
    const QString id = store.cells()[0]->id();
    ASSERT_TRUE(screenShows(id, "READY"));
    ASSERT_TRUE(screenShows(id, QString::fromStdString(folder.string())));
    EXPECT_FALSE(store.showNewTerminalPrompt());
    EXPECT_EQ(presenter_->current(), nullptr);

    const auto doc = savedDoc();
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->cells.size(), 1u);
    EXPECT_EQ(doc->cells[0].cwd, folder.string());
    ASSERT_EQ(doc->profiles.size(), 1u);
    EXPECT_EQ(doc->profiles[0].name, "Build");
    EXPECT_EQ(doc->profiles[0].cwd, typedFolder.toStdString()) << "the profile keeps the folder as typed";
    EXPECT_EQ(doc->profiles[0].startCommand, "echo READY; pwd");

    // Launched from the profile launcher, the saved folder is trimmed again.
    store.setShowProfileLauncher(true);
    auto* launcher = open<ProfileLauncherSheet>();
    ASSERT_NE(launcher, nullptr);
    ASSERT_EQ(launcher->rows().size(), 1u);
    launcher->rows()[0]->setFocus();
    key(launcher->rows()[0], Qt::Key_Space);
    ASSERT_EQ(store.cells().size(), 2u);
    const QString second = store.cells()[1]->id();
    ASSERT_TRUE(screenShows(second, "READY"));
    EXPECT_TRUE(screenShows(second, QString::fromStdString(folder.string())));
    EXPECT_EQ(store.cells()[1]->cwd(), QString::fromStdString(folder.string()));
}

TEST_F(NewTerminalSheetTest, ReturnInEachFieldMakesExactlyOneCell)
{
    SessionStore& store = makeStore();
    present();
    size_t expected = 0;
    for (int field = 0; field < 4; ++field) {
        SCOPED_TRACE(field);
        store.promptNewTerminal();
        auto* sheet = open<NewTerminalSheet>();
        ASSERT_NE(sheet, nullptr);
        QWidget* target = field == 0 ? static_cast<QWidget*>(sheet->nameField())
                        : field == 1 ? static_cast<QWidget*>(sheet->folderField())
                        : field == 2 ? static_cast<QWidget*>(sheet->commandField())
                                     : static_cast<QWidget*>(sheet->saveAsProfile());
        target->setFocus();
        if (auto* line = qobject_cast<QLineEdit*>(target)) type(line, QStringLiteral("x%1").arg(field));
        // Two presses: the second reaches a sheet that is already closing.
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Return);
        pumpQueued();
        ++expected;
        EXPECT_EQ(store.cells().size(), expected);
        ASSERT_TRUE(savedDoc());
        EXPECT_EQ(savedDoc()->cells.size(), expected);
        EXPECT_FALSE(store.showNewTerminalPrompt());
        EXPECT_EQ(presenter_->current(), nullptr);
    }
    EXPECT_EQ(embedded_->lastCwd, std::nullopt);
    EXPECT_TRUE(store.profiles().empty());
}

TEST_F(NewTerminalSheetTest, BlankNameWithTheSwitchSavesProfileNamedProfileAndAnUntitledCell)
{
    SessionStore& store = makeStore();
    present();
    store.promptNewTerminal();
    auto* sheet = open<NewTerminalSheet>();
    ASSERT_NE(sheet, nullptr);
    type(sheet->nameField(), "   ");
    sheet->saveAsProfile()->setChecked(true);
    sheet->createButton()->click();
    pumpQueued();

    ASSERT_EQ(store.profiles().size(), 1u);
    EXPECT_EQ(store.profiles()[0].name, "프로필");
    EXPECT_EQ(store.profiles()[0].cwd, std::nullopt);
    ASSERT_EQ(store.cells().size(), 1u);
    EXPECT_EQ(store.cells()[0]->projectLabel(), "Untitled-1");
    EXPECT_FALSE(store.cells()[0]->labelLockedByUser());
}

TEST_F(NewTerminalSheetTest, CancelAndEscapeMakeNothingAndTheNextOpeningStartsEmpty)
{
    SessionStore& store = makeStore();
    present();
    for (bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape);
        store.promptNewTerminal();
        auto* sheet = open<NewTerminalSheet>();
        ASSERT_NE(sheet, nullptr);
        EXPECT_TRUE(sheet->nameField()->text().isEmpty());
        EXPECT_FALSE(sheet->saveAsProfile()->isChecked());
        type(sheet->nameField(), "kept");
        sheet->saveAsProfile()->setChecked(true);
        if (byEscape) key(sheet->nameField(), Qt::Key_Escape);
        else sheet->cancelButton()->click();
        pumpQueued();
        EXPECT_EQ(presenter_->current(), nullptr);
        EXPECT_FALSE(store.showNewTerminalPrompt());
        EXPECT_EQ(store.newTerminalName(), "kept") << "the fields keep their text until the next opening";
    }
    EXPECT_TRUE(store.cells().empty());
    EXPECT_TRUE(store.profiles().empty());
    EXPECT_FALSE(savedDoc());
}

TEST_F(NewTerminalSheetTest, ChosenFolderReplacesTheFieldAndACancelledChooserKeepsIt)
{
    SessionStore& store = makeStore();
    present();
    store.promptNewTerminal();
    auto* sheet = open<NewTerminalSheet>();
    ASSERT_NE(sheet, nullptr);
    type(sheet->folderField(), "/old");

    sheet->chooseButton()->click();
    ASSERT_EQ(chooserOpened_, 1);
    pendingChoice_ = nullptr;  // cancelled: never answers
    EXPECT_EQ(store.newTerminalCwd(), "/old");

    sheet->chooseButton()->click();
    ASSERT_EQ(chooserOpened_, 2);
    pendingChoice_("/chosen/folder");
    EXPECT_EQ(sheet->folderField()->text(), "/chosen/folder");
    EXPECT_EQ(store.newTerminalCwd(), "/chosen/folder");

    // An answer that comes after the sheet closed changes nothing.
    sheet->chooseButton()->click();
    auto late = pendingChoice_;
    key(sheet->folderField(), Qt::Key_Escape);
    store.setNewTerminalCwd("");
    late("/too/late");
    EXPECT_EQ(store.newTerminalCwd(), "");
}

}  // namespace
}  // namespace tilebay::testing
