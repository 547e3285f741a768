#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

// A session bus of its own with an unlocked keyring serving the Secret Service on it, as a
// desktop session has, for as long as the object lives. It points this process's
// DBUS_SESSION_BUS_ADDRESS at that bus, so make it before anything here talks to D-Bus.
class SessionKeyring
{
public:
    SessionKeyring();
    ~SessionKeyring();
    SessionKeyring(const SessionKeyring &) = delete;
    SessionKeyring &operator=(const SessionKeyring &) = delete;

    // What the bus and the keyring wrote, for failure messages.
    QString log() const;

private:
    void start();
    void stop();

    QTemporaryDir m_folder;
    pid_t m_bus = 0;
    pid_t m_keyring = 0;
};
