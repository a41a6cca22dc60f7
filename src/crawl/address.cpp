#include "crawl/address.h"

#include "settings/text_convert.h"

namespace {

std::string Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexDigitValue(text[i + 1]);
            const int lo = HexDigitValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

bool IsSchemeChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::uint16_t DefaultPort(std::string_view scheme)
{
    auto is = [&](std::string_view name) {
        if (scheme.size() != name.size())
            return false;
        for (std::size_t i = 0; i < name.size(); ++i) {
            char c = scheme[i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + 32);
            if (c != name[i])
                return false;
        }
        return true;
    };
    if (is("http"))
        return 80;
    if (is("https"))
        return 443;
    if (is("ftp"))
        return 21;
    if (is("gopher"))
        return 70;
    return 0;
}

struct TRawParts {
    std::string_view scheme;
    std::string_view userName;
    std::string_view password;
    std::string_view host;
    std::string_view hostAndPort;  // the authority without user name and password
    std::string_view path;
    std::string_view extra;
    std::uint16_t port = 0;
};

// Whether the address begins with a scheme name and "://"; an address that only
// holds "://" further on (in its query, say) still needs "http://" in front.
bool HasScheme(std::string_view address)
{
    const std::size_t sep = address.find("://");
    if (sep == 0 || sep == std::string_view::npos)
        return false;
    for (std::size_t i = 0; i < sep; ++i)
        if (!IsSchemeChar(address[i]))
            return false;
    return true;
}

// Splits an address that begins with its scheme, without decoding anything.
bool SplitRaw(std::string_view address, TRawParts& raw)
{
    const std::size_t sep = address.find("://");
    raw.scheme = address.substr(0, sep);
    const std::string_view rest = address.substr(sep + 3);
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view tail = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    std::string_view userInfo;
    raw.hostAndPort = authority;
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        userInfo = authority.substr(0, at);
        raw.hostAndPort = authority.substr(at + 1);
    }
    raw.userName = userInfo;
    raw.password = {};
    const std::size_t colon = userInfo.find(':');
    if (colon != std::string_view::npos) {
        raw.userName = userInfo.substr(0, colon);
        raw.password = userInfo.substr(colon + 1);
    }

    const std::string_view hostPort = raw.hostAndPort;
    raw.host = hostPort;
    std::string_view portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string_view::npos)
            return false;
        raw.host = hostPort.substr(0, close + 1);
        const std::string_view after = hostPort.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portText = after.substr(1);
        }
    } else {
        const std::size_t portColon = hostPort.rfind(':');
        if (portColon != std::string_view::npos) {
            raw.host = hostPort.substr(0, portColon);
            portText = hostPort.substr(portColon + 1);
        }
    }
    if (raw.host.empty())
        return false;
    raw.port = DefaultPort(raw.scheme);
    if (!portText.empty()) {
        unsigned value = 0;
        for (char c : portText) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 65535)
                return false;
        }
        raw.port = static_cast<std::uint16_t>(value);
    }

    const std::size_t query = tail.find_first_of("?#");
    raw.path = tail.substr(0, query);
    raw.extra = query == std::string_view::npos ? std::string_view() : tail.substr(query);
    return true;
}

// Splits and decodes; storage keeps the address with "http://" put in front
// when it needs one, and the raw parts point into it or into address.
bool Split(std::string_view address, std::string& storage, TRawParts& raw, TAddressParts& parts)
{
    if (!HasScheme(address)) {
        storage = "http://";
        storage.append(address);
        address = storage;
    }
    if (!SplitRaw(address, raw))
        return false;
    TAddressParts result;
    result.scheme = Unescape(raw.scheme);
    result.host = Unescape(raw.host);
    result.userName = Unescape(raw.userName);
    result.password = Unescape(raw.password);
    result.path = Unescape(raw.path);
    result.extra = Unescape(raw.extra);
    result.port = raw.port;
    if (result.scheme.size() > 32 || result.host.size() > 256 || result.userName.size() > 128
        || result.password.size() > 128 || result.path.size() > 2048 || result.extra.size() > 2048)
        return false;
    parts = std::move(result);
    return true;
}

} // namespace

bool SplitAddress(std::string_view address, TAddressParts& parts)
{
    std::string storage;
    TRawParts raw;
    return Split(address, storage, raw, parts);
}

std::string HostOf(std::string_view address)
{
    TAddressParts parts;
    if (!SplitAddress(address, parts))
        return {};
    return parts.host;
}

std::vector<std::string> ParentFolders(std::string_view address)
{
    std::vector<std::string> folders;
    std::string storage;
    TRawParts raw;
    TAddressParts parts;
    if (!Split(address, storage, raw, parts) || raw.path.size() <= 1)
        return folders;
    // the folders keep the port of the address: on another port they are another site
    std::string start(raw.scheme);
    start += "://";
    start.append(raw.hostAndPort);
    for (std::size_t i = 1; i < raw.path.size(); ++i)
        if (raw.path[i] == '/')
            folders.push_back(start + std::string(raw.path.substr(0, i + 1)));
    return folders;
}

std::string FileNameOf(std::string_view address)
{
    const std::size_t last = address.find_last_of("/\\:");
    if (last == std::string_view::npos)
        return std::string(address);
    return std::string(address.substr(last + 1));
}

std::string FormEncode(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '$'
            || c == '\'' || c == '(' || c == ')' || c == '*' || c == ',' || c == '-' || c == '.' || c == '_';
        if (plain) {
            out.push_back(ch);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string FormDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out.push_back(' ');
        } else if (c == '%' && i + 2 < text.size()) {
            // the "%" and the two characters after it are consumed in every case
            const int hi = HexDigitValue(text[i + 1]);
            const int lo = HexDigitValue(text[i + 2]);
            if (hi >= 0 && lo >= 0 && (hi * 16 + lo) != 0)
                out.push_back(static_cast<char>(hi * 16 + lo));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}
