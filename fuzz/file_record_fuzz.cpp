// FromText takes any text; whatever it reads writes and reads back unchanged.
#include "project/file_record.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    TFileRecord record;
    if (!record.FromText(text))
        return 0;
    const std::string once = record.ToText();
    // a text that itself begins with "FILE-" reads as a whole list line
    if (once.rfind("FILE-", 0) == 0)
        return 0;
    TFileRecord again;
    if (!again.FromText(once) || again.ToText() != once)
        std::abort();
    return 0;
}
