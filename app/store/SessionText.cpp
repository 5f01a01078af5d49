#include "app/store/SessionText.h"

#include "corvel/platform/Regex.h"

#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>

#include <string_view>

namespace tilebay::SessionText {

namespace {

bool isHorizontalSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// The tail group: a parenthesised part without nested parentheses at the
// very end, with the white space around it. Compiled once; a compiled
// pattern is immutable and may be shared.
const corvel::Regex& titleTail()
{
    static const corvel::Regex pattern = *corvel::Regex::compile(std::string_view(R"(\s*\([^()]*\)\s*$)"));
    return pattern;
}

}  // namespace

QString trimHorizontalSpace(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin])) ++begin;
    while (end > begin && isHorizontalSpace(text[end - 1])) --end;
    return text.sliced(begin, end - begin);
}

QString cleanLabel(const QString& raw, bool stripTitleTails)
{
    QString label = raw.trimmed();
    if (stripTitleTails) {
        const std::u16string_view units(QStringView(label).utf16(), static_cast<size_t>(label.size()));
        if (const auto match = titleTail().firstMatch(units))
            label.remove(static_cast<qsizetype>(match->range.location), static_cast<qsizetype>(match->range.length));
    }
    return trimHorizontalSpace(label);
}

QString firstGraphemes(const QString& text, qsizetype count)
{
    // Every grapheme is at least one UTF-16 unit: a text this short has no more.
    if (text.size() <= count) return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++seen == count) return text.first(finder.position());
    }
    return text;
}

QString tail(const QString& text, qsizetype lines)
{
    QStringList segments = text.split(u'\n');
    if (lines < segments.size()) segments = segments.sliced(segments.size() - std::max<qsizetype>(lines, 0));
    for (QString& segment : segments) segment = firstGraphemes(segment, previewLineLength);
    return segments.join(u'\n');
}

}  // namespace tilebay::SessionText
