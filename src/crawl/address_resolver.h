#pragma once

#include <QByteArray>
#include <QUrl>

#include <cstddef>
#include <string>
#include <string_view>

// The longest address that resolving gives; a longer result is refused.
inline constexpr std::size_t kMaxResolvedAddress = 255;

// Resolves link values against one base address, parsed once.
//
// Before the first "?" or "#" the result is canonical: dot segments removed,
// spaces, control characters, bytes above 126 and the characters "<>\^`{|}
// percent-encoded, a "%" that starts no escape written %25, escapes already
// present kept as written, scheme and host in small letters. From the first "?"
// or "#" on the text is kept exactly as it stands.
class TAddressResolver final {
public:
    explicit TAddressResolver(std::string_view baseAddress);

    // The base combined with a reference by the rules of relative references (an
    // absolute reference gives itself, canonical). False when either cannot be
    // parsed, the result is not absolute, or it is longer than kMaxResolvedAddress.
    bool Resolve(std::string_view reference, std::string& out) const;

private:
    QUrl m_base;              // the base before its first "?" or "#"
    std::string m_baseHead;   // the same, canonical
    std::string m_baseQuery;  // the base's "?" part up to its fragment
    bool m_valid = false;
};

// An absolute address (scheme, "://", host...) in canonical form (as above);
// false when it cannot be parsed, is not of that form, or comes out longer
// than kMaxResolvedAddress.
bool CanonicalAddress(std::string_view address, std::string& out);
// ResolveAddress(base, reference) = TAddressResolver(base).Resolve(reference).
bool ResolveAddress(std::string_view baseAddress, std::string_view reference, std::string& out);
