#include "mailbridge/imap/ImapReader.h"

#include <algorithm>
#include <cstring>

namespace {

bool isStatusWord(const QByteArray &word, ImapResponse::Kind kind)
{
    const QByteArray upper = word.toUpper();
    return upper == "OK" || upper == "NO" || upper == "BAD" ||
           (kind == ImapResponse::Untagged && (upper == "BYE" || upper == "PREAUTH"));
}

bool endsAtom(char c)
{
    return c == ' ' || c == '(' || c == ')' || c == '\r' || c == '\n';
}

} // namespace

QByteArray ImapResponse::codeName() const
{
    const qsizetype space = code.indexOf(' ');
    return (space < 0 ? code : code.left(space)).toUpper();
}

QByteArray ImapResponse::dataName() const
{
    for (const ImapToken &token : data) {
        if (token.kind != ImapToken::Atom)
            return QByteArray();
        bool number = false;
        token.text.toULongLong(&number);
        if (!number)
            return token.text.toUpper();
    }
    return QByteArray();
}

QByteArray ImapResponse::statusLine() const
{
    QByteArray line = status;
    if (!code.isEmpty())
        line += " [" + code + ']';
    if (!text.isEmpty())
        line += ' ' + text;
    return line;
}

ImapReader::ImapReader(ImapReadLimits limits) : m_limits(limits)
{
    reset();
}

void ImapReader::reset()
{
    m_buffer.clear();
    m_pos = 0;
    m_state = State::Start;
    m_response = ImapResponse();
    m_lists.assign(1, {});
    m_token = ImapToken();
    m_words = 0;
    m_codeSeen = false;
    m_done = false;
    m_lineBytes = 0;
    m_responseBytes = 0;
    m_literalLeft = 0;
    m_count = 0;
    m_countDigits = false;
    m_countSigned = false;
}

void ImapReader::feed(const char *data, std::size_t size)
{
    if (m_pos > 0 && m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    } else if (m_pos > (1 << 16) && m_pos > m_buffer.size() / 2) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(data, qsizetype(size));
}

void ImapReader::malformed(const std::string &what)
{
    m_buffer.clear();
    m_pos = 0;
    throw ImapReadError(what);
}

void ImapReader::add(char c, QByteArray &to)
{
    if (++m_lineBytes > m_limits.lineBytes)
        malformed("a line longer than " + std::to_string(m_limits.lineBytes) + " bytes");
    to += c;
}

void ImapReader::endToken()
{
    ImapToken token = std::move(m_token);
    m_token = ImapToken();
    m_state = State::Start;
    if (m_lists.size() > 1) {
        m_lists.back().push_back(std::move(token));
        return;
    }
    if (m_words++ == 0) {
        if (token.kind != ImapToken::Atom || token.text.isEmpty())
            malformed("a response that does not begin with a tag");
        if (token.text == "*") {
            m_response.kind = ImapResponse::Untagged;
        } else if (token.text == "+") {
            m_response.kind = ImapResponse::Continuation;
            m_state = State::Status;
        } else {
            m_response.kind = ImapResponse::Tagged;
            m_response.tag = std::move(token.text);
        }
        return;
    }
    if (m_words == 2 && token.kind == ImapToken::Atom &&
        isStatusWord(token.text, m_response.kind)) {
        m_response.status = token.text.toUpper();
        m_state = State::Status;
        return;
    }
    m_lists.front().push_back(std::move(token));
}

bool ImapReader::endLine()
{
    m_lineBytes = 0;
    m_state = State::Start;
    if (m_words == 0)
        return false; // an empty line ends nothing
    if (m_lists.size() > 1)
        malformed("a list that is never closed");
    m_response.data = std::move(m_lists.front());
    m_lists.assign(1, {});
    m_done = true;
    return true;
}

