#include "filelist/QtFolderChooser.h"

#include <QDir>
#include <QFileDialog>

std::optional<QString> QtFolderChooser::chooseFolder(QWidget *owner, const QString &title,
                                                     const QString &startFolder)
{
    const QString folder =
        QFileDialog::getExistingDirectory(owner, title, startFolder, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(folder);
}
