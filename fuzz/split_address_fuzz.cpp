// Any text is split or refused without harm: a split address keeps its parts
// within their limits, its folders grow one folder at a time, canonical forms
// stay as they are when canonicalised again, and form encoding reads back.
#include "crawl/address.h"
#include "crawl/address_resolver.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    TAddressParts parts;
    parts.host = "unchanged";
    const bool split = SplitAddress(text, parts);
    if (split) {
        if (parts.host.empty() || parts.scheme.empty() || parts.scheme.size() > 32 || parts.host.size() > 256
            || parts.userName.size() > 128 || parts.password.size() > 128 || parts.path.size() > 2048
            || parts.extra.size() > 2048)
            std::abort();
        if (HostOf(text) != parts.host)
            std::abort();
    } else if (parts.host != "unchanged" || !HostOf(text).empty()) {
        std::abort();
    }

    const std::vector<std::string> folders = ParentFolders(text);
    if (!split && !folders.empty())
        std::abort();
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (folders[i].back() != '/' || (i > 0 && folders[i].compare(0, folders[i - 1].size(), folders[i - 1]) != 0))
            std::abort();
    }

    const std::string name = FileNameOf(text);
    if (name.size() > text.size() || text.compare(text.size() - name.size(), name.size(), name) != 0)
        std::abort();

    std::string canonical;
    if (CanonicalAddress(text, canonical)) {
        std::string again;
        if (canonical.size() > kMaxResolvedAddress || !CanonicalAddress(canonical, again) || again != canonical)
            std::abort();
    }

    if (text.find('\0') == std::string::npos && FormDecode(FormEncode(text)) != text)
        std::abort();
    return 0;
}
