#include "catalogue/QuickSearchParser.h"

#include <array>
#include <string_view>

namespace {

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Takes every quoted phrase out of the text (adding its term) and drops an
// unpartnered quote.
std::string TakeOutPhrases(std::string text, std::vector<SearchTerm>& terms) {
    for (;;) {
        size_t open = text.find('"');
        if (open == std::string::npos) {
            return text;
        }
        size_t close = text.find('"', open + 1);
        if (close == std::string::npos) {
            text.erase(open, 1);
            continue;
        }
        std::string phrase = text.substr(open + 1, close - open - 1);
        if (!phrase.empty()) {
            terms.push_back({SearchTerm::Kind::FreeText, phrase, 0, 0});
        }
        text.erase(open, close - open + 1);
    }
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= text.size()) {
        size_t space = text.find(' ', start);
        if (space == std::string::npos) {
            space = text.size();
        }
        if (space > start) {
            words.push_back(text.substr(start, space - start));
        }
        start = space + 1;
    }
    return words;
}

constexpr std::array<std::string_view, 3> kPrefixes = {"rating:", "filename:", "tag:"};

} // namespace

std::vector<SearchTerm> ParseQuickSearch(const std::string& text) {
    std::vector<SearchTerm> terms;
    if (text.empty()) {
        return terms;
    }
    const std::vector<std::string> words = SplitWords(TakeOutPhrases(LowerAscii(text), terms));
    size_t i = 0;
    // Takes the next word as a value; false when there is none.
    auto nextWord = [&](std::string& value) {
        if (i + 1 >= words.size()) {
            return false;
        }
        value = words[++i];
        return true;
    };
    for (; i < words.size(); ++i) {
        const std::string& word = words[i];
        size_t prefix = 0;
        while (prefix < kPrefixes.size() && word.rfind(kPrefixes[prefix], 0) != 0) {
            ++prefix;
        }
        if (prefix == kPrefixes.size()) {
            terms.push_back({SearchTerm::Kind::FreeText, word, 0, 0});
            continue;
        }
        std::string value = word.substr(kPrefixes[prefix].size());
        if (value.empty() && !nextWord(value)) {
            return terms;
        }
        if (prefix == 1) {
            terms.push_back({SearchTerm::Kind::FileName, value, 0, 0});
            continue;
        }
        if (prefix == 2) {
            terms.push_back({SearchTerm::Kind::Tag, value, 0, 0});
            continue;
        }
        const char op = value[0];
        if (op != '<' && op != '=' && op != '>') {
            continue;
        }
        std::string digits = value.substr(1);
        if (digits.empty() && !nextWord(digits)) {
            return terms;
        }
        if (digits[0] >= '0' && digits[0] <= '5') {
            terms.push_back({SearchTerm::Kind::Rating, {}, op, digits[0] - '0'});
        }
    }
    return terms;
}
