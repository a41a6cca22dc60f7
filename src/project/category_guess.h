#pragma once

#include "settings/line_store.h"

#include <string>
#include <string_view>

// The category a page belongs to by the keyword lines of categories.dat
// (category=keywords): the first category in file order with a keyword found in
// the page text or in the address (case-sensitive substring test), else
// "Miscellaneous".
std::string GuessCategory(const TLineStore& categories, std::string_view pageText, std::string_view address);
