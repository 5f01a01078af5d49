// Shared by the fuzz targets that feed whole terminals: a host that answers
// like a trusting application and records what it is sent, the checks that
// the screen model stays consistent, a comparable picture of a terminal, and
// a manual-clock main queue that is drained after each input so the work the
// terminals schedule (timeouts, idle collection) never piles up.
#pragma once

#include "corvel/terminal/Terminal.h"
#include "corvel/platform/Dispatch.h"

#include <any>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace fuzzsupport {

using corvel::Buffer;
using corvel::Terminal;
using corvel::TerminalDelegate;

class Host : public TerminalDelegate {
public:
    std::string sent;
    std::vector<std::string> events;
    void send(Terminal&, std::span<const uint8_t> data) override { sent.append(data.begin(), data.end()); }
    bool isProcessTrusted(Terminal&) override { return true; }
    std::optional<CellSize> cellSizeInPixels(Terminal&) override { return CellSize{8, 16}; }
    void setTerminalTitle(Terminal&, const std::string& title) override { events.push_back("title " + title); }
    void clipboardCopy(Terminal&, std::span<const uint8_t> content) override
    {
        events.push_back("copy " + std::string(content.begin(), content.end()));
    }
};

inline void check(bool condition)
{
    if (!condition) std::abort();
}

inline void checkConsistent(Terminal& terminal)
{
    Buffer& b = terminal.buffer();
    check(b.x() >= 0 && b.x() <= terminal.cols());
    check(b.y() >= 0 && b.y() < terminal.rows());
    check(b.scrollTop() >= 0 && b.scrollTop() <= b.scrollBottom() && b.scrollBottom() < terminal.rows());
    check(b.marginLeft() >= 0 && b.marginLeft() <= b.marginRight() && b.marginRight() < terminal.cols());
    check(int64_t{b.yBase()} + terminal.rows() <= b.lines().count());
    check(b.yDisp() >= 0 && b.yDisp() <= b.yBase());
    check(b.lines().count() <= b.lines().maxLength());
    check(terminal.clusterCodeCount() <= Terminal::maxClusterCodes);
    for (int row = 0; row < terminal.rows(); ++row) {
        const corvel::BufferLine& line = b.lines()[int64_t{b.yBase()} + row];
        check(line.count() == terminal.cols());
        for (int col = 0; col < line.count(); ++col) {
            // A cell's cluster code always names text.
            if (line[col].code >= corvel::CharData::firstGraphemeId) check(terminal.character(line[col].code) != " ");
        }
    }
}

// Every line of one buffer: each cell's text, width, attribute and link, then the cursor.
inline std::vector<std::string> picture(Terminal& terminal, Buffer& b)
{
    std::vector<std::string> rows;
    for (int64_t i = 0; i < b.lines().count(); ++i) {
        const corvel::BufferLine& line = b.lines()[i];
        std::string text = line.isWrapped ? "+" : "-";
        for (int col = 0; col < line.count(); ++col) {
            const corvel::CharData& cell = line[col];
            text += terminal.character(cell.code) + "/" + std::to_string(cell.width) + "/" +
                    cell.attribute.toSgr();
            const std::any payload = cell.getPayload();
            if (const auto* uri = std::any_cast<std::string>(&payload)) text += "/" + *uri;
            text += ",";
        }
        rows.push_back(text);
    }
    rows.push_back(std::to_string(b.x()) + "," + std::to_string(b.y()) + "," + std::to_string(b.yBase()));
    return rows;
}

// Installs a manual-clock main queue once; drain() runs everything the
// terminals left scheduled (they are gone by then, so it does nothing).
class MainQueue {
public:
    MainQueue() : queue_(std::make_shared<corvel::RunLoopQueue>(true)) { corvel::DispatchQueue::setMain(queue_); }
    void drain() { queue_->advance(corvel::Nanos{3600} * 1'000'000'000); }

private:
    std::shared_ptr<corvel::RunLoopQueue> queue_;
};

}  // namespace fuzzsupport
