// Helpers for the tests of Kitty placements and deletion: a terminal whose
// host (a StripHost, or one derived from it) inserts images as pixel-less
// strips, and readers of the strips on its lines.
#pragma once

#include "corvel/kitty/KittyGraphicsState.h"
#include "tests/corvel/kitty/KittyGraphicsTestSupport.h"
#include "tests/corvel/support/PixelLessImageInsertion.h"
#include "corvel/platform/Base64.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvel::testing {

struct StripTerminal {
    explicit StripTerminal(TerminalOptions options = smallOptions(),
                           std::shared_ptr<StripHost> stripHost = std::make_shared<StripHost>())
        : host(std::move(stripHost)), terminal(host, options)
    {
    }
    static TerminalOptions smallOptions()
    {
        TerminalOptions options;
        options.cols = 40;
        options.rows = 10;
        options.scrollback = 100;
        return options;
    }

    void feed(std::string_view text) { terminal.feed(text); }
    void command(std::string_view keys, std::string_view payload = {}) { terminal.feed(kittyCommand(keys, payload)); }
    // Stores a blank RGBA image of width x height pixels under id `id`.
    void store(uint32_t id, int width, int height, std::string_view extra = "")
    {
        const std::vector<uint8_t> pixels(static_cast<size_t>(width * height * 4), 0x80);
        std::string keys = "a=t,f=32,q=2,i=" + std::to_string(id) + ",s=" + std::to_string(width) +
                           ",v=" + std::to_string(height);
        if (!extra.empty()) keys += "," + std::string(extra);
        command(keys, base64::encode(pixels));
    }
    // The body of the last reply (between ESC _ and ESC \), "" without one.
    std::string lastReply() const
    {
        const std::string& all = host->replies;
        const size_t start = all.rfind("\x1b_");
        if (start == std::string::npos) return {};
        const size_t end = all.find("\x1b\\", start);
        return all.substr(start + 2, end - start - 2);
    }
    std::pair<int, int> cursor() const { return {terminal.buffer().x(), terminal.buffer().y()}; }
    int64_t yBase() const { return terminal.buffer().yBase(); }

    // The Kitty strips of one placement key, by line index, in a buffer.
    std::map<int64_t, const StripImage*> strips(uint32_t imageId, std::optional<uint32_t> placementId,
                                                Buffer* buffer = nullptr)
    {
        Buffer& b = buffer ? *buffer : terminal.buffer();
        std::map<int64_t, const StripImage*> found;
        for (int64_t row = 0; row < b.lines().count(); ++row) {
            const BufferLine* line = b.peekLine(row);
            if (!line || !line->images) continue;
            for (const auto& image : *line->images) {
                const auto* strip = dynamic_cast<const StripImage*>(image.get());
                if (strip && strip->kittyIsKitty() && strip->kittyImageId() == imageId &&
                    strip->kittyPlacementId() == placementId)
                    found[row] = strip;
            }
        }
        return found;
    }
    // Line indices holding images that are not Kitty strips.
    std::set<int64_t> otherImageLines(Buffer& b)
    {
        std::set<int64_t> lines;
        for (int64_t row = 0; row < b.lines().count(); ++row) {
            const BufferLine* line = b.peekLine(row);
            if (!line || !line->images) continue;
            for (const auto& image : *line->images) {
                const auto* strip = dynamic_cast<const StripImage*>(image.get());
                if (strip && !strip->kittyIsKitty()) lines.insert(row);
            }
        }
        return lines;
    }
    bool hasRecord(uint32_t imageId, uint32_t placementId) const
    {
        return terminal.kittyGraphicsState.placementsByKey.contains({imageId, placementId});
    }
    const KittyPlacementRecord& record(uint32_t imageId, uint32_t placementId) const
    {
        return terminal.kittyGraphicsState.placementsByKey.at({imageId, placementId});
    }

    std::shared_ptr<StripHost> host;
    Terminal terminal;
};

}  // namespace corvel::testing
