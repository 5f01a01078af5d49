#include "app/persistence/LayoutDoc.h"

#include "app/core/AppLog.h"
#include "app/core/NanoID.h"
#include "app/persistence/JsonWriter.h"
#include "app/persistence/TmuxSessionName.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <unordered_set>

namespace tilebay {

namespace {

using nlohmann::json;

// Reading rules shared by every key: an absent key or a null leaves the
// default in place; a present value of the wrong type fails the whole document.

const json* field(const json& object, const char* key)
{
    const auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

bool readInt(const json& object, const char* key, int64_t& out)
{
    const json* v = field(object, key);
    if (!v) return true;
    if (v->is_number_integer() && !v->is_number_unsigned()) {
        out = v->get<int64_t>();
        return true;
    }
    if (v->is_number_unsigned()) {
        const auto u = v->get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
        out = static_cast<int64_t>(u);
        return true;
    }
    if (v->is_number_float()) {
        // A number written with a fraction part is an integer only when it is
        // exactly one (1000.0, 1e3) and fits.
        const double d = v->get<double>();
        if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0 ||
            d >= 9223372036854775808.0)
            return false;
        out = static_cast<int64_t>(d);
        return true;
    }
    return false;
}

bool readDouble(const json& object, const char* key, double& out)
{
    const json* v = field(object, key);
    if (!v) return true;
    if (!v->is_number()) return false;
    out = v->get<double>();
    return true;
}

bool readBool(const json& object, const char* key, bool& out)
{
    const json* v = field(object, key);
    if (!v) return true;
    if (!v->is_boolean()) return false;
    out = v->get<bool>();
    return true;
}

bool readString(const json& object, const char* key, std::string& out)
{
    const json* v = field(object, key);
    if (!v) return true;
    if (!v->is_string()) return false;
    out = v->get<std::string>();
    return true;
}

bool readOptionalString(const json& object, const char* key, std::optional<std::string>& out)
{
    const json* v = field(object, key);
    if (!v) return true;
    if (!v->is_string()) return false;
    out = v->get<std::string>();
    return true;
}

bool readRequiredString(const json& object, const char* key, std::string& out)
{
    return field(object, key) && readString(object, key, out);
}

// A record without an id (or with a null one) gets a fresh id, and
// `freshId` is set: the document must then be saved with it.
std::optional<CellRecord> decodeCell(const json& object, bool& freshId)
{
    if (!object.is_object()) return std::nullopt;
    CellRecord cell;
    std::optional<std::string> id;
    if (!readOptionalString(object, "internalId", id)) return std::nullopt;
    if (const json* kind = field(object, "adapterKind")) {
        if (!kind->is_string()) return std::nullopt;
        const auto parsed = adapterKindFromString(kind->get_ref<const std::string&>());
        if (!parsed) return std::nullopt;
        cell.adapterKind = *parsed;
    }
    if (!readOptionalString(object, "externalRef", cell.externalRef) ||
        !readInt(object, "gridRow", cell.gridRow) || !readInt(object, "gridCol", cell.gridCol) ||
        !readString(object, "projectLabel", cell.projectLabel) ||
        !readBool(object, "labelLockedByUser", cell.labelLockedByUser) ||
        !readOptionalString(object, "cwd", cell.cwd) ||
        !readOptionalString(object, "startCommand", cell.startCommand))
        return std::nullopt;
    if (id) {
        cell.internalId = std::move(*id);
    } else {
        cell.internalId = NanoID::make(14);
        freshId = true;
    }
    return cell;
}

std::optional<TerminalProfile> decodeProfile(const json& object)
{
    if (!object.is_object()) return std::nullopt;
    TerminalProfile profile;
    if (!readRequiredString(object, "id", profile.id) ||
        !readRequiredString(object, "name", profile.name) ||
        !readOptionalString(object, "cwd", profile.cwd) ||
        !readOptionalString(object, "startCommand", profile.startCommand))
        return std::nullopt;
    return profile;
}

template <typename T, typename Decode>
bool readArray(const json& object, const char* key, std::vector<T>& out, Decode decode)
{
    const json* v = field(object, key);
    if (!v) return true;
    if (!v->is_array()) return false;
    out.reserve(v->size());
    for (const auto& item : *v) {
        auto decoded = decode(item);
        if (!decoded) return false;
        out.push_back(std::move(*decoded));
    }
    return true;
}

// Gives every record after the first that uses an id a fresh one, so that no
// two cells (and later no two processes or tmux sessions) share an id; and a
// fresh one to every record whose id is not sure to reach tmux unchanged in
// its session's name, since that cell could never find its session again.
// Fresh ids are made of letters, digits, '_' and '-', which tmux keeps.
// Tells whether any id was replaced.
bool makeIdsUsable(std::vector<CellRecord>& cells)
{
    bool replaced = false;
    std::unordered_set<std::string> seen;
    for (auto& cell : cells) {
        const bool fits = TmuxSessionName::fitsCellId(cell.internalId);
        if (fits && seen.insert(cell.internalId).second) continue;
        std::string fresh;
        do {
            fresh = NanoID::make(14);
        } while (seen.count(fresh));
        logFailure(fits ? "layout 셀 id 중복, 새 id 부여" : "layout 셀 id를 tmux 세션 이름에 쓸 수 없음, 새 id 부여",
                   cell.internalId + " -> " + fresh);
        cell.internalId = fresh;
        seen.insert(fresh);
        replaced = true;
    }
    return replaced;
}

void putOptional(json& object, const char* key, const std::optional<std::string>& value)
{
    if (value) object[key] = *value;
}

}  // namespace

std::optional<LayoutDoc> LayoutDoc::decode(std::string_view text)
{
    const json root = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (!root.is_object()) return std::nullopt;
    LayoutDoc doc;
    bool freshIds = false;
    const auto cell = [&freshIds](const json& object) { return decodeCell(object, freshIds); };
    if (!readInt(root, "version", doc.version) ||
        !readArray(root, "cells", doc.cells, cell) ||
        !readInt(root, "pollIntervalMs", doc.pollIntervalMs) ||
        !readInt(root, "idleThresholdSec", doc.idleThresholdSec) ||
        !readBool(root, "relaunchEmbeddedOnStart", doc.relaunchEmbeddedOnStart) ||
        !readBool(root, "absorbITerm2", doc.absorbITerm2) ||
        !readBool(root, "stripTitleTails", doc.stripTitleTails) ||
        !readBool(root, "useITerm2PythonAPI", doc.useITerm2PythonAPI) ||
        !readString(root, "appearance", doc.appearance) ||
        !readString(root, "terminalTheme", doc.terminalTheme) ||
        !readDouble(root, "terminalFontSize", doc.terminalFontSize) ||
        !readBool(root, "tmuxPersistence", doc.tmuxPersistence) ||
        !readArray(root, "profiles", doc.profiles, decodeProfile))
        return std::nullopt;
    const bool replaced = makeIdsUsable(doc.cells);
    doc.cellIdsReplaced = freshIds || replaced;
    return doc;
}

std::optional<std::string> LayoutDoc::encode(std::string* error) const
{
    json cellArray = json::array();
    for (const auto& cell : cells) {
        json object = json::object();
        object["internalId"] = cell.internalId;
        object["adapterKind"] = std::string(toString(cell.adapterKind));
        putOptional(object, "externalRef", cell.externalRef);
        object["gridRow"] = cell.gridRow;
        object["gridCol"] = cell.gridCol;
        object["projectLabel"] = cell.projectLabel;
        object["labelLockedByUser"] = cell.labelLockedByUser;
        putOptional(object, "cwd", cell.cwd);
        putOptional(object, "startCommand", cell.startCommand);
        cellArray.push_back(std::move(object));
    }
    json profileArray = json::array();
    for (const auto& profile : profiles) {
        json object = json::object();
        object["id"] = profile.id;
        object["name"] = profile.name;
        putOptional(object, "cwd", profile.cwd);
        putOptional(object, "startCommand", profile.startCommand);
        profileArray.push_back(std::move(object));
    }
    json root = json::object();
    root["version"] = version;
    root["cells"] = std::move(cellArray);
    root["pollIntervalMs"] = pollIntervalMs;
    root["idleThresholdSec"] = idleThresholdSec;
    root["relaunchEmbeddedOnStart"] = relaunchEmbeddedOnStart;
    root["absorbITerm2"] = absorbITerm2;
    root["stripTitleTails"] = stripTitleTails;
    root["useITerm2PythonAPI"] = useITerm2PythonAPI;
    root["appearance"] = appearance;
    root["terminalTheme"] = terminalTheme;
    root["terminalFontSize"] = terminalFontSize;
    root["tmuxPersistence"] = tmuxPersistence;
    root["profiles"] = std::move(profileArray);
    return JsonWriter::prettySorted(root, error);
}

int64_t LayoutDoc::columnCount(size_t cellCount)
{
    if (cellCount == 0) return 1;
    auto columns = static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(cellCount))));
    // Guard the floating-point root against rounding either way.
    while (columns > 1 && static_cast<uint64_t>((columns - 1) * (columns - 1)) >= cellCount)
        --columns;
    while (static_cast<uint64_t>(columns * columns) < cellCount) ++columns;
    return columns;
}

void LayoutDoc::assignGridPositions()
{
    const int64_t columns = columnCount(cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        cells[i].gridRow = static_cast<int64_t>(i) / columns;
        cells[i].gridCol = static_cast<int64_t>(i) % columns;
    }
}

}  // namespace tilebay
