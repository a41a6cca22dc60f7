// The comma-list reader takes any text; a list written and read back is the same list.
#include "settings/comma_list.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> items;
    ReadCommaList(text, items);
    // items without NUL survive a write and a read
    std::vector<std::string> clean;
    for (const std::string& item : items)
        if (item.find('\0') == std::string::npos)
            clean.push_back(item);
    std::vector<std::string> again;
    ReadCommaList(WriteCommaList(clean), again);
    if (again != clean)
        std::abort();
    return 0;
}
