#pragma once

// The one-line search syntax: quoted phrases, the prefixes "rating:",
// "filename:" and "tag:", and free-text words, combined by union. Plain
// functions; any thread.

#include <string>
#include <vector>

struct SearchTerm {
    enum class Kind { FreeText, Tag, FileName, Rating };
    Kind kind = Kind::FreeText;
    std::string value; // the lower-cased text (not for ratings)
    char op = 0;       // '<', '=' or '>' for ratings
    int stars = 0;     // 0 to 5 for ratings

    friend bool operator==(const SearchTerm&, const SearchTerm&) = default;
};

// The terms of a search text, in the order they run: the quoted phrases
// first, then the words left to right.
std::vector<SearchTerm> ParseQuickSearch(const std::string& text);
