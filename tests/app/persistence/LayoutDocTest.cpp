// The layout document's JSON: defaults for absent keys, unreadable types and
// kinds, a round trip of every field, the written form (sorted keys, escaped
// slashes, no absent optionals), escaping, grid positions, duplicate ids and
// ids tmux would change in a session name.
#include "app/persistence/LayoutDoc.h"
#include "app/persistence/TmuxSessionName.h"

#include "corvel/platform/Log.h"

#include <gtest/gtest.h>

#include <set>

using namespace tilebay;

namespace {

LayoutDoc sampleDoc()
{
    LayoutDoc doc;
    doc.pollIntervalMs = 100;
    doc.idleThresholdSec = 12;
    doc.absorbITerm2 = true;
    doc.appearance = "light";
    doc.terminalTheme = "dracula";
    doc.terminalFontSize = 14.5;
    doc.tmuxPersistence = true;
    CellRecord a;
    a.internalId = "abcdefghij0123";
    a.projectLabel = "api \"server\"";
    a.cwd = "/Users/me/src";
    a.startCommand = "npm run dev\ttail";
    CellRecord b;
    b.internalId = "B-_";
    b.adapterKind = AdapterKind::iterm2;
    b.externalRef = "w0t0p0:1234";
    b.projectLabel = "로그";
    b.labelLockedByUser = true;
    doc.cells = {a, b};
    doc.profiles = {{"p1", "Dev", "~/dev", std::nullopt}, {"p2", "Bare", std::nullopt, "htop"}};
    doc.assignGridPositions();
    return doc;
}

}  // namespace

TEST(LayoutDoc, AbsentKeysTakeTheirDefaults)
{
    const auto doc = LayoutDoc::decode("{}");
    ASSERT_TRUE(doc);
    EXPECT_EQ(*doc, LayoutDoc{});

    const auto nulls = LayoutDoc::decode(
        R"({"cells": [{"adapterKind": "iterm2", "cwd": null}], "appearance": null,
            "unknownKey": [1, 2], "pollIntervalMs": 2.5e3, "terminalFontSize": 12})");
    ASSERT_TRUE(nulls);
    ASSERT_EQ(nulls->cells.size(), 1u);
    const CellRecord& cell = nulls->cells[0];
    EXPECT_EQ(cell.internalId.size(), 14u);
    EXPECT_EQ(cell.adapterKind, AdapterKind::iterm2);
    EXPECT_FALSE(cell.externalRef);
    EXPECT_EQ(cell.projectLabel, "Untitled");
    EXPECT_FALSE(cell.labelLockedByUser);
    EXPECT_FALSE(cell.cwd);
    EXPECT_EQ(nulls->appearance, "system");
    EXPECT_EQ(nulls->pollIntervalMs, 2500);
    EXPECT_EQ(nulls->terminalFontSize, 12.0);

    // Unknown appearance and theme names are plain strings here.
    const auto names = LayoutDoc::decode(R"({"appearance": "Dark", "terminalTheme": "neon"})");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->terminalTheme, "neon");
}

TEST(LayoutDoc, WrongTypesUnknownKindsAndIncompleteProfilesAreUnreadable)
{
    for (const char* bad : {
             R"({"cells": [{"adapterKind": "iTerm2"}]})",
             R"({"cells": [{"adapterKind": 1}]})",
             R"({"cells": [null]})",
             R"({"cells": {}})",
             R"({"cells": [{"gridRow": "0"}]})",
             R"({"cells": [{"labelLockedByUser": 1}]})",
             R"({"cells": [{"cwd": 5}]})",
             R"({"profiles": [{"id": "p1"}]})",
             R"({"profiles": [{"name": "Dev"}]})",
             R"({"profiles": [{"id": "p1", "name": null}]})",
             R"({"pollIntervalMs": "1000"})",
             R"({"pollIntervalMs": 1000.5})",
             R"({"idleThresholdSec": 18446744073709551615})",
             R"({"tmuxPersistence": "true"})",
             R"({"terminalFontSize": "13"})",
             R"({"appearance": 0})",
             "[]",
             "{\"version\": 1",
             "{\"appearance\": \"\xff\"}",
             "",
         })
        EXPECT_FALSE(LayoutDoc::decode(bad)) << bad;
}

TEST(LayoutDoc, RoundTripKeepsEveryField)
{
    const LayoutDoc doc = sampleDoc();
    const auto bytes = doc.encode();
    ASSERT_TRUE(bytes);
    const auto back = LayoutDoc::decode(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, doc);
}

