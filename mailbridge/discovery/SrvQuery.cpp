#include "mailbridge/discovery/SrvQuery.h"

#include <arpa/inet.h>
#include <arpa/nameser.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int maxAnswerBytes = 65535;

// The resolver's state, closed however the question ends.
struct ResolverState
{
    struct __res_state state = {};
    bool open = false;
    ResolverState() { open = res_ninit(&state) == 0; }
    ~ResolverState()
    {
        if (open)
            res_nclose(&state);
    }
    ResolverState(const ResolverState &) = delete;
    ResolverState &operator=(const ResolverState &) = delete;
};

SrvAnswer failed(const QString &why)
{
    SrvAnswer answer;
    answer.status = SrvAnswer::Status::Failed;
    answer.failure = why;
    return answer;
}

} // namespace

SrvAnswer querySrv(const QString &name, const QHostAddress &nameserver,
                   std::chrono::milliseconds timeout)
{
    auto resolver = std::make_unique<ResolverState>();
    if (!resolver->open)
        return failed(QStringLiteral("the system's resolver could not be set up"));
    res_state state = &resolver->state;
    // One try of the whole time; the caller's own deadline may end the wait sooner.
    state->retrans = int(std::max<long long>(1, (timeout.count() + 999) / 1000));
    state->retry = 1;
    if (!nameserver.isNull()) {
        bool ok = false;
        const quint32 ip = nameserver.toIPv4Address(&ok);
        if (!ok)
            return failed(QStringLiteral("only IPv4 name servers can be given"));
        state->nscount = 1;
        state->nsaddr_list[0] = {};
        state->nsaddr_list[0].sin_family = AF_INET;
        state->nsaddr_list[0].sin_port = htons(53);
        state->nsaddr_list[0].sin_addr.s_addr = htonl(ip);
    }
    if (state->nscount == 0)
        return failed(QStringLiteral("no name server is set up"));

    std::vector<unsigned char> buffer(maxAnswerBytes);
    const QByteArray question = name.toLatin1();
    const int length = res_nquery(state, question.constData(), ns_c_in, ns_t_srv, buffer.data(),
                                  int(buffer.size()));
    if (length < 0) {
        SrvAnswer answer;
        switch (state->res_h_errno) {
        case HOST_NOT_FOUND:
            answer.status = SrvAnswer::Status::NoSuchName;
            return answer;
        case NO_DATA:
            answer.status = SrvAnswer::Status::NoData;
            return answer;
        case NO_RECOVERY:
            return failed(QStringLiteral("the name server refused the question"));
        default:
            return failed(QStringLiteral("no name server answered"));
        }
    }
    return readSrvAnswer(buffer.data(), std::min(length, maxAnswerBytes));
}

SrvAnswer readSrvAnswer(const unsigned char *bytes, int length)
{
    ns_msg message;
    if (length < 0 || length > maxAnswerBytes || ns_initparse(bytes, length, &message) < 0)
        return failed(QStringLiteral("the answer could not be read"));
    SrvAnswer answer;
    answer.status = SrvAnswer::Status::Records;
    const int count = std::min<int>(ns_msg_count(message, ns_s_an), maxServiceRecords);
    for (int n = 0; n < count; ++n) {
        ns_rr record;
        if (ns_parserr(&message, ns_s_an, n, &record) < 0)
            return failed(QStringLiteral("the answer could not be read"));
        if (ns_rr_type(record) != ns_t_srv || ns_rr_rdlen(record) < 7)
            continue;
        const unsigned char *data = ns_rr_rdata(record);
        char target[NS_MAXDNAME] = {};
        if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) <
            0)
            continue;
        answer.records.push_back({QString::fromLatin1(target), int(ns_get16(data + 4)),
                                  int(ns_get16(data)), int(ns_get16(data + 2))});
    }
    if (answer.records.empty())
        answer.status = SrvAnswer::Status::NoData;
    return answer;
}
