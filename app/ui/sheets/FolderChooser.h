// How the new-terminal sheet asks for a folder: a function that opens a
// chooser over the given parent without blocking and calls `chosen` with the
// path only when the user confirmed one. The standard chooser is a
// directories-only file dialog whose accept button reads "선택", opened with
// open(); tests put a function of their own in its place. Main thread.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tilebay {

using FolderChooser = std::function<void(QWidget* parent, std::function<void(const QString& path)> chosen)>;

namespace FolderChoosers {

FolderChooser standard();

}  // namespace FolderChoosers

}  // namespace tilebay