TEST(LayoutDoc, WritesSortedKeysEscapedSlashesAndNoAbsentOptionals)
{
    LayoutDoc doc;
    CellRecord cell;
    cell.internalId = "id1";
    cell.cwd = "/tmp/a b";
    doc.cells = {cell};
    doc.profiles = {{"p1", "Dev", std::nullopt, std::nullopt}};
    doc.assignGridPositions();
    const auto bytes = doc.encode();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, R"({
  "absorbITerm2" : false,
  "appearance" : "system",
  "cells" : [
    {
      "adapterKind" : "embedded",
      "cwd" : "\/tmp\/a b",
      "gridCol" : 0,
      "gridRow" : 0,
      "internalId" : "id1",
      "labelLockedByUser" : false,
      "projectLabel" : "Untitled"
    }
  ],
  "idleThresholdSec" : 8,
  "pollIntervalMs" : 1000,
  "profiles" : [
    {
      "id" : "p1",
      "name" : "Dev"
    }
  ],
  "relaunchEmbeddedOnStart" : true,
  "stripTitleTails" : false,
  "terminalFontSize" : 13,
  "terminalTheme" : "dark",
  "tmuxPersistence" : false,
  "useITerm2PythonAPI" : false,
  "version" : 1
})");

    LayoutDoc empty;
    empty.terminalFontSize = 12.25;
    EXPECT_NE(empty.encode()->find(R"("cells" : [],)"), std::string::npos);
    EXPECT_NE(empty.encode()->find(R"("terminalFontSize" : 12.25,)"), std::string::npos);
}

TEST(LayoutDoc, StringsAreEscapedAndReadBackUnchanged)
{
    LayoutDoc doc;
    CellRecord cell;
    cell.internalId = "x";
    cell.projectLabel = std::string("q\"b\\s/n\nt\tc\x01 del\x7f 한글 \xF0\x9F\x98\x80 bad\xC3(");
    doc.cells = {cell};
    const auto bytes = doc.encode();
    ASSERT_TRUE(bytes);
    EXPECT_NE(bytes->find(R"("q\"b\\s\/n\nt\tc\u0001 del)" "\x7f"
                          " 한글 \xF0\x9F\x98\x80 bad\xEF\xBF\xBD(\""),
              std::string::npos)
        << *bytes;
    const auto back = LayoutDoc::decode(*bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->cells[0].projectLabel,
              "q\"b\\s/n\nt\tc\x01 del\x7f 한글 \xF0\x9F\x98\x80 bad\xEF\xBF\xBD(");

    LayoutDoc notFinite;
    notFinite.terminalFontSize = std::numeric_limits<double>::infinity();
    std::string error;
    EXPECT_FALSE(notFinite.encode(&error));
    EXPECT_FALSE(error.empty());
}

TEST(LayoutDoc, GridPositionsFollowTheRoundedUpSquareRoot)
{
    const std::pair<size_t, int64_t> columnCounts[] = {{0, 1}, {1, 1}, {4, 2}, {5, 3}, {9, 3}, {10, 4}};
    for (const auto& [cells, columns] : columnCounts)
        EXPECT_EQ(LayoutDoc::columnCount(cells), columns) << cells;
    LayoutDoc doc;
    doc.cells.resize(5);
    doc.assignGridPositions();
    const std::vector<std::pair<int64_t, int64_t>> expected{{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(std::make_pair(doc.cells[i].gridRow, doc.cells[i].gridCol), expected[i]);
}

TEST(LayoutDoc, DuplicateCellIdsGetFreshOnes)
{
    corvel::log::Capture log;
    const auto doc = LayoutDoc::decode(R"({"cells": [
        {"internalId": "same", "projectLabel": "first"},
        {"internalId": "other"},
        {"internalId": "same", "projectLabel": "second"},
        {"internalId": "same", "projectLabel": "third"}]})");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->cells.size(), 4u);
    EXPECT_EQ(doc->cells[0].internalId, "same");
    EXPECT_EQ(doc->cells[1].internalId, "other");
    EXPECT_EQ(doc->cells[2].projectLabel, "second");
    EXPECT_EQ(doc->cells[2].internalId.size(), 14u);
    EXPECT_EQ(doc->cells[3].internalId.size(), 14u);
    EXPECT_NE(doc->cells[2].internalId, doc->cells[3].internalId);
    EXPECT_EQ(log.count("Tilebay: "), 2u);
}

