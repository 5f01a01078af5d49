// Everything that survives a restart: the grid's cells in order, the settings
// and the saved profiles, as one JSON document ("layout.json").
//
// Reading is tolerant of absent keys (and nulls), which take the defaults below,
// and strict about types: a value of the wrong type, an unknown adapter kind or
// a profile without id or name makes the whole document unreadable. Appearance
// and theme are plain strings here; the store maps unknown names to `system`
// and `dark`.
#pragma once

#include "app/core/TerminalProfile.h"
#include "app/persistence/CellRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tilebay {

struct LayoutDoc {
    int64_t version = 1;  // writers put 1; readers do not check it
    std::vector<CellRecord> cells;
    int64_t pollIntervalMs = 1000;
    int64_t idleThresholdSec = 8;
    bool relaunchEmbeddedOnStart = true;
    bool absorbITerm2 = false;
    bool stripTitleTails = false;
    bool useITerm2PythonAPI = false;
    std::string appearance = "system";
    std::string terminalTheme = "dark";
    double terminalFontSize = 13.0;
    bool tmuxPersistence = false;
    std::vector<TerminalProfile> profiles;
    // Set by decode when it gave a cell a fresh id; never written. The
    // reader of such a document saves it back at once: read again, the
    // same records would get other fresh ids, and a tmux session made under
    // the first would be out of every cell's reach.
    bool cellIdsReplaced = false;

    // Decodes a document; no value when it is unreadable. A cell record without
    // an id (or with a null one), whose id an earlier record already uses, or
    // whose id is not sure to reach tmux unchanged in the cell's session name
    // (TmuxSessionName), gets a fresh one: a shared id would tie two cells to
    // one process, and a changed name would leave the cell unable to find its
    // tmux session.
    static std::optional<LayoutDoc> decode(std::string_view json);

    // The document as written to disk: UTF-8, pretty-printed with two-space
    // indentation and keys in ascending order, "/" escaped as "\/", optional
    // keys without a value left out. No value when a number is not finite
    // (JSON cannot hold it); `error` then says which.
    std::optional<std::string> encode(std::string* error = nullptr) const;

    // The column count of a grid of `cellCount` cells: 1 without cells, else
    // the square root rounded up.
    static int64_t columnCount(size_t cellCount);
    // Sets every cell's gridRow and gridCol from its index in `cells` and the
    // column count, as writers record them.
    void assignGridPositions();

    bool operator==(const LayoutDoc&) const = default;
};

}  // namespace tilebay
