// Where the layout document lives and how it is written and read.
//
// The folder is "$XDG_DATA_HOME/Tilebay" ("~/.local/share/Tilebay" when
// XDG_DATA_HOME is unset or empty); the iTerm2 helper's Python environment
// ("venv/bin/python") lives there too. Saving writes the whole document to a
// temporary file in that folder, flushes it to disk and renames it over
// "layout.json", so a reader never sees a half-written file and a failed save
// leaves the previous file as it was. Failures are logged, never raised.
#pragma once

#include "app/persistence/LayoutDoc.h"

#include <filesystem>
#include <optional>

namespace tilebay {

class LayoutStore {
public:
    LayoutStore() = default;

    // The folder; reading it does not create it.
    static std::filesystem::path directory();
    static std::filesystem::path filePath();  // directory() / "layout.json"

    // Writes `doc` atomically; logs "Tilebay: layout 저장 실패 — <reason>" on
    // failure and keeps the previous file.
    void save(const LayoutDoc& doc) const;

    // Reads and decodes "layout.json". No value when it is missing or
    // unreadable; nothing is logged for a missing file. A file that exists but
    // cannot be read or decoded is first renamed aside to
    // "layout.json.unreadable-<UTC time>" (and that is logged), so the next save
    // cannot overwrite it; a later read then finds no file, as on a first start.
    std::optional<LayoutDoc> load() const;
};

}  // namespace tilebay
