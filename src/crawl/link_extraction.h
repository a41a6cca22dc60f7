#pragma once

#include <string>
#include <string_view>
#include <vector>

// The candidate addresses of a document, in this order: the base address, the
// folders above it (ParentFolders), then every distinct value found in the text,
// resolved against the base, in the order in which each value ended. A value is
// an SRC or HREF attribute value or quoted text starting with "http://" or
// "www."; values holding "mailto:" are left out, a "#" and what follows it is
// cut off, and a value that cannot be resolved or resolves to more than 255
// characters is dropped. Values compare without regard to ASCII letter case and
// the first form met stays. Links is cleared first; base is the address the
// document was fetched from.
void ExtractLinks(std::string_view text, std::vector<std::string>& links, std::string_view baseAddress);

// Whether text holds one of the words as a substring, letter case exact; an
// empty word never matches. The first form uses the adult keywords (AdultWords).
bool ContainsAdultWord(std::string_view text);
bool ContainsAdultWord(std::string_view text, const std::vector<std::string>& words);
