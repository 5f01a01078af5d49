// Shaping a cluster: one QTextLayout line, its glyph runs moved so that the
// origin is the left edge on the baseline.
#include "corvel/qt/GlyphRunCache.h"

#include "corvel/platform/Unicode.h"

#include <QGlyphRun>
#include <QTextLayout>

namespace corvel::qt {

bool hasEmojiPresentation(QStringView cluster)
{
    bool first = true;
    bool joined = false;
    bool pictograph = false;
    bool firstPresentsAsEmoji = false;
    for (const char32_t c : cluster.toUcs4()) {
        if (c == 0xFE0E) return false;
        if (c == 0xFE0F) return true;
        if (first) firstPresentsAsEmoji = unicode::isEmojiPresentation(c);
        first = false;
        joined = joined || c == 0x200D;
        pictograph = pictograph || unicode::isExtendedPictographic(c);
    }
    return firstPresentsAsEmoji || (joined && pictograph);
}

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
        emojiFaces_[i] = faces_[i];
        QStringList families = faces_[i].families();
        if (families.isEmpty()) families.append(faces_[i].family());
        families.prepend(QString::fromLatin1(emojiFamily));
        emojiFaces_[i].setFamilies(families);
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
    const auto f = static_cast<size_t>(face);
    QTextLayout layout(cluster, hasEmojiPresentation(cluster) ? emojiFaces_[f] : faces_[f]);
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
