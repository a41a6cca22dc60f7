#include "crawl/address.h"

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
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

} // namespace

bool SplitAddress(std::string_view address, TAddressParts& parts)
{
    std::string withScheme;
    if (address.find("://") == std::string_view::npos) {
        withScheme = "http://";
        withScheme.append(address);
        address = withScheme;
    }
    const std::size_t sep = address.find("://");
    const std::string_view scheme = address.substr(0, sep);
    if (scheme.empty())
        return false;
    for (char c : scheme)
        if (!IsSchemeChar(c))
            return false;
    const std::string_view rest = address.substr(sep + 3);
    const std::size_t authorityEnd = rest.find_first_of("/?#");
    const std::string_view authority = rest.substr(0, authorityEnd);
    const std::string_view tail = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);

    std::string_view userInfo;
    std::string_view hostPort = authority;
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        userInfo = authority.substr(0, at);
        hostPort = authority.substr(at + 1);
    }
    std::string_view user = userInfo;
    std::string_view password;
    const std::size_t colon = userInfo.find(':');
    if (colon != std::string_view::npos) {
        user = userInfo.substr(0, colon);
        password = userInfo.substr(colon + 1);
    }

    std::string_view host = hostPort;
    std::string_view portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string_view::npos)
            return false;
        host = hostPort.substr(0, close + 1);
        const std::string_view after = hostPort.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portText = after.substr(1);
        }
    } else {
        const std::size_t portColon = hostPort.rfind(':');
        if (portColon != std::string_view::npos) {
            host = hostPort.substr(0, portColon);
            portText = hostPort.substr(portColon + 1);
        }
    }
    if (host.empty())
        return false;
    std::uint16_t port = DefaultPort(scheme);
    if (!portText.empty()) {
        unsigned value = 0;
        for (char c : portText) {
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 65535)
                return false;
        }
        port = static_cast<std::uint16_t>(value);
    }

    std::string_view path;
    std::string_view extra;
    const std::size_t query = tail.find_first_of("?#");
    path = tail.substr(0, query);
    if (query != std::string_view::npos)
        extra = tail.substr(query);

    TAddressParts result;
    result.scheme = Unescape(scheme);
    result.host = Unescape(host);
    result.userName = Unescape(user);
    result.password = Unescape(password);
    result.path = Unescape(path);
    result.extra = Unescape(extra);
    result.port = port;
    if (result.scheme.size() > 32 || result.host.size() > 256 || result.userName.size() > 128
        || result.password.size() > 128 || result.path.size() > 2048 || result.extra.size() > 2048)
        return false;
    parts = std::move(result);
    return true;
}

std::string HostOf(std::string_view address)
{
    TAddressParts parts;
    if (!SplitAddress(address, parts))
        return {};
    return parts.host;
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
        } else if (c == '%') {
            // the "%" and the two characters after it are consumed in every case
            if (i + 2 < text.size()) {
                const int hi = HexValue(text[i + 1]);
                const int lo = HexValue(text[i + 2]);
                if (hi >= 0 && lo >= 0 && (hi * 16 + lo) != 0)
                    out.push_back(static_cast<char>(hi * 16 + lo));
            }
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}