std::optional<ImapResponse> ImapReader::next()
{
    const char *bytes = m_buffer.constData();
    const qsizetype size = m_buffer.size();
    const qsizetype start = m_pos;
    const auto count = [&] {
        m_responseBytes += std::size_t(m_pos - start);
        if (m_responseBytes > m_limits.responseBytes)
            malformed("an answer of more than " + std::to_string(m_limits.responseBytes) +
                      " bytes");
    };
    while (m_pos < size && !m_done) {
        const char c = bytes[m_pos];
        switch (m_state) {
        case State::Start:
            if (c == ' ') {
                ++m_pos;
            } else if (c == '\r') {
                ++m_pos;
                m_state = State::LineEnd;
            } else if (c == '\n') {
                ++m_pos;
                endLine();
            } else if (m_words == 0) {
                m_state = State::Atom; // a tag is an atom, whatever it holds
            } else if (c == '(') {
                ++m_pos;
                if (int(m_lists.size()) > m_limits.depth)
                    malformed("lists nested deeper than " + std::to_string(m_limits.depth));
                m_lists.emplace_back();
            } else if (c == ')') {
                ++m_pos;
                if (m_lists.size() == 1)
                    malformed("a ')' that closes no list");
                m_token.kind = ImapToken::List;
                m_token.items = std::move(m_lists.back());
                m_lists.pop_back();
                endToken();
            } else if (c == '"') {
                ++m_pos;
                m_token.kind = ImapToken::String;
                m_state = State::Quoted;
            } else if (c == '{') {
                ++m_pos;
                m_count = 0;
                m_countDigits = false;
                m_countSigned = false;
                m_state = State::Count;
            } else {
                m_state = State::Atom;
            }
            break;
        case State::Atom:
            if ((m_words == 0 && (c == ' ' || c == '\r' || c == '\n')) ||
                (m_words > 0 && endsAtom(c))) {
                endToken();
            } else {
                ++m_pos;
                add(c, m_token.text);
            }
            break;
        case State::Quoted:
            ++m_pos;
            if (c == '"')
                endToken();
            else if (c == '\\')
                m_state = State::Escaped;
            else if (c == '\r' || c == '\n')
                malformed("a line break inside a quoted string");
            else
                add(c, m_token.text);
            break;
        case State::Escaped:
            ++m_pos;
            add(c, m_token.text);
            m_state = State::Quoted;
            break;
        case State::Count:
            ++m_pos;
            if (c >= '0' && c <= '9' && !m_countSigned) {
                m_count = m_count * 10 + std::size_t(c - '0');
                m_countDigits = true;
                if (m_count > m_limits.literalBytes)
                    malformed("a literal of more than " + std::to_string(m_limits.literalBytes) +
                              " bytes");
            } else if (c == '}' && m_countDigits) {
                m_state = State::CountEnd;
            } else if ((c == '+' || c == '-') && m_countDigits && !m_countSigned) {
                m_countSigned = true;
            } else {
                malformed("a literal whose size is not a number");
            }
            break;
        case State::CountEnd:
            ++m_pos;
            if (c == '\n') {
                m_lineBytes = 0;
                m_token.kind = ImapToken::String;
                m_token.literal = true;
                m_literalLeft = m_count;
                if (m_literalLeft == 0)
                    endToken();
                else
                    m_state = State::Literal;
            } else if (c != '\r') {
                malformed("a literal announced before the end of its line");
            }
            break;
        case State::Literal: {
            const auto n = std::min<std::size_t>(m_literalLeft, std::size_t(size - m_pos));
            m_token.text.append(bytes + m_pos, qsizetype(n));
            m_pos += qsizetype(n);
            m_literalLeft -= n;
            if (m_literalLeft == 0)
                endToken();
            break;
        }
        case State::Status:
            if (c == ' ') {
                ++m_pos;
            } else if (c == '[' && !m_codeSeen) {
                ++m_pos;
                m_codeSeen = true;
                m_state = State::Code;
            } else {
                m_state = State::Text;
            }
            break;
        case State::Code:
            ++m_pos;
            if (c == ']') {
                m_state = State::Status;
            } else if (c == '\r' || c == '\n') {
                // Never closed: it was text after all.
                m_response.text = '[' + m_response.code;
                m_response.code.clear();
                m_state = c == '\r' ? State::LineEnd : State::Start;
                if (c == '\n')
                    endLine();
            } else {
                add(c, m_response.code);
            }
            break;
        case State::Text: {
            const void *found = std::memchr(bytes + m_pos, '\n', std::size_t(size - m_pos));
            const qsizetype end = found ? static_cast<const char *>(found) - bytes : size;
            m_lineBytes += std::size_t(end - m_pos);
            if (m_lineBytes > m_limits.lineBytes)
                malformed("a line longer than " + std::to_string(m_limits.lineBytes) + " bytes");
            m_response.text.append(bytes + m_pos, end - m_pos);
            m_pos = end;
            if (found) {
                ++m_pos;
                if (m_response.text.endsWith('\r'))
                    m_response.text.chop(1);
                endLine();
            }
            break;
        }
        case State::LineEnd:
            if (c == '\n')
                ++m_pos;
            endLine();
            break;
        }
    }
    count();
    if (!m_done)
        return std::nullopt;
    ImapResponse response = std::move(m_response);
    m_response = ImapResponse();
    m_words = 0;
    m_codeSeen = false;
    m_done = false;
    m_responseBytes = 0;
    return response;
}

std::optional<ImapResponse> parseImapResponse(const QByteArray &text)
{
    ImapReader reader;
    const QByteArray whole = text + "\r\n";
    reader.feed(whole.constData(), std::size_t(whole.size()));
    try {
        auto response = reader.next();
        return reader.pending() == 0 ? response : std::nullopt;
    } catch (const ImapReadError &) {
        return std::nullopt;
    }
}
