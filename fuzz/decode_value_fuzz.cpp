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
    // a value holding the NUL marker text comes back with a NUL in its place
    if (text.find(std::string("=>\x01NULL\x01<=", 10)) == std::string::npos && DecodeValue(encoded) != text)
        std::abort();
    return 0;
}
