#include "corvel/qt/TerminalViewDelegate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace corvel {

void TerminalViewDelegate::requestOpenLink(TerminalView&, const std::string& link,
                                           const std::map<std::string, std::string>&)
{
    const QUrl url(QString::fromStdString(link), QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) QDesktopServices::openUrl(url);
}

void TerminalViewDelegate::bell(TerminalView&)
{
    QApplication::beep();
}

}  // namespace corvel
