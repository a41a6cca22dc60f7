#include "settings/comma_list.h"

namespace {

bool NeedsQuotes(std::string_view item)
{
    for (unsigned char c : item)
        if (c <= 0x20 || c == '"' || c == ',')
            return true;
    return false;
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
    ForEachCommaItem(text, [&items](std::string_view item) {
        items.emplace_back(item);
        return true;
    });
}
