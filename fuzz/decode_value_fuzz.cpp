// DecodeValue of any text never fails, and encoding then decoding any value
// gives the value back.
#include "settings/options_list.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    DecodeValue(text);
    const std::string encoded = EncodeValue(text);
    for (unsigned char c : encoded)
        if (c < 0x20)
            std::abort();
    // a value holding the NUL marker's text (or a part of it that a NUL beside it
    // completes) comes back with a NUL in its place: the stored form cannot tell
    if (text.find("\x01NULL\x01") == std::string::npos && DecodeValue(encoded) != text)
        std::abort();
    return 0;
}
