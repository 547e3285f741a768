#pragma once

#include "mailbridge/discovery/FoundSettings.h"

#include <QWidget>

#include <functional>

class QLineEdit;
class QPushButton;
class SettingsFinder;

// The Mail account window's Address row: "Find settings" looks up the settings of the typed
// address while the window stays usable, then hands them over together with a text that says
// what was found and where from, or why nothing was.
class FindSettingsRow : public QWidget
{
    Q_OBJECT

public:
    explicit FindSettingsRow(QWidget *owner);

    void setAddress(const QString &address);
    QString address() const;
    SettingsFinder &finder() { return *m_finder; }
    // What is proposed of a search's result (proposedSettings, for the account the window
    // shows); without it, what was found.
    void setProposal(std::function<DiscoveryResult(const DiscoveryResult &)> proposal);

signals:
    void found(const FoundSettings &settings);
    void report(const QString &text);

private:
    void cmdFind_Click();
    void searchFinished(const DiscoveryResult &result);

    SettingsFinder *m_finder = nullptr;
    std::function<DiscoveryResult(const DiscoveryResult &)> m_proposal;
    QLineEdit *txtAddress = nullptr;
    QPushButton *cmdFind = nullptr;
};
