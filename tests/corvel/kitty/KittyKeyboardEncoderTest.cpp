// The Kitty keyboard encoder: reports under each flag combination, the
// functional key forms, the classic control bytes, and held keys.
#include "corvel/kitty/KittyKeyboardEncoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace corvel;

namespace {

using Mods = KittyKeyboardModifiers;
using Flags = KittyKeyboardFlags;
using Key = KittyFunctionalKey;
using Type = KittyKeyboardEventType;

const Flags kNone;
const Flags kDisambiguate = Flags::disambiguate;
const Flags kEvents = Flags::reportEvents;
const Flags kAlternates = Flags::reportAlternates;
const Flags kAllKeys = Flags::reportAllKeys;
const Flags kText = Flags::reportText;

KittyKeyEvent unicode(char32_t scalar, Mods mods = {}, std::optional<std::string> text = std::nullopt,
                      Type type = Type::press)
{
    KittyKeyEvent event;
    event.key = KittyKey::unicode(scalar);
    event.modifiers = mods;
    event.eventType = type;
    event.text = std::move(text);
    return event;
}

KittyKeyEvent functional(Key key, Mods mods = {}, Type type = Type::press,
                         std::optional<std::string> text = std::nullopt)
{
    KittyKeyEvent event;
    event.key = KittyKey::functional(key);
    event.modifiers = mods;
    event.eventType = type;
    event.text = std::move(text);
    return event;
}

// The bytes as text with ESC shown as "CSI"/"ESC", or "(nothing)".
std::string show(const std::optional<std::vector<uint8_t>>& bytes)
{
    if (!bytes) return "(nothing)";
    std::string out;
    for (size_t i = 0; i < bytes->size(); ++i) {
        const uint8_t b = (*bytes)[i];
        if (b == 0x1B && i + 1 < bytes->size() && (*bytes)[i + 1] == '[') {
            out += "CSI ";
            ++i;
        } else if (b == 0x1B) {
            out += "ESC ";
        } else if (b < 0x20 || b == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", b);
            out += hex;
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string encode(Flags flags, const KittyKeyEvent& event, bool applicationCursor = false, bool controlH = false)
{
    return show(KittyKeyboardEncoder{flags, applicationCursor, controlH}.encode(event));
}

}  // namespace

TEST(KittyKeyboardEncoder, ReportsUnderEachFlagCombination)
{
    KittyKeyEvent shiftedA = unicode('a', Mods::shift, "A");
    shiftedA.shiftedKey = U'A';
    KittyKeyEvent baseLayout = unicode('a', {}, "a");
    baseLayout.baseLayoutKey = U'q';
    KittyKeyEvent leftShift = functional(Key::leftShift);
    KittyKeyEvent noneKey;
    noneKey.key = KittyKey::none();
    noneKey.modifiers = Mods::ctrl;

    struct Case {
        const char* what;
        Flags flags;
        KittyKeyEvent event;
        std::string expected;
        bool controlH = false;
    };
    const std::vector<Case> cases = {
        {"a", kDisambiguate, unicode('a', {}, "a"), "a"},
        {"ctrl+a, control text", kDisambiguate, unicode('a', Mods::ctrl, "\x01"), "CSI 97;5u"},
        {"ctrl+a, no text", kDisambiguate, unicode('a', Mods::ctrl), "CSI 97;5u"},
        {"escape", kDisambiguate, functional(Key::escape), "CSI 27u"},
        {"escape released", kDisambiguate | kEvents, functional(Key::escape, {}, Type::release), "CSI 27;1:3u"},
        {"enter released", kDisambiguate | kEvents, functional(Key::enter, {}, Type::release), "(nothing)"},
        {"enter, all keys", kAllKeys, functional(Key::enter, {}, Type::press, "\r"), "CSI 13u"},
        {"left shift", kAllKeys, leftShift, "CSI 57441u"},
        {"a with text", kAllKeys | kText, unicode('a', {}, "a"), "CSI 97;;97u"},
        {"ctrl+a with text", kAllKeys | kText, unicode('a', Mods::ctrl, "a"), "CSI 97;5u"},
        {"shifted alternate", kAllKeys | kAlternates, shiftedA, "CSI 97:65;2u"},
        {"base layout alternate", kAllKeys | kAlternates, baseLayout, "CSI 97::113u"},
        {"up", kDisambiguate, functional(Key::up), "CSI A"},
        {"shift+up", kDisambiguate, functional(Key::up, Mods::shift), "CSI 1;2A"},
        {"ctrl+f3", kDisambiguate, functional(Key::f3, Mods::ctrl), "CSI 13;5~"},
        {"caps lock + ctrl+a", kDisambiguate, unicode('a', Mods::ctrl | Mods::capsLock, "\x01"), "CSI 97;69u"},
        {"caps lock + enter", kDisambiguate, functional(Key::enter, Mods::capsLock, Type::press, "\r"),
         "CSI 13;65u"},
        {"backspace as ^H", kDisambiguate, functional(Key::backspace), "<08>", true},
        {"none key", kDisambiguate, noneKey, "CSI 0;5u"},
        // Beyond the documented examples.
        {"a released without events", kDisambiguate, unicode('a', {}, "a", Type::release), "(nothing)"},
        {"a released, plain text", kDisambiguate | kEvents, unicode('a', {}, "a", Type::release), "(nothing)"},
        {"a repeated, all keys", kAllKeys | kEvents | kText, unicode('a', {}, "a", Type::repeatPress),
         "CSI 97;1:2;97u"},
        {"text without control scalars", kAllKeys | kText, unicode('a', {}, "a\x01\xc3\xa9"), "CSI 97;;97:233u"},
        {"alt+a, plain without disambiguate", kEvents, unicode('a', Mods::alt, "a"), "a"},
        {"alt+a, disambiguate", kDisambiguate, unicode('a', Mods::alt, "a"), "CSI 97;3u"},
        {"shift+tab", kNone, functional(Key::tab, Mods::shift), "CSI Z"},
        {"alt+escape", kNone, functional(Key::escape, Mods::alt), "ESC ESC "},
        {"ctrl+backspace", kNone, functional(Key::backspace, Mods::ctrl), "<08>"},
        {"enter with plain text", kDisambiguate, functional(Key::enter, {}, Type::press, "x"), "x"},
        {"backspace with plain text", kDisambiguate, functional(Key::backspace, {}, Type::press, "x"), "(nothing)"},
        {"composing", kAllKeys, [] { auto e = unicode('a', {}, "a"); e.composing = true; return e; }(), "(nothing)"},
        {"composing modifier", kAllKeys, [] { auto e = functional(Key::leftAlt); e.composing = true; return e; }(),
         "CSI 57443u"},
        {"modifier key without all keys", kDisambiguate, functional(Key::leftShift), "(nothing)"},
        {"F1 classic", kNone, functional(Key::f1), "ESC OP"},
        {"F1 disambiguated", kDisambiguate, functional(Key::f1), "CSI P"},
        {"page up released", kEvents, functional(Key::pageUp, {}, Type::release), "CSI 5;1:3~"},
        {"up released, all keys", kAllKeys | kEvents, functional(Key::up, {}, Type::release), "CSI 1;1:3A"},
        {"keypad enter", kDisambiguate, functional(Key::keypadEnter), "CSI 57414u"},
        {"shift+ctrl+a classic", kNone, unicode('a', Mods::shift | Mods::ctrl), "CSI 97;6u"},
        {"ctrl+A classic", kNone, unicode('A', Mods::ctrl), "<01>"},
        {"alt+ctrl+[ classic", kNone, unicode('[', Mods::alt | Mods::ctrl), "ESC ESC "},
        {"shifted key classic", kNone, [] { auto e = unicode('1', Mods::shift); e.shiftedKey = U'!'; return e; }(),
         "!"},
        {"super+a classic", kNone, unicode('a', Mods::super), "CSI 97;9u"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(encode(c.flags, c.event, false, c.controlH), c.expected) << c.what;
    }

    // The cursor-key mode counts only without disambiguate.
    EXPECT_EQ(encode(kNone, functional(Key::up), true), "ESC OA");
    EXPECT_EQ(encode(kNone, functional(Key::home), false), "CSI H");
    EXPECT_EQ(encode(kDisambiguate, functional(Key::up), true), "CSI A");
}

TEST(KittyKeyboardEncoder, FunctionalKeysInOrderWithTheirForms)
{
    // Each key pressed alone under reportAllKeys shows its form and number.
    std::vector<std::string> expected = {
        "CSI 27u", "CSI 13u", "CSI 9u", "CSI 127u", "CSI 2~", "CSI 3~", "CSI A", "CSI B", "CSI D", "CSI C",
        "CSI H", "CSI F", "CSI 5~", "CSI 6~", "CSI P", "CSI Q", "CSI 13~", "CSI S", "CSI 15~", "CSI 17~",
        "CSI 18~", "CSI 19~", "CSI 20~", "CSI 21~", "CSI 23~", "CSI 24~",
    };
    for (int code = 57376; code <= 57398; ++code) expected.push_back("CSI " + std::to_string(code) + "u");
    for (int code : {57363, 57358, 57359, 57360, 57361, 57362}) expected.push_back("CSI " + std::to_string(code) + "u");
    for (int code = 57399; code <= 57454; ++code) expected.push_back("CSI " + std::to_string(code) + "u");
    ASSERT_EQ(expected.size(), 111u);
    ASSERT_EQ(kittyFunctionalKeyCount, 111);

    for (int i = 0; i < kittyFunctionalKeyCount; ++i) {
        const auto key = static_cast<Key>(i);
        EXPECT_EQ(encode(kAllKeys, functional(key)), expected[i]) << "key " << i;
    }
    EXPECT_EQ(encode(kAllKeys, functional(Key::volumeMute, Mods::shift)), "CSI 57440;2u");
    EXPECT_EQ(encode(kAllKeys, functional(Key::f5, Mods::alt)), "CSI 15;3~");
    EXPECT_EQ(encode(kAllKeys, functional(Key::end, Mods::numLock)), "CSI 1;129F");

    EXPECT_EQ(kittyKeyboardEventTypeFromRaw(2), Type::repeatPress);
    EXPECT_EQ(kittyKeyboardEventTypeFromRaw(0), std::nullopt);
    EXPECT_EQ(kittyKeyboardEventTypeFromRaw(4), std::nullopt);
}

TEST(KittyKeyboardEncoder, ClassicControlBytes)
{
    std::map<char32_t, uint8_t> table = {
        {' ', 0x00}, {'/', 0x1F}, {'0', '0'},  {'1', '1'},  {'2', 0x00}, {'3', 0x1B}, {'4', 0x1C},
        {'5', 0x1D}, {'6', 0x1E}, {'7', 0x1F}, {'8', 0x7F}, {'9', '9'},  {'?', 0x7F}, {'@', 0x00},
        {'[', 0x1B}, {'\\', 0x1C}, {']', 0x1D}, {'^', 0x1E}, {'_', 0x1F}, {'~', 0x1E},
    };
    for (char32_t c = 'a'; c <= 'z'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 1);
    ASSERT_EQ(table.size(), 46u);

    for (char32_t c = 0x20; c < 0x7F; ++c) {
        const auto found = table.find(c);
        EXPECT_EQ(KittyKeyboardEncoder::legacyControlMapping(c),
                  found == table.end() ? std::nullopt : std::optional<uint8_t>(found->second))
            << static_cast<char>(c);
        // Ctrl with the key, classic forms: the table's byte, else the key itself.
        const auto bytes = KittyKeyboardEncoder{}.encode(unicode(c, Mods::ctrl));
        ASSERT_TRUE(bytes) << static_cast<char>(c);
        const char32_t lower = c >= 'A' && c <= 'Z' ? c + 32 : c;
        const auto mapped = table.find(lower);
        EXPECT_EQ(*bytes, std::vector<uint8_t>{mapped != table.end() ? mapped->second : static_cast<uint8_t>(c)})
            << static_cast<char>(c);
    }
}

TEST(KittyKeyboardEncoder, HeldKeysRepeatInTheClassicForms)
{
    // Backspace held under vim's flags: one press and two repeats send three bytes.
    std::vector<uint8_t> sent;
    const KittyKeyboardEncoder encoder{kDisambiguate, false, false};
    for (Type type : {Type::press, Type::repeatPress, Type::repeatPress, Type::release}) {
        if (auto bytes = encoder.encode(functional(Key::backspace, {}, type, "\x7f")))
            sent.insert(sent.end(), bytes->begin(), bytes->end());
    }
    EXPECT_EQ(sent, (std::vector<uint8_t>{0x7F, 0x7F, 0x7F}));

    EXPECT_EQ(encode(kDisambiguate, functional(Key::enter, {}, Type::repeatPress, "\r")), "<0D>");
    EXPECT_EQ(encode(kDisambiguate, functional(Key::tab, {}, Type::repeatPress, "\t")), "<09>");
    EXPECT_EQ(encode(kNone, unicode('c', Mods::ctrl, std::nullopt, Type::repeatPress)), "<03>");
    // With events reported, a repeat says so instead.
    EXPECT_EQ(encode(kDisambiguate | kEvents, functional(Key::backspace, {}, Type::repeatPress)), "CSI 127;1:2u");
}
