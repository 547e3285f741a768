#pragma once

#include <QString>
#include <optional>

class QWidget;

// Lets the user pick a folder, modal to the owner window.
class FolderChooser
{
public:
    virtual ~FolderChooser() = default;

    // The chosen folder's full path, or nothing when the user cancelled. The choice starts at
    // `startFolder`.
    virtual std::optional<QString> chooseFolder(QWidget *owner, const QString &title,
                                                const QString &startFolder) = 0;
};
