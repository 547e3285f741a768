#include "mailbridge/discovery/SettingsFinder.h"

#include "common/Failure.h"
#include "mailbridge/discovery/KnownProviders.h"
#include "mailbridge/discovery/MailDomain.h"
#include "mailbridge/discovery/ServiceRecords.h"

#include <QDnsLookup>
#include <QEventLoop>
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

SettingsFinder::~SettingsFinder()
{
    dropLookup();
}

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
    dropLookup();
    m_deadline->stop();
    ++m_search;
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
    const QString service = m_service == Service::Imaps ? QStringLiteral("_imaps._tcp.")
                                                        : QStringLiteral("_imap._tcp.");
    return service + m_domain;
}

void SettingsFinder::ask(Service service)
{
    m_service = service;
    m_lookup = new QDnsLookup(QDnsLookup::SRV, questionName(), this);
    if (!m_nameserver.isNull())
        m_lookup->setNameserver(m_nameserver);
    connect(m_lookup, &QDnsLookup::finished, this, &SettingsFinder::answerArrived);
    m_deadline->start(m_timeout);
    m_lookup->lookup();
}

void SettingsFinder::answerArrived()
{
    m_deadline->stop();
    const QDnsLookup::Error error = m_lookup->error();
    const QString errorText = m_lookup->errorString();
    std::vector<ServiceRecord> records;
    for (const QDnsServiceRecord &record : m_lookup->serviceRecords())
        records.push_back({record.target(), record.port(), record.priority(), record.weight()});
    dropLookup();

    // A failed question for TLS must not quietly lead to a plain connection: it ends here.
    if (error != QDnsLookup::NoError && error != QDnsLookup::NotFoundError) {
        finish(unfound(DiscoveryResult::Outcome::LookupFailed, m_address,
                       QStringLiteral("The DNS lookup of %1 failed: %2. %3")
                           .arg(questionName(), errorText, byHand)));
        return;
    }
    const std::optional<ServiceRecord> record = preferredRecord(records);
    if (!record) {
        if (m_service == Service::Imaps) {
            ask(Service::Imap);
            return;
        }
        finish(unfound(DiscoveryResult::Outcome::NothingFound, m_address,
                       QStringLiteral("Nothing found for %1: %2 is not on the list of known "
                                      "providers and its DNS records name no IMAP server. %3")
                           .arg(m_address, m_domain, byHand)));
        return;
    }
    DiscoveryResult result;
    result.outcome = DiscoveryResult::Outcome::Found;
    result.address = m_address;
    result.source = QStringLiteral("from the DNS records of %1").arg(m_domain);
    FoundSettings &found = result.settings;
    found.host = record->target;
    found.port = record->port;
    found.security = m_service == Service::Imaps ? ImapSecurity::Tls : ImapSecurity::StartTls;
    found.user = m_address;
    if (!isWithinDomain(found.host, m_domain))
        found.hint = QStringLiteral("The server is not in %1: use it only if you expect your "
                                    "mail of %1 to be kept there.")
                         .arg(m_domain);
    finish(result);
}

void SettingsFinder::answerLate()
{
    const QString question = questionName();
    dropLookup();
    finish(unfound(DiscoveryResult::Outcome::LookupFailed, m_address,
                   QStringLiteral("The DNS gave no answer for %1 within %2 seconds. %3")
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

void SettingsFinder::dropLookup()
{
    if (!m_lookup)
        return;
    // Aborting would report to us once more; the lookup goes once its question returns.
    m_lookup->disconnect(this);
    if (!m_lookup->isFinished())
        m_lookup->abort();
    m_lookup->deleteLater();
    m_lookup = nullptr;
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
