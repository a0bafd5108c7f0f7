#include "catalogue/QuickSearchParser.h"

#include <gtest/gtest.h>

namespace {

using Kind = SearchTerm::Kind;

SearchTerm Free(const char* v) {
    return {Kind::FreeText, v, 0, 0};
}
SearchTerm Tag(const char* v) {
    return {Kind::Tag, v, 0, 0};
}
SearchTerm File(const char* v) {
    return {Kind::FileName, v, 0, 0};
}
SearchTerm Rating(char op, int stars) {
    return {Kind::Rating, "", op, stars};
}

} // namespace

TEST(QuickSearchParser, TermsOfTheSearchText) {
    struct Case {
        const char* text;
        std::vector<SearchTerm> terms;
    };
    const Case cases[] = {
        {"", {}},
        {"Beach", {Free("beach")}},
        {"TAG:Beach", {Tag("beach")}},
        {"tag: beach", {Tag("beach")}},
        {"tag:", {}},
        {"filename:img_ 2009", {File("img_"), Free("2009")}},
        {"rating:3", {}},
        {"rating: 3", {}},
        {"rating:=0", {Rating('=', 0)}},
        {"rating:<2", {Rating('<', 2)}},
        {"rating:> 3 sea", {Rating('>', 3), Free("sea")}},
        {"rating:>", {}},
        {"rating:>35", {Rating('>', 3)}},
        {"rating:>7", {}},
        {"rating:>x", {}},
        {"  two   spaces  ", {Free("two"), Free("spaces")}},
        {"sun \"Golden Gate\" fog", {Free("golden gate"), Free("sun"), Free("fog")}},
        {"\"\" empty", {Free("empty")}},
        {"open \"quote", {Free("open"), Free("quote")}},
        {"\"a\" \"b\" \"c", {Free("a"), Free("b"), Free("c")}},
        {"50%_off", {Free("50%_off")}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseQuickSearch(c.text), c.terms) << c.text;
    }
}
