#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The parts of an address, escape sequences decoded.
struct TAddressParts {
    std::string scheme;
    std::string host;
    std::string userName;
    std::string password;
    std::string path;   // from the first "/" up to the query; "" when the address has none
    std::string extra;  // the query and fragment, from "?" or "#"
    std::uint16_t port = 0;  // the scheme's default when the address names none
};

// Splits an address; one that does not begin with a scheme name and "://" gets
// "http://" in front. False when it cannot be split (no host, a port that is not
// a number up to 65535) or a decoded part is longer than it may be (scheme 32,
// host 256, user name 128, password 128, path 2048, extra 2048); parts is then
// unchanged.
bool SplitAddress(std::string_view address, TAddressParts& parts);
// The host of an address; "" when it cannot be split.
std::string HostOf(std::string_view address);
// The folders above an address, shortest first, as written in it (escapes kept),
// with its scheme, host and port but without user name and password, never the
// root: http://h:8080/a/b/c.html gives http://h:8080/a/ and http://h:8080/a/b/.
// Empty when the address cannot be split.
std::vector<std::string> ParentFolders(std::string_view address);
// The text after the last "/", "\" or ":" of an address: http://h/a/b.jpg?x=1
// gives b.jpg?x=1, http://h gives h.
std::string FileNameOf(std::string_view address);
// Form encoding of the repository exchange: letters, digits and !$'()*,-._
// stay, space becomes "+", every other byte %XX.
std::string FormEncode(std::string_view text);
// "+" becomes a space, then %XX gives its byte; %00 and escapes that are not
// hexadecimal give nothing. A "%" without two characters after it is copied.
std::string FormDecode(std::string_view text);
