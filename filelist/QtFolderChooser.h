#pragma once

#include "filelist/FolderChooser.h"

// Qt's folder dialog: folders only.
class QtFolderChooser : public FolderChooser
{
public:
    std::optional<QString> chooseFolder(QWidget *owner, const QString &title,
                                        const QString &startFolder) override;
};
