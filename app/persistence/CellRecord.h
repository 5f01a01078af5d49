// One grid cell as the layout document stores it. The defaults are what a
// reader takes for an absent key (the id is then a fresh one, made by the reader).
#pragma once

#include "app/core/AdapterKind.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tilebay {

struct CellRecord {
    std::string internalId;  // the cell's TerminalSession id
    AdapterKind adapterKind = AdapterKind::embedded;
    std::optional<std::string> externalRef;  // the iTerm2 session's unique id
    // Where the cell stood when the document was written; readers restore the
    // order of the "cells" array and ignore these.
    int64_t gridRow = 0;
    int64_t gridCol = 0;
    std::string projectLabel = "Untitled";
    bool labelLockedByUser = false;
    std::optional<std::string> cwd;
    std::optional<std::string> startCommand;

    bool operator==(const CellRecord&) const = default;
};

}  // namespace tilebay
