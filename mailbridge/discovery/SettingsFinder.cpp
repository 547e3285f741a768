#include "mailbridge/discovery/SettingsFinder.h"

#include "common/Failure.h"
#include "common/ThreadHandOver.h"
#include "mailbridge/discovery/KnownProviders.h"
#include "mailbridge/discovery/MailDomain.h"
#include "mailbridge/discovery/ServiceRecords.h"
#include "mailbridge/discovery/SrvQuery.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace {

const QString byHand = QStringLiteral("Enter the settings by hand.");

DiscoveryResult unfound(DiscoveryResult::Outcome outcome, const QString &address,
                        const QString &reason)
{
    DiscoveryResult result;
    result.outcome = outcome;
    result.address = address;
    result.reason = reason;
    return result;
}

} // namespace

SettingsFinder::SettingsFinder(QObject *parent) : QObject(parent), m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &SettingsFinder::answerLate);
}

SettingsFinder::~SettingsFinder() = default;

void SettingsFinder::setNameserver(const QHostAddress &nameserver)
{
    m_nameserver = nameserver;
}

void SettingsFinder::setTimeout(std::chrono::milliseconds timeout)
{
    m_timeout = timeout;
}

void SettingsFinder::find(const QString &address)
{
    m_deadline->stop();
    ++m_search;
    ++m_question;
    m_running = true;
    m_address = bareAddress(address);
    try {
        m_domain = mailDomain(address);
    } catch (const Failure &failure) {
        finishLater(
            unfound(DiscoveryResult::Outcome::NotAnAddress, m_address, failure.description()));
        return;
    }
    if (const std::optional<FoundSettings> known = knownProvider(m_domain)) {
        DiscoveryResult result;
        result.outcome = DiscoveryResult::Outcome::Found;
        result.address = m_address;
        result.settings = *known;
        result.settings.user = m_address;
        result.source = QStringLiteral("from the list of known providers");
        finishLater(result);
        return;
    }
    ask(Service::Imaps);
}

QString SettingsFinder::questionName() const
{
    switch (m_service) {
    case Service::Imaps:
        return QStringLiteral("_imaps._tcp.") + m_domain;
    case Service::Imap:
        return QStringLiteral("_imap._tcp.") + m_domain;
    case Service::Submissions:
        return QStringLiteral("_submissions._tcp.") + m_domain;
    case Service::Submission:
        break;
    }
    return QStringLiteral("_submission._tcp.") + m_domain;
}

void SettingsFinder::ask(Service service)
{
    m_service = service;
    if (service == Service::Imaps) {
        m_found = FoundSettings();
        m_found.user = m_address;
    }
    const quint64 question = ++m_question;
    m_deadline->start(m_timeout);
    // The resolver blocks: it asks on a worker, which keeps copies of all it needs. An answer
    // that comes after the deadline or a new search is dropped.
    runInBackground([self = QPointer<SettingsFinder>(this), question, name = questionName(),
                     nameserver = m_nameserver, timeout = m_timeout] {
        SrvAnswer answer = querySrv(name, nameserver, timeout);
        runOnApplicationThread([self, question, answer = std::move(answer)] {
            if (self && self->m_running && self->m_question == question)
                self->answerArrived(answer);
        });
    });
}

void SettingsFinder::answerArrived(const SrvAnswer &answer)
{
    m_deadline->stop();
    ++m_question;
    // A name that does not exist, or has no such records, is an answer; a question that got
    // none ends the search, and a failed question for TLS must not quietly lead to a plain
    // connection.
    if (answer.status == SrvAnswer::Status::Failed) {
        finish(unfound(DiscoveryResult::Outcome::LookupFailed, m_address,
                       QStringLiteral("The lookup could not be made (offline?): asking the DNS "
                                      "for %1 failed: %2. %3")
                           .arg(questionName(), answer.failure, byHand)));
        return;
    }
    const std::optional<ServiceRecord> record = preferredRecord(answer.records);
    const bool tls = m_service == Service::Imaps || m_service == Service::Submissions;
    if (record && (m_service == Service::Imaps || m_service == Service::Imap)) {
        m_found.host = record->target;
        m_found.port = record->port;
        m_found.security = tls ? ImapSecurity::Tls : ImapSecurity::StartTls;
    } else if (record) {
        m_found.smtpHost = record->target;
        m_found.smtpPort = record->port;
        m_found.smtpSecurity = tls ? ImapSecurity::Tls : ImapSecurity::StartTls;
    }
    switch (m_service) {
    case Service::Imaps:
        ask(record ? Service::Submissions : Service::Imap);
        return;
    case Service::Imap:
        ask(Service::Submissions);
        return;
    case Service::Submissions:
        if (!record) {
            ask(Service::Submission);
            return;
        }
        break;
    case Service::Submission:
        break;
    }
    if (m_found.host.isEmpty() && m_found.smtpHost.isEmpty()) {
        finish(unfound(DiscoveryResult::Outcome::NothingFound, m_address,
                       QStringLiteral("Nothing found for %1: %2 is not on the list of known "
                                      "providers and has no DNS records that name its mail "
                                      "servers. %3")
                           .arg(m_address, m_domain, byHand)));
        return;
    }
    DiscoveryResult result;
    result.outcome = DiscoveryResult::Outcome::Found;
    result.address = m_address;
    result.source = QStringLiteral("from the DNS records of %1").arg(m_domain);
    result.settings = m_found;
    QStringList elsewhere;
    for (const QString &host : {m_found.host, m_found.smtpHost})
        if (!host.isEmpty() && !isWithinDomain(host, m_domain) && !elsewhere.contains(host))
            elsewhere << host;
    if (!elsewhere.isEmpty())
        result.settings.hint = QStringLiteral("%1 is not in %2: use it only if you expect your "
                                              "mail of %2 to be kept there.")
                                   .arg(elsewhere.join(QStringLiteral(" and ")), m_domain);
    finish(result);
}

void SettingsFinder::answerLate()
{
    const QString question = questionName();
    ++m_question;
    finish(unfound(DiscoveryResult::Outcome::LookupFailed, m_address,
                   QStringLiteral("The lookup could not be made (offline?): the DNS gave no "
                                  "answer for %1 within %2 seconds. %3")
                       .arg(question)
                       .arg(double(m_timeout.count()) / 1000.0)
                       .arg(byHand)));
}

void SettingsFinder::finishLater(const DiscoveryResult &result)
{
    const quint64 search = m_search;
    QMetaObject::invokeMethod(
        this,
        [this, search, result] {
            if (search == m_search && m_running)
                finish(result);
        },
        Qt::QueuedConnection);
}

void SettingsFinder::finish(const DiscoveryResult &result)
{
    m_running = false;
    emit finished(result);
}

DiscoveryResult findSettingsWaiting(const QString &address, const QHostAddress &nameserver,
                                    std::chrono::milliseconds timeout)
{
    SettingsFinder finder;
    finder.setNameserver(nameserver);
    finder.setTimeout(timeout);
    QEventLoop loop;
    DiscoveryResult result;
    QObject::connect(&finder, &SettingsFinder::finished, &loop, [&](const DiscoveryResult &found) {
        result = found;
        loop.quit();
    });
    finder.find(address);
    loop.exec();
    return result;
}
