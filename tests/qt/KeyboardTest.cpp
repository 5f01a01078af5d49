// Key encoding driven through the toolkit-free KeyInput record (no display
// needed): the classic encoding with its control, Alt and function-key
// rules, the Kitty keyboard protocol for presses, repeats, releases and
// modifier keys, pastes, and input-method text; plus the QKeyEvent adapter.
#include "QtTestSupport.h"

#include "corvel/platform/Log.h"
#include "corvel/platform/Utf8.h"
#include "corvel/qt/KeyInputAdapter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <cctype>

namespace corvel {
namespace {

using testing::testFont;

KeyInput typed(std::string characters, std::string ignoring, uint16_t keyCode, uint16_t modifiers = 0)
{
    KeyInput key;
    key.characters = std::move(characters);
    key.charactersIgnoringModifiers = std::move(ignoring);
    key.keyCode = keyCode;
    key.modifiers = modifiers;
    return key;
}

KeyInput letter(char c, uint16_t modifiers = 0)
{
    const std::string text(1, c);
    std::string characters = text;
    if (modifiers & KeyInput::control) characters = std::string(1, char(c & 0x1F));
    return typed(characters, text, KeyCode::forUsCharacter(char32_t(std::tolower(c))), modifiers);
}

KeyInput functionKey(char32_t character, uint16_t keyCode, uint16_t modifiers = 0)
{
    const std::string text = utf8::encode(character);
    return typed(text, text, keyCode, uint16_t(modifiers | KeyInput::function));
}

KeyInput returnKey(uint16_t modifiers = 0)
{
    return typed("\r", "\r", KeyCode::returnKey, modifiers);
}

KeyInput modifierKey(uint16_t keyCode, bool pressed, uint16_t modifiers)
{
    KeyInput key;
    key.keyCode = keyCode;
    key.pressed = pressed;
    key.modifiers = modifiers;
    return key;
}

struct KeyFixture : ::testing::Test {
    TerminalView view{QRect(0, 0, 400, 14 * 10), testFont()};
    std::shared_ptr<testing::RecordingViewDelegate> host = std::make_shared<testing::RecordingViewDelegate>();

