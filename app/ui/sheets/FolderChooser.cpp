#include "app/ui/sheets/FolderChooser.h"

#include <QFileDialog>

namespace tilebay::FolderChoosers {

FolderChooser standard()
{
    return [](QWidget* parent, std::function<void(const QString&)> chosen) {
        auto* dialog = new QFileDialog(parent);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly, true);
        dialog->setLabelText(QFileDialog::Accept, QStringLiteral("선택"));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        // A cancelled chooser never emits this; the dialog dies with its parent
        // when the sheet goes first.
        QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& path) {
            if (!path.isEmpty()) chosen(path);
        });
        dialog->open();
    };
}

}  // namespace tilebay::FolderChoosers
