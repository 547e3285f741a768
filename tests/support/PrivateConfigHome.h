#pragma once

#include <QString>

// Points the settings store at another folder for as long as it lives (or the case lasts),
// for a case that needs a settings file of its own making.
class PrivateConfigHome
{
public:
    explicit PrivateConfigHome(const QString &folder);
    ~PrivateConfigHome();
    PrivateConfigHome(const PrivateConfigHome &) = delete;
    PrivateConfigHome &operator=(const PrivateConfigHome &) = delete;

    // Where QtSettingsStore keeps its file under the folder.
    QString settingsFile() const;

private:
    QString m_folder;
    QByteArray m_previous;
};