TEST(LayoutDoc, CellIdsTmuxWouldChangeGetFreshOnes)
{
    corvel::log::Capture log;
    const auto doc = LayoutDoc::decode(R"({"cells": [
        {"internalId": "a4.dot:col", "projectLabel": "dotted"},
        {"internalId": "a4pre"},
        {"internalId": "a4preLONG"},
        {"internalId": "back\\slash", "adapterKind": "iterm2", "externalRef": "w0t0p0:1"},
        {"internalId": "tab\tbed"},
        {"internalId": "a4.dot:col", "projectLabel": "again"},
        {"internalId": "cafe #1 $1"},
        {"internalId": "caf\u00e9"},
        {"internalId": "\u001b]0;pwned\u0007x"}]})");
    ASSERT_TRUE(doc);
    ASSERT_EQ(doc->cells.size(), 9u);
    EXPECT_TRUE(doc->cellIdsReplaced);
    // Ids tmux keeps stay, so the sessions of existing layouts are found.
    EXPECT_EQ(doc->cells[1].internalId, "a4pre");
    EXPECT_EQ(doc->cells[2].internalId, "a4preLONG");
    EXPECT_EQ(doc->cells[6].internalId, "cafe #1 $1");
    // The others get fresh ids of their own, and keep everything else;
    // beyond ASCII no id is sure to keep its session's name.
    std::set<std::string> fresh;
    for (const size_t i : {0, 3, 4, 5, 7, 8}) {
        const std::string& id = doc->cells[i].internalId;
        EXPECT_EQ(id.size(), 14u) << id;
        EXPECT_TRUE(TmuxSessionName::fitsCellId(id)) << id;
        fresh.insert(id);
    }
    EXPECT_EQ(fresh.size(), 6u);
    EXPECT_EQ(doc->cells[0].projectLabel, "dotted");
    EXPECT_EQ(doc->cells[5].projectLabel, "again");
    EXPECT_EQ(doc->cells[3].adapterKind, AdapterKind::iterm2);
    EXPECT_EQ(doc->cells[3].externalRef, "w0t0p0:1");
    EXPECT_EQ(log.count("Tilebay: "), 6u);
    // The replaced ids reach the log as text, their control characters
    // escaped: nothing from the file acts on the terminal that shows it.
    EXPECT_EQ(log.count("tab\\tbed -> "), 1u);
    EXPECT_EQ(log.count("\\x1B]0;pwned\\x07x -> "), 1u);
    for (const std::string& line : log.lines())
        for (const char c : line) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
}

TEST(LayoutDoc, MissingOverlongAndDuplicateIdsAreMarkedForSavingAndFittingOnesAreNot)
{
    // A record without an id, or with a null one, gets a fresh id that the
    // document must be saved with.
    for (const char* json : {R"({"cells": [{"projectLabel": "none"}]})",
                             R"({"cells": [{"internalId": null, "projectLabel": "null"}]})"}) {
        const auto doc = LayoutDoc::decode(json);
        ASSERT_TRUE(doc) << json;
        ASSERT_EQ(doc->cells.size(), 1u);
        EXPECT_EQ(doc->cells[0].internalId.size(), 14u);
        EXPECT_TRUE(doc->cellIdsReplaced) << json;
    }
    // A twin alone is enough.
    const auto twins = LayoutDoc::decode(R"({"cells": [{"internalId": "keep"}, {"internalId": "keep"}]})");
    ASSERT_TRUE(twins);
    EXPECT_TRUE(twins->cellIdsReplaced);
    // An id too long for tmux's command line is replaced; one at the limit stays.
    const std::string longest(TmuxSessionName::maxCellIdBytes, 'a');
    const auto lengths = LayoutDoc::decode(R"({"cells": [{"internalId": ")" + longest + R"("},
        {"internalId": ")" + longest + R"(b"}]})");
    ASSERT_TRUE(lengths);
    EXPECT_EQ(lengths->cells[0].internalId, longest);
    EXPECT_EQ(lengths->cells[1].internalId.size(), 14u);
    EXPECT_TRUE(lengths->cellIdsReplaced);

    const auto fitting = LayoutDoc::decode(R"({"cells": [{"internalId": "V1StGXR8_Z5jdH"}, {"internalId": "b-_"}]})");
    ASSERT_TRUE(fitting);
    EXPECT_FALSE(fitting->cellIdsReplaced);
}
