// The text rules of iTerm2 cells: a session name cleaned into a label, and the
// preview made of a session's last lines. Stateless; any thread.
#pragma once

#include <QString>

namespace tilebay::SessionText {

// The longest preview line, in user-perceived characters (grapheme clusters).
inline constexpr qsizetype previewLineLength = 160;
// How many of a session's last lines its preview keeps.
inline constexpr qsizetype previewLineCount = 24;

// `raw` trimmed of white space and line breaks; with `stripTitleTails`, one
// parenthesised group without nested parentheses at the very end is removed
// together with the white space around it; then trimmed of white space (tabs
// and space separators) again.
QString cleanLabel(const QString& raw, bool stripTitleTails);

// The last `lines` segments of `text` split at every line feed (empty segments
// kept, so a trailing line feed gives an empty last line), each cut to its
// first previewLineLength grapheme clusters, joined by line feeds.
QString tail(const QString& text, qsizetype lines);

// `text` cut to its first `count` grapheme clusters.
QString firstGraphemes(const QString& text, qsizetype count);

// Trims tabs and space separators, not line breaks, from both ends.
QString trimHorizontalSpace(const QString& text);

}  // namespace tilebay::SessionText
