#include "crawl/address_resolver.h"

namespace {

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsUnsafe(unsigned char c)
{
    switch (c) {
    case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
        return true;
    default:
        return c <= 0x20 || c >= 0x7F;
    }
}

std::size_t TailStart(std::string_view address)
{
    const std::size_t at = address.find_first_of("?#");
    return at == std::string_view::npos ? address.size() : at;
}

// The part before "?" or "#" made ready for QUrl. Every "%" becomes "%25" so
// that QUrl neither decodes nor re-cases the escapes already there (RestoreEscapes
// turns them back); a "%" that starts no escape comes out as %25.
QByteArray EncodeHead(std::string_view head)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(static_cast<qsizetype>(head.size() + head.size() / 4 + 8));
    for (std::size_t i = 0; i < head.size(); ++i) {
        const auto c = static_cast<unsigned char>(head[i]);
        if (c == '%') {
            const bool escape = i + 2 < head.size() && IsHex(head[i + 1]) && IsHex(head[i + 2]);
            out.append(escape ? "%25" : "%2525");
        } else if (IsUnsafe(c)) {
            out.append('%');
            out.append(kHex[c >> 4]);
            out.append(kHex[c & 15]);
        } else {
            out.append(static_cast<char>(c));
        }
    }
    return out;
}

// QUrl writes no "%25" of its own here (EncodeHead leaves no bare "%"), so every
// "%25" in its output is one of ours.
void RestoreEscapes(const QByteArray& encoded, std::string& out)
{
    out.clear();
    out.reserve(static_cast<std::size_t>(encoded.size()));
    const char* s = encoded.constData();
    const auto n = static_cast<std::size_t>(encoded.size());
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(s[i]);
        if (s[i] == '%' && i + 2 < n && s[i + 1] == '2' && s[i + 2] == '5')
            i += 2;
    }
}

QUrl ParseHead(std::string_view head)
{
    return QUrl::fromEncoded(EncodeHead(head), QUrl::TolerantMode);
}

// An absolute URL with its dot segments removed.
bool CanonicalHead(const QUrl& url, std::string& out)
{
    if (!url.isValid() || url.isRelative())
        return false;
    // resolving an absolute reference removes its dot segments
    static const QUrl kAnyBase(QStringLiteral("http://h/"));
    const QUrl clean = kAnyBase.resolved(url);
    if (!clean.isValid())
        return false;
    RestoreEscapes(clean.toEncoded(), out);
    return true;
}

bool Finish(std::string& out, std::string_view tail)
{
    if (out.size() + tail.size() > kMaxResolvedAddress)
        return false;
    out.append(tail);
    return true;
}

} // namespace

TAddressResolver::TAddressResolver(std::string_view baseAddress)
{
    const std::size_t tail = TailStart(baseAddress);
    m_base = ParseHead(baseAddress.substr(0, tail));
    m_valid = CanonicalHead(m_base, m_baseHead);
    if (tail < baseAddress.size() && baseAddress[tail] == '?') {
        const std::size_t fragment = baseAddress.find('#', tail);
        m_baseQuery = baseAddress.substr(tail, fragment == std::string_view::npos ? std::string_view::npos : fragment - tail);
    }
}

bool TAddressResolver::Resolve(std::string_view reference, std::string& out) const
{
    if (!m_valid)
        return false;
    const std::size_t tailAt = TailStart(reference);
    const std::string_view head = reference.substr(0, tailAt);
    const std::string_view tail = reference.substr(tailAt);
    if (head.empty()) {
        // the same document: the base's query stays unless the reference brings its own
        out = m_baseHead;
        if (tail.empty() || tail.front() == '#')
            out += m_baseQuery;
        return Finish(out, tail);
    }
    const QUrl relative = ParseHead(head);
    if (!relative.isValid())
        return false;
    const QUrl target = m_base.resolved(relative);
    if (!target.isValid() || target.isRelative())
        return false;
    RestoreEscapes(target.toEncoded(), out);
    return Finish(out, tail);
}

bool CanonicalAddress(std::string_view address, std::string& out)
{
    const std::size_t tailAt = TailStart(address);
    const std::string_view head = address.substr(0, tailAt);
    const QUrl url = ParseHead(head);
    // scheme, "://" and host: a path without a host (ww:a/../b) is no address to canonicalise
    if (head.find("://") != static_cast<std::size_t>(url.scheme().size()))
        return false;
    return CanonicalHead(url, out) && Finish(out, address.substr(tailAt));
}

bool ResolveAddress(std::string_view baseAddress, std::string_view reference, std::string& out)
{
    return TAddressResolver(baseAddress).Resolve(reference, out);
}
