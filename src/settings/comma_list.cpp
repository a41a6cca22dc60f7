#include "settings/comma_list.h"

namespace {

bool NeedsQuotes(std::string_view item)
{
    for (unsigned char c : item)
        if (c <= 0x20 || c == '"' || c == ',')
            return true;
    return false;
}

bool IsBlank(unsigned char c)
{
    return c >= 0x01 && c <= 0x20;
}

} // namespace

void AppendCommaItem(std::string& out, std::string_view item, bool first)
{
    if (!first)
        out.push_back(',');
    if (!NeedsQuotes(item)) {
        out.append(item);
        return;
    }
    out.push_back('"');
    for (char c : item) {
        if (c == '"')
            out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

std::string WriteCommaList(const std::vector<std::string>& items)
{
    if (items.empty())
        return {};
    if (items.size() == 1 && items[0].empty())
        return "\"\"";
    std::string out;
    bool first = true;
    for (const std::string& item : items) {
        AppendCommaItem(out, item, first);
        first = false;
    }
    return out;
}

void ReadCommaList(std::string_view text, std::vector<std::string>& items)
{
    items.clear();
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    const std::size_t n = text.size();
    std::size_t p = 0;
    auto at = [&](std::size_t i) -> unsigned char { return static_cast<unsigned char>(text[i]); };
    while (p < n && IsBlank(at(p)))
        ++p;
    while (p < n) {
        std::string item;
        if (text[p] == '"') {
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        item.push_back('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item.push_back(text[p]);
                ++p;
            }
        } else {
            const std::size_t start = p;
            while (p < n && at(p) > 0x20 && text[p] != ',')
                ++p;
            item.assign(text.substr(start, p - start));
        }
        items.push_back(std::move(item));
        while (p < n && IsBlank(at(p)))
            ++p;
        if (p < n && text[p] == ',') {
            if (p + 1 == n)
                items.emplace_back();
            do
                ++p;
            while (p < n && IsBlank(at(p)));
        }
    }
}
