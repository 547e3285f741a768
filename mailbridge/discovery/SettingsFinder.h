#pragma once

#include "mailbridge/discovery/FoundSettings.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>

class QDnsLookup;
class QTimer;

// Finds the IMAP settings of an address without blocking: the list of known providers first,
// else the DNS SRV records _imaps._tcp (TLS), then _imap._tcp (STARTTLS) of its domain.
class SettingsFinder : public QObject
{
    Q_OBJECT

public:
    explicit SettingsFinder(QObject *parent = nullptr);
    ~SettingsFinder() override;

    // Where the DNS questions go; a null address, the default, means the system's resolver.
    void setNameserver(const QHostAddress &nameserver);
    // How long one DNS question may take before the search gives up.
    void setTimeout(std::chrono::milliseconds timeout);

    // Starts a search and drops one that runs. finished() comes from the event loop, never
    // from within find(), also when the answer is known at once.
    void find(const QString &address);
    bool isRunning() const { return m_running; }

signals:
    void finished(const DiscoveryResult &result);

private:
    enum class Service
    {
        Imaps,
        Imap
    };

    void ask(Service service);
    void answerArrived();
    void answerLate();
    void finishLater(const DiscoveryResult &result);
    void finish(const DiscoveryResult &result);
    void dropLookup();
    QString questionName() const;

    QHostAddress m_nameserver;
    std::chrono::milliseconds m_timeout{10000};
    QTimer *m_deadline = nullptr;
    QPointer<QDnsLookup> m_lookup;
    Service m_service = Service::Imaps;
    QString m_address;
    QString m_domain;
    quint64 m_search = 0; // tells a stale queued result from the current one
    bool m_running = false;
};

// The same search for a caller without an event loop of its own (the command line): runs one
// until the answer is there, at the latest after timeout per DNS question. Needs a
// QCoreApplication.
DiscoveryResult findSettingsWaiting(const QString &address,
                                    const QHostAddress &nameserver = QHostAddress(),
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));
