#pragma once

#include "filelist/FolderChooser.h"

// Qt's folder dialog: folders only, starting at the top of the file system.
class QtFolderChooser : public FolderChooser
{
public:
    std::optional<QString> chooseFolder(QWidget *owner, const QString &title) override;
};
