#pragma once

// The byte scanner under ExtractLinks, apart from what is done with the values it
// finds, so that its speed can be measured alone.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace link_scanner {

enum TByteKind : unsigned char {
    kPlain = 0,    // collected as it is
    kEquals,       // may start an attribute value
    kDoubleQuote,  // may start a quoted address or end a value
    kSingleQuote,  // may start a quoted address (outside a value) or end a value
    kClose,        // ">" ends a value
    kSkipped,      // control characters and code 255 are left out of a value
};

inline constexpr std::array<unsigned char, 256> kByteKind = [] {
    std::array<unsigned char, 256> kinds{};
    for (int c = 0; c <= 30; ++c)
        kinds[c] = kSkipped;
    kinds[255] = kSkipped;
    kinds['='] = kEquals;
    kinds['"'] = kDoubleQuote;
    kinds['\''] = kSingleQuote;
    kinds['>'] = kClose;
    return kinds;
}();

// Outside a value only "=" and the two quotes can matter.
inline constexpr std::array<bool, 256> kIdleStop = [] {
    std::array<bool, 256> stop{};
    stop['='] = stop['"'] = stop['\''] = true;
    return stop;
}();

inline char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

inline bool SameLower(const char* text, std::string_view lower)
{
    for (std::size_t i = 0; i < lower.size(); ++i)
        if (Lower(text[i]) != lower[i])
            return false;
    return true;
}

// "=" at p directly after SRC or HREF in any letter case (lowsrc= and xhref= too).
inline bool AttributeBefore(const char* text, std::size_t p)
{
    return (p >= 3 && SameLower(text + p - 3, "src")) || (p >= 4 && SameLower(text + p - 4, "href"));
}

// The quote at p opens "http://" or "www." in any letter case.
inline bool QuotedAddressAt(const char* text, std::size_t size, std::size_t p)
{
    return (size - p >= 8 && SameLower(text + p + 1, "http://")) || (size - p >= 5 && SameLower(text + p + 1, "www."));
}

inline std::size_t SkipIdle(const char* text, std::size_t size, std::size_t p)
{
    while (p < size && !kIdleStop[static_cast<unsigned char>(text[p])])
        ++p;
    return p;
}

inline std::size_t SkipPlain(const char* text, std::size_t size, std::size_t p)
{
    while (p < size && kByteKind[static_cast<unsigned char>(text[p])] == kPlain)
        ++p;
    return p;
}

} // namespace link_scanner

// Scans text for the values of SRC and HREF attributes and for quoted text that
// starts with "http://" or "www.", and calls sink(value) with each value as it
// ends, in text order. An attribute value still begins with its "="; a value is
// ended by a quote or ">" only once it holds more than 2 characters; a value
// still open at the end of the text is dropped.
template <typename Sink>
void ScanLinkValues(std::string_view text, Sink&& sink)
{
    using namespace link_scanner;
    const char* const s = text.data();
    const std::size_t n = text.size();
    std::string collected;
    bool collecting = false;
    std::size_t p = 0;
    while (p < n) {
        if (!collecting) {
            p = SkipIdle(s, n, p);
            if (p == n)
                break;
            if (s[p] == '=') {
                if (AttributeBefore(s, p)) {
                    collecting = true;
                    collected.assign(1, '=');
                }
            } else if (QuotedAddressAt(s, n, p)) {
                collecting = true;
                collected.clear();
            }
            ++p;
            continue;
        }
        const std::size_t plainEnd = SkipPlain(s, n, p);
        collected.append(s + p, plainEnd - p);
        p = plainEnd;
        if (p == n)
            break;
        switch (kByteKind[static_cast<unsigned char>(s[p])]) {
        case kEquals:
            if (AttributeBefore(s, p))
                collected.clear();
            collected.push_back('=');
            break;
        case kDoubleQuote:
            // a double quote opening an address restarts the value even inside one
            if (QuotedAddressAt(s, n, p)) {
                collected.clear();
                break;
            }
            [[fallthrough]];
        case kSingleQuote:
        case kClose:
            // two characters or fewer: the opening quote after "=" passes, and a
            // short value runs on into the text that follows
            if (collected.size() > 2) {
                collecting = false;
                sink(std::string_view(collected));
                collected.clear();
            }
            break;
        default:
            break;
        }
        ++p;
    }
}
