// The first line of the input is the base address, the rest the page. Whatever
// the page, the list starts with the base and its folders, and every value found
// after them is short enough and listed once, whatever its letter case. The fast
// scanner finds exactly the values that a byte-by-byte reading of the rules finds.
#include "crawl/address.h"
#include "crawl/address_resolver.h"
#include "crawl/link_extraction.h"
#include "crawl/link_scanner.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

std::string Folded(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return folded;
}

std::string Cased(std::string_view text, bool upper)
{
    std::string out(text);
    for (char& c : out) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    }
    return out;
}

// The scanning rules one byte at a time, as plainly as they can be written.
std::vector<std::string> PlainScan(std::string_view text)
{
    std::vector<std::string> values;
    bool collecting = false;
    std::string collected;
    for (std::size_t p = 0; p < text.size(); ++p) {
        const auto c = static_cast<unsigned char>(text[p]);
        if (c == '=') {
            if ((p >= 3 && Cased(text.substr(p - 3, 3), true) == "SRC") || (p >= 4 && Cased(text.substr(p - 4, 4), true) == "HREF")) {
                collected.clear();
                collecting = true;
            }
        }
        if (c == '"' || (c == '\'' && !collecting)) {
            const std::string eight = Cased(text.substr(p, 8), false);
            const std::string five = Cased(text.substr(p, 5), false);
            if (eight == "\"http://" || eight == "'http://" || five == "\"www." || five == "'www.") {
                collected.clear();
                collecting = true;
            }
        }
        if (collecting) {
            const bool terminator = c == '"' || c == '\'' || c == '>';
            if (terminator && collected.size() > 2) {
                collecting = false;
                values.push_back(collected);
                collected.clear();
            }
            if (c > 30 && c < 255 && !terminator)
                collected.push_back(static_cast<char>(c));
        }
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string_view base = input.substr(0, lineEnd);
    const std::string_view page = lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);

    std::vector<std::string> values;
    ScanLinkValues(page, [&](std::string_view value) { values.emplace_back(value); });
    if (values != PlainScan(page))
        std::abort();

    std::vector<std::string> links = {"left over"};
    ExtractLinks(page, links, base);
    const std::vector<std::string> folders = ParentFolders(base);
    if (links.size() < 1 + folders.size() || links[0] != base)
        std::abort();
    std::unordered_set<std::string> seen = {Folded(base)};
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (links[1 + i] != folders[i])
            std::abort();
        seen.insert(Folded(folders[i]));
    }
    for (std::size_t i = 1 + folders.size(); i < links.size(); ++i) {
        const std::string& link = links[i];
        if (link.empty() || link.size() > kMaxResolvedAddress || !seen.insert(Folded(link)).second)
            std::abort();
    }
    // the same page gives the same list
    std::vector<std::string> again;
    ExtractLinks(page, again, base);
    if (again != links)
        std::abort();
    return 0;
}
