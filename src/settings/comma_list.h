#pragma once

#include <string>
#include <string_view>
#include <vector>

// The one-line list form of file records and keyword files: items joined by
// commas, quoted in double quotes when they hold a space, a control character, a
// comma or a double quote.
std::string WriteCommaList(const std::vector<std::string>& items);
// Replaces items by the items of text; the text ends at its first NUL.
void ReadCommaList(std::string_view text, std::vector<std::string>& items);
// Appends one item to a comma list being built (callers that write item by item).
void AppendCommaItem(std::string& out, std::string_view item, bool first);

// Hands the items of a comma list to onItem(std::string_view) in order, until
// onItem returns false. Blanks (0x01 to 0x20) around items are skipped; a quoted
// item runs to the next single double quote (doubled ones stand for one); a
// comma at the very end adds an empty item.
template <class OnItem>
void ForEachCommaItem(std::string_view text, OnItem&& onItem)
{
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);
    const std::size_t n = text.size();
    auto blank = [&](std::size_t i) {
        const auto c = static_cast<unsigned char>(text[i]);
        return c >= 0x01 && c <= 0x20;
    };
    std::size_t p = 0;
    while (p < n && blank(p))
        ++p;
    std::string quoted;
    while (p < n) {
        std::string_view item;
        if (text[p] == '"') {
            ++p;
            const std::size_t start = p;
            bool doubled = false;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        doubled = true;
                        p += 2;
                        continue;
                    }
                    break;
                }
                ++p;
            }
            item = text.substr(start, p - start);
            if (p < n)
                ++p;  // the closing quote
            if (doubled) {
                quoted.clear();
                for (std::size_t i = 0; i < item.size(); ++i) {
                    quoted.push_back(item[i]);
                    if (item[i] == '"')
                        ++i;
                }
                item = quoted;
            }
        } else {
            const std::size_t start = p;
            while (p < n && static_cast<unsigned char>(text[p]) > 0x20 && text[p] != ',')
                ++p;
            item = text.substr(start, p - start);
        }
        if (!onItem(item))
            return;
        while (p < n && blank(p))
            ++p;
        if (p < n && text[p] == ',') {
            if (p + 1 == n && !onItem(std::string_view()))
                return;
            do
                ++p;
            while (p < n && blank(p));
        }
    }
}
