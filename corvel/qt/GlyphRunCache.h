// Shaped glyphs per (font face, cell text), so redrawing a row does not shape
// its text again. A miss lays the cluster out once with Qt's text layout
// (which shapes combining marks and joined emoji and picks fallback fonts);
// the result is kept as glyph runs with positions relative to the cell's
// origin on the baseline. Clusters shown in emoji presentation are shaped
// with the colour emoji font ahead of the face's family, since the fallback
// Qt picks on its own finds a monochrome font first. ASCII clusters sit in a direct table, others in a
// hash, which is emptied when it passes maxEntriesPerFace so a long session
// of ever new text cannot grow it without bound. Owned by the view, GUI
// thread only; setFonts() when fonts change.
#pragma once

#include <QFont>
#include <QHash>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "corvel/qt/RunStyle.h"

namespace corvel::qt {

// Whether a cluster is shown as a colour emoji: its first character has
// emoji presentation (regional indicators, so flags, included), it asks for
// it with U+FE0F or it is a joined sequence holding a pictograph. U+FE0E
// (text presentation) keeps the text font.
bool hasEmojiPresentation(QStringView cluster);

class GlyphRunCache {
public:
    // The family put first for clusters in emoji presentation.
    static constexpr const char* emojiFamily = "Noto Color Emoji";

    // Glyphs of one font for one cluster; positions relative to the cell's
    // left edge on the baseline.
    struct Glyphs {
        QRawFont font;
        QVector<quint32> indexes;
        QVector<QPointF> positions;
    };
    using Entry = std::vector<Glyphs>;

    // The fonts of the four faces, indexed by FontFace.
    explicit GlyphRunCache(const std::array<QFont, 4>& faces);

    static constexpr qsizetype maxEntriesPerFace = 16384;

    // The glyphs of `cluster` in `face`; empty for text without visible
    // glyphs. The reference stays valid until the next lookup or clear().
    const Entry& glyphs(FontFace face, QStringView cluster);

    // The raw font of a face, for its metrics.
    const QRawFont& rawFont(FontFace face) const { return raw_[static_cast<size_t>(face)]; }
    const QFont& font(FontFace face) const { return faces_[static_cast<size_t>(face)]; }

    // Drops every entry (fonts or their size changed).
    void setFonts(const std::array<QFont, 4>& faces);
    void clear();

    uint64_t hits() const { return hits_; }
    uint64_t misses() const { return misses_; }
    void resetCounters() { hits_ = misses_ = 0; }

private:
    Entry shape(FontFace face, const QString& cluster) const;

    std::array<QFont, 4> faces_;
    std::array<QFont, 4> emojiFaces_;  // faces_ with the emoji family first
    std::array<QRawFont, 4> raw_;
    std::array<std::array<std::optional<Entry>, 128>, 4> ascii_;
    std::array<QHash<QString, Entry>, 4> other_;
    uint64_t hits_ = 0;
    uint64_t misses_ = 0;
};

}  // namespace corvel::qt