    void SetUp() override { view.setTerminalDelegate(host); }
    std::string take()
    {
        std::string sent = std::move(host->sent);
        host->sent.clear();
        return sent;
    }
    std::string press(const KeyInput& key)
    {
        view.keyDown(key);
        return take();
    }
};

TEST_F(KeyFixture, ClassicControlAltAndFunctionKeys)
{
    using M = KeyInput::Modifier;
    EXPECT_EQ(press(letter('a', M::control)), "\x01");
    EXPECT_EQ(press(typed(std::string(1, '\0'), " ", KeyCode::space, M::control)), std::string(1, '\0'));
    EXPECT_EQ(press(typed("é", "é", KeyCode::unknown, M::control)), "");
    // Control with a key outside the control table keeps the key's meaning.
    EXPECT_EQ(press(returnKey(M::control)), "\r");
    EXPECT_EQ(press(typed("\t", "\t", KeyCode::tab, M::control)), "\t");
    EXPECT_EQ(press(typed("\x7f", "\x7f", KeyCode::deleteBackward, M::control)), "\x7f");
    EXPECT_EQ(press(functionKey(FunctionKey::f1 + 4, 96, M::control)), "\x1b[15~");
    EXPECT_EQ(press(functionKey(FunctionKey::right, KeyCode::right, M::control)), "\x1b[1;5C");

    // Alt as Meta: Escape, then the key, as two sends.
    std::vector<std::string> sends;
    struct SplitRecorder : testing::RecordingViewDelegate {
        std::vector<std::string>* out = nullptr;
        void send(TerminalView&, std::span<const uint8_t> d) override { out->emplace_back(d.begin(), d.end()); }
    };
    auto split = std::make_shared<SplitRecorder>();
    split->out = &sends;
    view.setTerminalDelegate(split);
    view.keyDown(typed("x", "x", 7, M::option));
    EXPECT_EQ(sends, (std::vector<std::string>{"\x1b", "x"}));
    view.setTerminalDelegate(host);
    EXPECT_EQ(press(functionKey(FunctionKey::left, KeyCode::left, M::option)), "\x1b" "b");
    // A key without text under Alt sends its own sequence, not its private character.
    EXPECT_EQ(press(functionKey(FunctionKey::up, KeyCode::up, M::option)), "\x1b[A");
    view.optionAsMetaKey = false;
    EXPECT_EQ(press(typed("x", "x", 7, M::option)), "x");

    EXPECT_EQ(press(functionKey(FunctionKey::f1, 122)), "\x1bOP");
    EXPECT_EQ(press(functionKey(FunctionKey::deleteForward, KeyCode::forwardDelete)), "\x1b[3~");
    EXPECT_EQ(press(functionKey(FunctionKey::home, KeyCode::home)), "\x1b[H");
    EXPECT_EQ(press(typed("\x19", "\x19", KeyCode::tab, M::shift)), "\x1b[Z");
    EXPECT_EQ(press(functionKey(FunctionKey::up, KeyCode::up)), "\x1b[A");
    view.feed(std::string_view("\x1b[?1h"));
    EXPECT_EQ(press(functionKey(FunctionKey::up, KeyCode::up)), "\x1bOA");
    EXPECT_EQ(press(functionKey(FunctionKey::home, KeyCode::home)), "\x1bOH");
    EXPECT_EQ(press(letter('q')), "q");
    EXPECT_EQ(press(typed("", "", KeyCode::unknown, M::control)), "");
}

TEST_F(KeyFixture, TheMetaToggleChordSwitchesAltAsMeta)
{
    using M = KeyInput::Modifier;
    const KeyInput chord = typed("O", "O", 31, M::control | M::shift | M::option);
    ASSERT_TRUE(view.optionAsMetaKey);
    view.keyDown(chord);
    EXPECT_FALSE(view.optionAsMetaKey);
    view.feed(std::string_view("\x1b[>1u"));
    view.keyDown(chord);
    EXPECT_TRUE(view.optionAsMetaKey);
    EXPECT_EQ(take(), "");
}

TEST_F(KeyFixture, PageKeysScrollTheNormalScreenAndGoToTheProgramOnTheAlternateOne)
{
    for (int i = 0; i < 40; ++i) view.feed(std::string_view("line\r\n"));
    Buffer& buffer = view.getTerminal().displayBuffer();
    const int bottom = buffer.yDisp();
    EXPECT_EQ(press(functionKey(FunctionKey::pageUp, KeyCode::pageUp)), "");
    EXPECT_EQ(buffer.yDisp(), bottom - view.getTerminal().rows());
    EXPECT_EQ(press(functionKey(FunctionKey::pageDown, KeyCode::pageDown, KeyInput::shift)), "");
    EXPECT_EQ(buffer.yDisp(), bottom);
    // Typing returns to the live screen.
    view.scrollTo(0);
    EXPECT_EQ(press(letter('k')), "k");
    EXPECT_EQ(buffer.yDisp(), bottom);
    // Reached as editing commands, the page keys go out in application cursor mode.
    view.feed(std::string_view("\x1b[?1h"));
    view.doCommand("scrollPageDown:");
    view.doCommand("pageDownAndModifySelection:");
    EXPECT_EQ(take(), "\x1b[6~");
    log::Capture capture;
    view.doCommand("transpose:");
    EXPECT_TRUE(capture.contains("Unhandle selector transpose:"));
    // On the alternate screen the page keys go to the program.
    view.feed(std::string_view("\x1b[?1049h"));
    view.pageUp();
    view.pageDown();
    EXPECT_EQ(take(), "\x1b[5~\x1b[6~");
}

TEST_F(KeyFixture, KittyPressesKeepTheirModifiers)
{
    using M = KeyInput::Modifier;
    view.feed(std::string_view("\x1b[>1u"));
    EXPECT_EQ(press(typed("\x1b", "\x1b", KeyCode::escape)), "\x1b[27u");
    EXPECT_EQ(press(returnKey(M::shift)), "\x1b[13;2u");
    EXPECT_EQ(press(returnKey()), "\r");
    EXPECT_EQ(press(letter('a', M::control)), "\x1b[97;5u");
    EXPECT_EQ(press(functionKey(FunctionKey::f1 + 4, 96)), "\x1b[15~");
    // Plain text goes through the text path with the pending key.
    EXPECT_EQ(press(letter('a')), "a");
    view.feed(std::string_view("\x1b[<u"));
    EXPECT_EQ(press(returnKey(M::shift)), "\r");
}

TEST_F(KeyFixture, KittyRepeatsAndReleasesFollowTheFlags)
{
    KeyInput repeated = letter('a');
    repeated.isRepeat = true;
    view.feed(std::string_view("\x1b[>3u"));  // disambiguate + report events
    EXPECT_EQ(press(repeated), "a");
    view.keyUp(returnKey());
    EXPECT_EQ(take(), "");  // Return's release needs every key reported
    view.keyUp(functionKey(FunctionKey::f1 + 4, 96));
    EXPECT_EQ(take(), "\x1b[15;1:3~");

    view.feed(std::string_view("\x1b[=11u"));  // + report all keys
    EXPECT_EQ(press(repeated), "\x1b[97;1:2u");
    view.keyUp(letter('a'));
    EXPECT_EQ(take(), "\x1b[97;1:3u");
}

TEST_F(KeyFixture, KittyModifierKeysReadTheirOwnEvent)
{
    using M = KeyInput::Modifier;
    view.feed(std::string_view("\x1b[>11u"));
    view.flagsChanged(modifierKey(KeyCode::leftShift, true, M::shift));
    view.flagsChanged(modifierKey(KeyCode::rightShift, true, M::shift));
    EXPECT_EQ(take(), "\x1b[57441;2u\x1b[57447;2u");
    // Releasing the left Shift while the right one still holds Shift down is a release.
    view.flagsChanged(modifierKey(KeyCode::leftShift, false, M::shift));
    EXPECT_EQ(take(), "\x1b[57441;2:3u");
    // Alt counts in modifier reports even when it is not Meta.
    view.optionAsMetaKey = false;
    view.flagsChanged(modifierKey(KeyCode::leftOption, true, M::option));
    EXPECT_EQ(take(), "\x1b[57443;3u");
    // While an input method composes, modifier keys are its own.
    view.setMarkedText("ㅎ");
    view.flagsChanged(modifierKey(KeyCode::leftControl, true, M::control));
    EXPECT_EQ(take(), "");
}

TEST_F(KeyFixture, PastesAreBracketedAndCannotCloseTheBracketEarly)
{
    view.insertText("plain", true);
    EXPECT_EQ(take(), "plain");
    view.feed(std::string_view("\x1b[?2004h"));
    view.insertText("a\x1b[201~rm -rf /\x1b[20\x1b[201~1~b", true);
    EXPECT_EQ(take(), "\x1b[200~arm -rf /b\x1b[201~");
    // In Kitty mode the paste is raw text between the markers as well.
    view.feed(std::string_view("\x1b[>1u"));
    view.insertText("ls\n", true);
    EXPECT_EQ(take(), "\x1b[200~ls\n\x1b[201~");
}

TEST_F(KeyFixture, InputMethodCommitsAreSentOnce)
{
    auto preedit = [&](const QString& text) {
        QInputMethodEvent event(text, {});
        QCoreApplication::sendEvent(&view, &event);
    };
    preedit(QStringLiteral("ㅎ"));
    EXPECT_TRUE(view.kittyIsComposing());
    preedit(QStringLiteral("하"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("한"));
    QCoreApplication::sendEvent(&view, &commit);
    EXPECT_EQ(take(), "한");
    EXPECT_FALSE(view.kittyIsComposing());
    EXPECT_EQ(static_cast<QWidget&>(view).inputMethodQuery(Qt::ImCursorRectangle).toRect(),
              view.firstRect().toAlignedRect());

    // Kitty mode: committed text is reported as text.
    view.feed(std::string_view("\x1b[>1u"));
    preedit(QStringLiteral("ㅎ"));
    QCoreApplication::sendEvent(&view, &commit);
    EXPECT_EQ(take(), "한");
}

TEST(KeyInputAdapter, QtKeyEventsBecomeRecords)
{
    const KeyInput ctrlA = KeyInputAdapter::fromQKeyEvent(
        QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01")));
    EXPECT_EQ(ctrlA.charactersIgnoringModifiers, "a");
    EXPECT_EQ(ctrlA.characters, "\x01");
    EXPECT_EQ(ctrlA.keyCode, 0);
    EXPECT_TRUE(ctrlA.has(KeyInput::control));

    const KeyInput shiftX = KeyInputAdapter::fromQKeyEvent(
        QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::ShiftModifier | Qt::AltModifier, QStringLiteral("X")));
    EXPECT_EQ(shiftX.charactersIgnoringModifiers, "X");
    EXPECT_TRUE(shiftX.has(KeyInput::option));

    const KeyInput f5 = KeyInputAdapter::fromQKeyEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier));
    EXPECT_EQ(f5.firstScalarIgnoringModifiers(), FunctionKey::f1 + 4);
    EXPECT_TRUE(f5.has(KeyInput::function));
    EXPECT_EQ(f5.keyCode, 96);

