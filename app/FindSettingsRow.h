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
    // Whether an OAuth 2.0 sign-in found can be completed; without one it is proposed always.
    void setSignInCheck(std::function<bool(const FoundSettings &)> canSignIn);

signals:
    void found(const FoundSettings &settings);
    void report(const QString &text);

private:
    void cmdFind_Click();
    void searchFinished(const DiscoveryResult &result);

    SettingsFinder *m_finder = nullptr;
    std::function<bool(const FoundSettings &)> m_canSignIn;
    QLineEdit *txtAddress = nullptr;
    QPushButton *cmdFind = nullptr;
};
