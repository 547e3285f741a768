#pragma once

#include "mailbridge/discovery/FoundSettings.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>

class QTimer;
struct SrvAnswer;

// Finds the settings of an address without blocking: the list of known providers first, else
// the DNS SRV records of its domain (RFC 6186): for IMAP _imaps._tcp (TLS), then _imap._tcp
// (STARTTLS); for sending _submissions._tcp (TLS), then _submission._tcp (STARTTLS). A
// question the DNS could not answer ends the search as LookupFailed; only a domain or name
// that does not exist, or exists without such records, counts as none.
class SettingsFinder : public QObject
{
    Q_OBJECT

public:
    explicit SettingsFinder(QObject *parent = nullptr);
    ~SettingsFinder() override;

    // Where the DNS questions go (an IPv4 address, port 53); a null address, the default,
    // means the system's resolver.
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
    // The questions, in the order they are asked.
    enum class Service
    {
        Imaps,
        Imap,
        Submissions,
        Submission
    };

    void ask(Service service);
    void answerArrived(const SrvAnswer &answer);
    void answerLate();
    void finishLater(const DiscoveryResult &result);
    void finish(const DiscoveryResult &result);
    QString questionName() const;

    QHostAddress m_nameserver;
    std::chrono::milliseconds m_timeout{10000};
    QTimer *m_deadline = nullptr;
    Service m_service = Service::Imaps;
    QString m_address;
    QString m_domain;
    FoundSettings m_found;  // what the questions so far found
    quint64 m_search = 0;   // tells a stale queued result from the current one
    quint64 m_question = 0; // tells a stale DNS answer from the one awaited
    bool m_running = false;
};

// The same search for a caller without an event loop of its own (the command line): runs one
// until the answer is there, at the latest after timeout per DNS question. Needs a
// QCoreApplication.
DiscoveryResult findSettingsWaiting(const QString &address,
                                    const QHostAddress &nameserver = QHostAddress(),
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));
