#include "project/category_guess.h"

#include "settings/comma_list.h"

#include <vector>

std::string GuessCategory(const TLineStore& categories, std::string_view pageText, std::string_view address)
{
    std::vector<std::string> keywords;
    for (int i = 0; i < categories.Count(); ++i) {
        const std::string_view line = categories.Get(i);
        bool hasName = false;
        const std::string_view name = LineName(line, &hasName);
        if (!hasName)
            continue;
        ReadCommaList(LineValue(line), keywords);
        for (const std::string& word : keywords) {
            if (word.empty())
                continue;
            if (pageText.find(word) != std::string_view::npos || address.find(word) != std::string_view::npos)
                return std::string(name);
        }
    }
    return "Miscellaneous";
}
