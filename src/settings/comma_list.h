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