    const KeyInput backtab = KeyInputAdapter::fromQKeyEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier));
    EXPECT_EQ(backtab.firstScalarIgnoringModifiers(), U'\x19');

    const KeyInput keypad7 = KeyInputAdapter::fromQKeyEvent(
        QKeyEvent(QEvent::KeyPress, Qt::Key_7, Qt::KeypadModifier, QStringLiteral("7")));
    EXPECT_EQ(keypad7.keyCode, KeyCode::keypad0 + 7);
    EXPECT_EQ(keypad7.characters, "7");

    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"), true);
    EXPECT_TRUE(KeyInputAdapter::fromQKeyEvent(repeat).isRepeat);
    QKeyEvent shiftUp(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_TRUE(KeyInputAdapter::isModifierKey(shiftUp));
    EXPECT_FALSE(KeyInputAdapter::fromQKeyEvent(shiftUp).pressed);
}

TEST(KeyInputAdapter, QtKeysReachTheProgramThroughTheView)
{
    TerminalView view(QRect(0, 0, 400, 140), testFont());
    auto host = std::make_shared<testing::RecordingViewDelegate>();
    view.setTerminalDelegate(host);
    auto pressKey = [&](int key, Qt::KeyboardModifiers mods, const QString& text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, mods, text);
        QCoreApplication::sendEvent(&view, &event);
    };
    pressKey(Qt::Key_Tab, Qt::NoModifier, QStringLiteral("\t"));  // not a focus move
    pressKey(Qt::Key_Up, Qt::NoModifier);
    pressKey(Qt::Key_Return, Qt::ControlModifier, QStringLiteral("\r"));
    pressKey(Qt::Key_H, Qt::NoModifier, QStringLiteral("h"));
    EXPECT_EQ(host->sent, "\t\x1b[A\rh");
    // The editing keys with the text X11 gives them: Backspace is DEL
    // whatever its text, Alt puts ESC before it.
    host->sent.clear();
    pressKey(Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    pressKey(Qt::Key_Backspace, Qt::AltModifier, QStringLiteral("\b"));
    pressKey(Qt::Key_Escape, Qt::NoModifier, QStringLiteral("\x1b"));
    pressKey(Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    EXPECT_EQ(host->sent, "\x7f\x1b\x7f\x1b\x1b[3~");
}

}  // namespace
}  // namespace corvel
