#include "corvel/qt/TerminalViewDelegate.h"

#include "corvel/qt/TerminalView.h"

#include <QApplication>

namespace corvel {

void TerminalViewDelegate::requestOpenLink(TerminalView& source, const std::string& link,
                                           const std::map<std::string, std::string>&)
{
    // The view applies the opening rules and hands the URL to its opener.
    source.openLink(link);
}

void TerminalViewDelegate::sendReply(TerminalView& source, std::span<const uint8_t> data)
{
    send(source, data);
}

void TerminalViewDelegate::sendReport(TerminalView& source, std::span<const uint8_t> data)
{
    send(source, data);
}

void TerminalViewDelegate::bell(TerminalView&)
{
    QApplication::beep();
}

}  // namespace corvel
