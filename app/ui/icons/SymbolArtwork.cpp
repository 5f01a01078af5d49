#include "app/ui/icons/SymbolArtwork.h"

#include <array>

namespace tilebay {

namespace {

struct Entry {
    const char* name;
    const char* body;    // SVG elements, stroked by default
    const char* cutout;  // SVG elements removed from the ink, or nullptr
};

// Shapes shared by several symbols.
#define TB_RING "<circle cx='12' cy='12' r='9'/>"
#define TB_FRAME "<rect x='3' y='5' width='18' height='14' rx='2.5'/>"
#define TB_DOT(x, y) "<circle cx='" #x "' cy='" #y "' r='1.2' fill='#000' stroke='none'/>"

constexpr std::array<Entry, 34> kEntries{{
    {"plus", "<path d='M12 5v14M5 12h14'/>", nullptr},
    {"xmark", "<path d='M6.5 6.5l11 11M17.5 6.5l-11 11'/>", nullptr},
    {"circle", TB_RING, nullptr},
    {"plus.circle", TB_RING "<path d='M12 8v8M8 12h8'/>", nullptr},
    {"play.circle", TB_RING "<path d='M10 8.3L15.8 12L10 15.7Z' fill='#000' stroke-width='1.2'/>",
     nullptr},
    {"pause.circle", TB_RING "<path d='M10 8.8v6.4M14 8.8v6.4' stroke-width='2'/>", nullptr},
    {"exclamationmark.circle", TB_RING "<path d='M12 7.3v5.6' stroke-width='2'/>" TB_DOT(12, 16.4),
     nullptr},
    {"questionmark.circle",
     TB_RING "<path d='M9.6 9.6a2.5 2.5 0 1 1 3.6 2.2c-.8.4-1.2.9-1.2 1.7v.4' stroke-width='1.9'/>"
             TB_DOT(12, 16.6),
     nullptr},
    {"checkmark.circle.fill", "<circle cx='12' cy='12' r='9.8' fill='#000' stroke='none'/>",
     "<path d='M7.8 12.3l2.9 2.9 5.6-6.2' stroke-width='2.2'/>"},
    {"chevron.up", "<path d='M6 15l6-6 6 6'/>", nullptr},
    {"chevron.down", "<path d='M6 9l6 6 6-6'/>", nullptr},
    {"chevron.right", "<path d='M9 6l6 6-6 6'/>", nullptr},
    {"magnifyingglass", "<circle cx='10.5' cy='10.5' r='6.3'/><path d='M15.2 15.2l5.3 5.3'/>",
     nullptr},
    {"gearshape",
     "<circle cx='12' cy='12' r='6.4'/><circle cx='12' cy='12' r='2.3'/>"
     "<path stroke-width='2.8' stroke-linecap='butt' d='M17.91 14.45L20.59 15.56M14.45 17.91"
     "L15.56 20.59M9.55 17.91L8.44 20.59M6.09 14.45L3.41 15.56M6.09 9.55L3.41 8.44M9.55 6.09"
     "L8.44 3.41M14.45 6.09L15.56 3.41M17.91 9.55L20.59 8.44'/>",
     nullptr},
    {"timer", "<circle cx='12' cy='13.5' r='7.8'/><path d='M12 13.5V9.2M9.5 2.8h5M12 2.8v2.9'/>",
     nullptr},
    {"terminal",
     "<rect x='2.8' y='4' width='18.4' height='16' rx='2.5'/><path d='M7 9.5l3 2.7-3 2.7M12.5 15h4.5'/>",
     nullptr},
    {"trash",
     "<path d='M4 6.8h16M9.3 6.8V4.6h5.4v2.2M6 6.8l1 13.2h10l1-13.2M10.2 10.5v6M13.8 10.5v6'/>",
     nullptr},
    {"eject",
     "<path d='M12 4.5L19.5 13.5H4.5Z' fill='#000' stroke-width='1.2'/>"
     "<rect x='4.5' y='16' width='15' height='2.8' rx='.6' fill='#000' stroke='none'/>",
     nullptr},
    {"bolt", "<path d='M13.5 2.5L5 13.5h6.5L10.5 21.5L19 10.5h-6.5Z'/>", nullptr},
    {"return", "<path d='M19 5v6.5a3 3 0 0 1-3 3H5.5M9.5 10.5l-4 4 4 4'/>", nullptr},
    {"arrow.clockwise", "<path d='M19.2 12.8A7.3 7.3 0 1 1 17.2 6.9M18.6 3.4v4.2h-4.2'/>", nullptr},
    {"rectangle.on.rectangle",
     "<rect x='3' y='8.5' width='13.5' height='11.5' rx='2'/>"
     "<path d='M7.5 8.5V6a2 2 0 0 1 2-2H19a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2h-2.5'/>",
     nullptr},
    {"plus.rectangle.on.rectangle",
     "<rect x='3' y='8.5' width='13.5' height='11.5' rx='2'/>"
     "<path d='M7.5 8.5V6a2 2 0 0 1 2-2H19a2 2 0 0 1 2 2v8a2 2 0 0 1-2 2h-2.5'/>"
     "<path d='M9.75 11.3v6M6.75 14.3h6'/>",
     nullptr},
    {"square.stack.3d.up",
     "<path d='M12 3l8.5 4.5L12 12 3.5 7.5Z'/><path d='M3.5 12L12 16.5 20.5 12'/>"
     "<path d='M3.5 16.5L12 21l8.5-4.5'/>",
     nullptr},
    {"rectangle.grid.3x2", TB_FRAME "<path d='M9 5v14M15 5v14M3 12h18'/>", nullptr},
    {"square.grid.2x2",
     "<rect x='3.5' y='3.5' width='7.2' height='7.2' rx='1.6'/>"
     "<rect x='13.3' y='3.5' width='7.2' height='7.2' rx='1.6'/>"
     "<rect x='3.5' y='13.3' width='7.2' height='7.2' rx='1.6'/>"
     "<rect x='13.3' y='13.3' width='7.2' height='7.2' rx='1.6'/>",
     nullptr},
    {"circle.grid.cross",
     "<circle cx='12' cy='12' r='2.6'/><circle cx='12' cy='4.8' r='2.6'/>"
     "<circle cx='12' cy='19.2' r='2.6'/><circle cx='4.8' cy='12' r='2.6'/>"
     "<circle cx='19.2' cy='12' r='2.6'/>",
     nullptr},
    {"rectangle.split.2x1", TB_FRAME "<path d='M12 5v14'/>", nullptr},
    {"minus.rectangle", TB_FRAME "<path d='M8 12h8'/>", nullptr},
    {"dot.radiowaves.left.and.right",
     "<circle cx='12' cy='12' r='1.9' fill='#000' stroke='none'/>"
     "<path d='M8.6 8.4a5 5 0 0 0 0 7.2M15.4 8.4a5 5 0 0 1 0 7.2"
     "M5.7 5.5a9.2 9.2 0 0 0 0 13M18.3 5.5a9.2 9.2 0 0 1 0 13'/>",
     nullptr},
    {"arrow.up.left.and.arrow.down.right",
     "<path d='M4 10V4h6M4 4l6.5 6.5M20 14v6h-6M20 20l-6.5-6.5'/>", nullptr},
    {"arrow.down.right.and.arrow.up.left",
     "<path d='M4 4l6 6M10.5 4.8v5.7H4.8M20 20l-6-6M13.5 19.2v-5.7h5.7'/>", nullptr},
    {"arrow.up.left.and.down.right.and.arrow.up.right.and.down.left",
     "<path d='M4 9V4h5M4 4l5 5M15 4h5v5M20 4l-5 5M20 15v5h-5M20 20l-5-5M9 20H4v-5M4 20l5-5'/>",
     nullptr},
    {"arrow.up.forward.app",
     "<path d='M11 4H7a3 3 0 0 0-3 3v10a3 3 0 0 0 3 3h10a3 3 0 0 0 3-3v-4'/>"
     "<path d='M14 4h6v6M20 4l-8.5 8.5'/>",
     nullptr},
}};

#undef TB_RING
#undef TB_FRAME
#undef TB_DOT

QByteArray document(const char* body)
{
    QByteArray svg(
        "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 24 24' width='24' height='24' "
        "fill='none' stroke='#000' stroke-width='1.8' stroke-linecap='round' "
        "stroke-linejoin='round'>");
    svg += body;
    svg += "</svg>";
    return svg;
}

}  // namespace

std::optional<SymbolArtwork> symbolArtwork(QStringView name)
{
    for (const Entry& e : kEntries) {
        if (name == QLatin1String(e.name))
            return SymbolArtwork{document(e.body),
                                 e.cutout ? document(e.cutout) : QByteArray()};
    }
    return std::nullopt;
}

const QStringList& symbolNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const Entry& e : kEntries) list << QString::fromLatin1(e.name);
        return list;
    }();
    return names;
}

}  // namespace tilebay
