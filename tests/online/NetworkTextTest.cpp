#include "online/NetworkText.h"

#include <gtest/gtest.h>

TEST(NetworkText, KeepsUtf8AndReadsStrayBytesAsLatin1) {
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"caf\xE9", "caf\xC3\xA9"},                   // Latin-1 e acute
        {"\xC3", "\xC3\x83"},                         // a lead byte at the end
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},             // an overlong form is no UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}, // nor is a surrogate
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(online::DecodeNetworkText(c.bytes), c.expected);
    }
}
