// Shaping a cluster: one QTextLayout line, its glyph runs moved so that the
// origin is the left edge on the baseline.
#include "corvel/qt/GlyphRunCache.h"

#include <QGlyphRun>
#include <QTextLayout>

namespace corvel::qt {

GlyphRunCache::GlyphRunCache(const std::array<QFont, 4>& faces)
{
    setFonts(faces);
}

void GlyphRunCache::setFonts(const std::array<QFont, 4>& faces)
{
    faces_ = faces;
    for (size_t i = 0; i < faces_.size(); ++i) {
        // Cells are placed by the grid; kerning between clusters never applies.
        faces_[i].setKerning(false);
        raw_[i] = QRawFont::fromFont(faces_[i]);
    }
    clear();
}

void GlyphRunCache::clear()
{
    for (auto& table : ascii_) table.fill(std::nullopt);
    for (auto& hash : other_) hash.clear();
}

const GlyphRunCache::Entry& GlyphRunCache::glyphs(FontFace face, QStringView cluster)
{
    const auto f = static_cast<size_t>(face);
    if (cluster.size() == 1 && cluster[0].unicode() < 128) {
        auto& slot = ascii_[f][cluster[0].unicode()];
        if (slot) {
            ++hits_;
            return *slot;
        }
        ++misses_;
        slot = shape(face, cluster.toString());
        return *slot;
    }
    const QString key = cluster.toString();
    auto found = other_[f].constFind(key);
    if (found != other_[f].constEnd()) {
        ++hits_;
        return *found;
    }
    ++misses_;
    if (other_[f].size() >= maxEntriesPerFace) other_[f].clear();
    return *other_[f].insert(key, shape(face, key));
}

GlyphRunCache::Entry GlyphRunCache::shape(FontFace face, const QString& cluster) const
{
    Entry entry;
    if (cluster.isEmpty() || cluster == QLatin1String(" ")) return entry;
    QTextLayout layout(cluster, faces_[static_cast<size_t>(face)]);
    layout.setCacheEnabled(false);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid()) return entry;
    const qreal ascent = line.ascent();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        Glyphs g;
        g.font = run.rawFont();
        g.indexes = run.glyphIndexes();
        g.positions = run.positions();
        for (QPointF& p : g.positions) p.ry() -= ascent;
        if (!g.indexes.isEmpty()) entry.push_back(std::move(g));
    }
    return entry;
}

}  // namespace corvel::qt
