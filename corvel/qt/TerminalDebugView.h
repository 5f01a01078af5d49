// A diagnostic overlay over one terminal's line ring: the cursor, the display
// and base offsets, and the text of every slot of the active buffer's ring,
// both in storage order and in logical order. The application never creates
// it; a view that has one calls refresh() after each update of its display.
//
// Line i is drawn as "[iii:sss]DB text" (i the logical index, sss the storage
// slot that holds it, D and B marking yDisp and yBase) followed by the text of
// storage slot i, and then "[iii]DB text" with the text of logical line i.
// Slots that hold no line, and logical indexes past the lines held, show
// "<empty>"; the ring is never read past its count.
//
// The font is "Lucida Sans Typewriter" at 8 points, else "Courier", else the
// system's fixed font. Owned by its parent widget; it reads the terminal,
// which must outlive it. GUI thread only.
#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;

namespace corvel {

class BufferLine;
class Terminal;

class TerminalDebugView final : public QWidget {
    Q_OBJECT
public:
    TerminalDebugView(Terminal& terminal, QWidget* parent = nullptr);

    Terminal& terminal() const { return terminal_; }
    const QFont& debugFont() const { return font_; }
    double lineHeight() const { return height_; }
    // The status line: "x: X y: Y yDisp: D yBase: B clc: C startIndex: S".
    QString statusText() const;

    // Re-reads the status line and redraws.
    void refresh();

    // One text line: the prefix (red on black when `hilight` is set, which
    // also prints "here"), then the first `cols` cells of the line as
    // characters (an empty cell as a space), or "<empty>" without a line.
    struct DebugLine {
        QString prefix;
        QString text;
        bool hilight = false;
    };
    DebugLine getDebugString(const BufferLine* line, int cols, const QString& prefix, bool hilight) const;

    // The two halves drawn for ring index `i`.
    std::pair<DebugLine, DebugLine> linesFor(int i) const;

    // The first family of `families` that is installed, at 8 points; the
    // system's fixed font at 8 points when none is.
    static QFont pickFont(const QStringList& families);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString characters(const BufferLine& line, int cols) const;

    Terminal& terminal_;
    QFont font_;
    double height_ = 0;
    QLabel* dbg_;
};

}  // namespace corvel
