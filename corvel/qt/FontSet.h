// The four faces a terminal view draws with, derived from one font, and the
// rule that picks a face for a cell's bold and italic bits.
#pragma once

#include <QFont>

namespace corvel {

struct FontSet {
    QFont normal;
    QFont bold;
    QFont italic;
    QFont boldItalic;

    static FontSet from(const QFont& font)
    {
        FontSet set{font, font, font, font};
        set.bold.setBold(true);
        set.italic.setItalic(true);
        set.boldItalic.setBold(true);
        set.boldItalic.setItalic(true);
        return set;
    }

    const QFont& face(bool isBold, bool isItalic) const
    {
        if (isBold) return isItalic ? boldItalic : bold;
        return isItalic ? italic : normal;
    }
};

}  // namespace corvel
