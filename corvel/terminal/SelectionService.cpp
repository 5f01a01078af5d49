// Selection rules over the displayed buffer. See SelectionService.h.
#include "corvel/terminal/SelectionService.h"

#include "corvel/screen/Buffer.h"
#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Unicode.h"
#include "corvel/platform/Utf8.h"

#include <algorithm>
#include <vector>

namespace corvel {

namespace {

bool before(const Position& a, const Position& b)
{
    return Position::compare(a, b) == Position::compareResult::before;
}

bool after(const Position& a, const Position& b)
{
    return Position::compare(a, b) == Position::compareResult::after;
}

}  // namespace

SelectionService::SelectionService(Terminal& terminal) : terminal_(terminal) {}

Buffer& SelectionService::displayBuffer() const
{
    return terminal_.displayBuffer();
}

void SelectionService::notify()
{
    terminal_.withDelegate([this](TerminalDelegate& host) { host.selectionChanged(terminal_); });
}

void SelectionService::setActive(bool value)
{
    if (!value) pivot_.reset();
    if (value == active_) return;
    active_ = value;
    notify();
}

bool SelectionService::isWordCharacter(char32_t scalar)
{
    if (scalar == U'.' || scalar == U'_' || scalar == U'-') return true;
    using unicode::GeneralCategory;
    switch (unicode::generalCategory(scalar)) {
    case GeneralCategory::UppercaseLetter:
    case GeneralCategory::LowercaseLetter:
    case GeneralCategory::TitlecaseLetter:
    case GeneralCategory::ModifierLetter:
    case GeneralCategory::OtherLetter:
    case GeneralCategory::DecimalNumber:
    case GeneralCategory::LetterNumber:
    case GeneralCategory::OtherNumber: return true;
    default: return false;
    }
}

SelectionService::CharClass SelectionService::classify(char32_t scalar)
{
    if (scalar == 0) return CharClass::null;
    if (scalar == U' ') return CharClass::space;
    // Only a letter or number starts a word run; a lone "." or "-" does not.
    if (scalar != U'.' && scalar != U'_' && scalar != U'-' && isWordCharacter(scalar)) return CharClass::word;
    return CharClass::other;
}

char32_t SelectionService::scalarAt(Buffer& buffer, Position at) const
{
    CharData cell = buffer.getCharAtBufferRelative(at);
    // The spacer cell after a wide character stands for that character, so
    // a run of wide letters is one word whichever half is clicked.
    if (cell.code == 0 && cell.width == 0 && at.col > 0) {
        const CharData left = buffer.getCharAtBufferRelative({at.col - 1, at.row});
        if (left.width == 2) cell = left;
    }
    if (cell.code == 0) return 0;
    const std::string text = terminal_.character(cell.code);
    if (text.empty()) return 0;
    return utf8::decodeNext(utf8::bytesOf(text), 0).scalar;
}

void SelectionService::setSelection(Position start, Position end)
{
    Buffer& buffer = displayBuffer();
    const int maxCol = buffer.cols() - 1;
    const int maxRow = static_cast<int>(std::max<int64_t>(buffer.lines().count() - 1, 0));
    start.col = std::min(start.col, maxCol);
    end.col = std::min(end.col, maxCol);
    start.row = std::min(start.row, maxRow);
    end.row = std::min(end.row, maxRow);
    start_ = start;
    end_ = end;
    hasSelectionRange_ = start_ != end_;
    active_ = true;
    notify();
}

void SelectionService::startSelection()
{
    end_ = start_;
    selectingRows_ = false;
    selectionMode_ = SelectionMode::character;
    active_ = true;
    hasSelectionRange_ = false;
    notify();
}

void SelectionService::setSoftStart(Position bufferPosition)
{
    start_ = bufferPosition;
    end_ = bufferPosition;
    active_ = true;
    hasSelectionRange_ = false;
    notify();
}

Position SelectionService::snapToWordBoundary(Position position)
{
    Buffer& buffer = displayBuffer();
    const bool backward = before(position, start_);
    const CharClass cls = classify(scalarAt(buffer, position));
    auto member = [&](char32_t scalar) {
        switch (cls) {
        case CharClass::null: return scalar == 0;
        case CharClass::space: return scalar == U' ';
        case CharClass::word: return isWordCharacter(scalar);
        case CharClass::other: return false;
        }
        return false;
    };
    if (cls == CharClass::other) return position;
    if (backward) {
        while (position.col > 0 && member(scalarAt(buffer, {position.col - 1, position.row}))) --position.col;
    } else {
        const int cols = terminal_.cols();
        while (position.col < cols && member(scalarAt(buffer, position))) ++position.col;
    }
    return position;
}

void SelectionService::shiftExtend(Position bufferPosition)
{
    if (selectionMode_ == SelectionMode::word) bufferPosition = snapToWordBoundary(bufferPosition);
    const bool forward = before(start_, end_);
    const bool backward = before(end_, start_);
    if ((forward && before(bufferPosition, start_)) || (backward && after(bufferPosition, start_))) {
        start_ = end_;
    }
    end_ = bufferPosition;
    hasSelectionRange_ = start_ != end_;
    active_ = true;
    notify();
}

void SelectionService::dragExtend(Position bufferPosition)
{
    if (selectionMode_ == SelectionMode::word) bufferPosition = snapToWordBoundary(bufferPosition);
    end_ = bufferPosition;
    hasSelectionRange_ = start_ != end_;
    active_ = true;
    notify();
}

void SelectionService::selectAll()
{
    start_ = Position{0, 0};
    const auto capacity = displayBuffer().lines().maxLength();
    end_ = Position{terminal_.cols() - 1, static_cast<int>(capacity - 1)};
    hasSelectionRange_ = start_ != end_;
    active_ = true;
    notify();
}

void SelectionService::select(int row)
{
    start_ = Position{0, row};
    end_ = Position{terminal_.cols() - 1, row};
    hasSelectionRange_ = start_ != end_;
    selectingRows_ = true;
    selectionMode_ = SelectionMode::row;
    active_ = true;
    notify();
}

void SelectionService::selectWordOrExpression(Position at, Buffer& buffer)
{
    const int cols = terminal_.cols();
    at.col = std::clamp(at.col, 0, cols);
    at.row = std::max(at.row, 0);
    const char32_t scalar = scalarAt(buffer, at);
    const CharClass cls = classify(scalar);
    if (cls != CharClass::other) {
        auto member = [&](char32_t each) {
            switch (cls) {
            case CharClass::null: return each == 0;
            case CharClass::space: return each == U' ';
            case CharClass::word: return isWordCharacter(each);
            case CharClass::other: return false;
            }
            return false;
        };
        int left = at.col;
        while (left > 0 && member(scalarAt(buffer, {left - 1, at.row}))) --left;
        int right = at.col;
        while (right < cols && member(scalarAt(buffer, {right, at.row}))) ++right;
        start_ = Position{left, at.row};
        end_ = Position{right, at.row};
        hasSelectionRange_ = left != right;
    } else if (scalar == U'(' || scalar == U'[' || scalar == U'{') {
        balancedSearchForward(at, buffer);
    } else if (scalar == U')' || scalar == U']' || scalar == U'}') {
        balancedSearchBackward(at, buffer);
    } else {
        start_ = at;
        end_ = at;
        hasSelectionRange_ = false;
    }
    selectionMode_ = SelectionMode::word;
    active_ = true;
    notify();
}

void SelectionService::balancedSearchForward(Position from, Buffer& buffer)
{
    start_ = from;
    const int limit = buffer.yDisp() + buffer.rows();
    if (from.row >= limit) return;
    const int cols = buffer.cols();
    std::vector<char32_t> expected;
    Position at = from;
    while (at.row < limit) {
        for (; at.col < cols; ++at.col) {
            const char32_t scalar = scalarAt(buffer, at);
            if (scalar == U'(') {
                expected.push_back(U')');
            } else if (scalar == U'[') {
                expected.push_back(U']');
            } else if (scalar == U'{') {
                expected.push_back(U'}');
            } else if (!expected.empty() && scalar == expected.back()) {
                expected.pop_back();
                if (expected.empty()) {
                    end_ = Position{at.col + 1, at.row};
                    hasSelectionRange_ = start_ != end_;
                    return;
                }
            }
        }
        at.col = 0;
        ++at.row;
    }
    start_ = from;
    end_ = from;
    hasSelectionRange_ = false;
}

void SelectionService::balancedSearchBackward(Position from, Buffer& buffer)
{
    end_ = from;
    const int lastCol = buffer.cols() - 1;
    std::vector<char32_t> expected;
    Position at = from;
    while (true) {
        const char32_t scalar = scalarAt(buffer, at);
        if (scalar == U')') {
            expected.push_back(U'(');
        } else if (scalar == U']') {
            expected.push_back(U'[');
        } else if (scalar == U'}') {
            expected.push_back(U'{');
        } else if (!expected.empty() && scalar == expected.back()) {
            expected.pop_back();
            if (expected.empty()) {
                start_ = at;
                end_.col += 1;
                hasSelectionRange_ = start_ != end_;
                return;
            }
        }
        if (at.col > 0) {
            --at.col;
        } else if (at.row > 0) {
            --at.row;
            at.col = lastCol;
        } else {
            break;
        }
    }
    start_ = from;
    end_ = from;
    hasSelectionRange_ = false;
}

std::string SelectionService::debugDescription() const
{
    std::string text = "[Selection (active=";
    text += active_ ? "true" : "false";
    text += ", start=" + start_.debugDescription() + " end=" + end_.debugDescription() + " hasSR=";
    text += hasSelectionRange_ ? "true" : "false";
    text += " pivot=";
    text += pivot_ ? pivot_->debugDescription() : "nil";
    text += "]";
    return text;
}

}  // namespace corvel
