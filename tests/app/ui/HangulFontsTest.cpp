// Fonts of the design system: a monospaced fixed design whatever fonts the
// machine holds, and NanumGothic carrying every Hangul syllable of the fixed
// interface texts.
#include "app/core/TerminalStatus.h"
#include "app/ui/LabelEditor.h"
#include "app/ui/design/DSFont.h"
#include "app/ui/design/DSOutlineButton.h"
#include "app/ui/design/DSPrimaryButton.h"
#include "app/ui/design/ElidedLabel.h"
#include "app/ui/design/StatusLook.h"
#include "app/ui/design/SymbolButton.h"
#include "app/ui/toolbar/StatusLegend.h"
#include "app/ui/toolbar/ToolbarView.h"
#include "tests/app/ui/support/FakeToolbarStore.h"
#include "tests/app/ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QTextLayout>

#include <set>

using namespace tilebay;
using namespace tilebay::test;

namespace {

bool isHangul(char32_t c)
{
    return (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0x1100 && c <= 0x11FF) ||
           (c >= 0x3130 && c <= 0x318F);
}

// Lays the text out in the font; reports glyphs missing from their font and
// Hangul drawn by any family but NanumGothic (which is what happens without
// fonts-nanum: another font, or none, takes the syllables).
std::vector<std::string> layoutProblems(const QString& text, const QFont& font)
{
    std::vector<std::string> problems;
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    int glyphs = 0, byNanum = 0, hangul = 0;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const bool nanum = run.rawFont().familyName() == QLatin1String(kHangulFamily);
        for (quint32 index : run.glyphIndexes()) {
            ++glyphs;
            byNanum += nanum ? 1 : 0;
            if (index == 0) problems.push_back("missing glyph");
        }
    }
    for (QChar c : text) hangul += isHangul(c.unicode()) ? 1 : 0;
    if (glyphs < text.size() - text.count(u' ')) problems.push_back("characters without glyphs");
    if (byNanum < hangul) problems.push_back("Hangul drawn by another family");
    return problems;
}

// The distinct advances of the printable ASCII characters in the font.
std::set<qreal> asciiAdvances(const QFont& font)
{
    const QFontMetricsF metrics(font);
    std::set<qreal> advances;
    for (char c = 0x21; c < 0x7f; ++c) advances.insert(metrics.horizontalAdvance(QLatin1Char(c)));
    return advances;
}

}  // namespace

TEST(DesignFonts, EveryFixedKoreanTextLaysOutWithNoMissingGlyph)
{
    uiApp();
    // The fixed design is monospaced whichever face the system's fixed font
    // is, and a proportional preferred face gives way to a monospaced one;
    // NanumGothic comes next for Hangul.
    const QFont general = dsFont(13, QFont::Bold), fixed = dsFont(12, QFont::Normal, FontDesign::monospaced);
    EXPECT_EQ(asciiAdvances(fixed).size(), 1u) << QFontInfo(fixed).family().toStdString();
    EXPECT_EQ(asciiAdvances(QFont(monospacedFamily(general))).size(), 1u);
    for (const QFont& font : {general, fixed}) EXPECT_EQ(font.families().value(1), QLatin1String(kHangulFamily));

    FakeToolbarStore store;
    ToolbarView bar(store);
    bar.resize(1400, ToolbarView::kHeight);

    // Each text with the font it is drawn in.
    std::vector<std::pair<QString, QFont>> texts;
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(bar.newTerminalButton()),
                               static_cast<QAbstractButton*>(bar.profileButton()),
                               static_cast<QAbstractButton*>(bar.importButton()),
                               static_cast<QAbstractButton*>(bar.broadcastButton()),
                               static_cast<QAbstractButton*>(bar.settingsButton())}) {
        texts.emplace_back(b->text(), b->font());
        texts.emplace_back(b->toolTip(), dsFont(12));
    }
    texts.emplace_back(bar.cellCountLabel()->text(), bar.cellCountLabel()->font());
    texts.emplace_back(bar.pollReadout()->text(), bar.pollReadout()->font());
    for (TerminalStatus s : allTerminalStatuses)
        texts.emplace_back(statusLook(s).tag, bar.legend()->font());
    LabelEditor editor(QString(), {}, {});
    texts.emplace_back(editor.placeholderText(), editor.font());

    int hangul = 0;
    for (const auto& [text, font] : texts) {
        SCOPED_TRACE(text.toStdString());
        for (QChar c : text) hangul += isHangul(c.unicode()) ? 1 : 0;
        EXPECT_EQ(layoutProblems(text, font), std::vector<std::string>{});
    }
    EXPECT_GT(hangul, 30);  // the texts above really are Korean
}
