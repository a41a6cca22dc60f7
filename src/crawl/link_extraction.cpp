#include "crawl/link_extraction.h"

#include "crawl/address.h"
#include "crawl/address_resolver.h"
#include "crawl/link_scanner.h"
#include "settings/app_settings.h"

#include <unordered_set>

namespace {

std::string Folded(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        c = link_scanner::Lower(c);
    return folded;
}

// Turns a finished raw value into the address it names; false when it adds nothing.
bool ResolveValue(std::string_view value, const TAddressResolver& resolver, std::string& out)
{
    if (!value.empty() && value.front() == '=')
        value.remove_prefix(1);
    if (value.find("mailto:") != std::string_view::npos)
        return false;
    value = value.substr(0, value.find('#'));
    // only "://" before the query makes an absolute address: page.php?u=http://x is relative
    if (value.substr(0, value.find('?')).find("://") != std::string_view::npos)
        return CanonicalAddress(value, out);
    if (value.substr(0, 4) == "www.") {
        if (value.size() + 7 > kMaxResolvedAddress)
            return false;
        out = "http://";
        out.append(value);
        return true;
    }
    return resolver.Resolve(value, out);
}

} // namespace

void ExtractLinks(std::string_view text, std::vector<std::string>& links, std::string_view baseAddress)
{
    links.clear();
    links.emplace_back(baseAddress);
    for (std::string& folder : ParentFolders(baseAddress))
        links.push_back(std::move(folder));
    std::unordered_set<std::string> seen;
    for (const std::string& link : links)
        seen.insert(Folded(link));
    const TAddressResolver resolver(baseAddress);
    std::string address;
    ScanLinkValues(text, [&](std::string_view value) {
        if (ResolveValue(value, resolver, address) && seen.insert(Folded(address)).second)
            links.push_back(address);
    });
}

bool ContainsAdultWord(std::string_view text)
{
    return ContainsAdultWord(text, AdultWords());
}

bool ContainsAdultWord(std::string_view text, const std::vector<std::string>& words)
{
    for (const std::string& word : words)
        if (!word.empty() && text.find(word) != std::string_view::npos)
            return true;
    return false;
}
