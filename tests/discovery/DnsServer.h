#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

// A dnsmasq of the tests' own, a child process answering on port 53 of one loopback address
// (the program's own network namespace makes that port free), its log in a temporary folder.
// It knows only the records given here: names under a local domain that it has no record
// for are answered "no such name", any other name is refused.
class DnsServer
{
public:
    explicit DnsServer(QString listenAddress = QStringLiteral("127.0.0.1"));
    ~DnsServer();
    DnsServer(const DnsServer &) = delete;
    DnsServer &operator=(const DnsServer &) = delete;

    // Before start().
    void addService(const QString &name, const QString &target, int port, int priority = 0,
                    int weight = 0);
    // An SRV record with target ".": the domain offers no such service.
    void addNoService(const QString &name);
    // A TXT record: the name exists, so a question for its SRV records has no data.
    void addText(const QString &name, const QString &text);
    void addLocalDomain(const QString &domain);

    // Starts it and waits until it answers; throws std::runtime_error with its log.
    void start();
    void stop();

    QString address() const { return m_address; }
    QString log() const;

private:
    bool answers() const;

    QString m_address;
    QStringList m_options;
    QTemporaryDir m_dir;
    pid_t m_pid = -1;
};
