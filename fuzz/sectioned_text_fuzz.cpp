// The sectioned reader takes any text, fed whole or in pieces, with the same result.
#include "settings/multi_options.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TMultiOptions whole;
    whole.SetSectionedText(text);
    TMultiOptions pieces;
    {
        TSectionedReader reader(pieces);
        const std::size_t step = size > 0 ? (data[0] % 7) + 1 : 1;
        for (std::size_t i = 0; i < size; i += step)
            reader.Feed(text.substr(i, step));
        reader.Finish();
    }
    if (whole.SectionedText() != pieces.SectionedText())
        std::abort();
    // a written collection reads back to the same text
    TMultiOptions again;
    again.SetSectionedText(whole.SectionedText());
    if (static_cast<qint64>(whole.SectionedText().size()) != whole.SectionedSize())
        std::abort();
    return 0;
}
