// Frame records: appending rows, a row's buffers, the head hash.
#include "corvel/gl/DrawData.h"

#include <algorithm>

namespace corvel::gl {

void RowDrawData::append(const RowDrawData& row)
{
    const auto add = [](auto& to, const auto& from) { to.insert(to.end(), from.begin(), from.end()); };
    add(backgroundCells, row.backgroundCells);
    add(glyphCellsGray, row.glyphCellsGray);
    add(glyphCellsColor, row.glyphCellsColor);
    add(decorationCells, row.decorationCells);
    add(underImageDraws, row.underImageDraws);
    add(placeholderImageDraws, row.placeholderImageDraws);
    add(overImageDraws, row.overImageDraws);
    add(otherImageDraws, row.otherImageDraws);
}

RowDrawBuffers::~RowDrawBuffers()
{
    for (GpuHandle b : {backgroundBuffer, glyphGrayBuffer, glyphColorBuffer, decorationBuffer})
        if (b) device_->deleteBuffer(b);
    for (auto* list : {&underImageBuffers, &placeholderImageBuffers, &overImageBuffers, &otherImageBuffers})
        for (const ImageDrawBuffer& image : *list) device_->deleteBuffer(image.buffer);
}

int RowDrawBuffers::bufferCount() const
{
    int count = 0;
    for (GpuHandle b : {backgroundBuffer, glyphGrayBuffer, glyphColorBuffer, decorationBuffer}) count += b != 0;
    for (auto* list : {&underImageBuffers, &placeholderImageBuffers, &overImageBuffers, &otherImageBuffers})
        count += static_cast<int>(list->size());
    return count;
}

bool allOpaque(const std::vector<ColorCell>& cells)
{
    return std::all_of(cells.begin(), cells.end(), [](const ColorCell& c) { return c.color.a >= 1.0f; });
}

std::uint32_t hashBytes(const std::uint8_t* bytes, std::size_t size, std::size_t limit)
{
    std::uint32_t hash = 2166136261u;
    const std::size_t n = std::min(size, limit);
    for (std::size_t i = 0; i < n; ++i) {
        hash ^= bytes[i];
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace corvel::gl
