// What the tools and benches share: the bounded number reader and the
// display texts, on byte strings.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/bounded_int.h"
#include "base/display_text.h"

namespace {

TEST(BoundedInt, NumbersWithinTheBounds) {
    const struct {
        const char* text;
        int64_t smallest, largest, value;
    } cases[] = {
        {"0", 0, 10, 0},
        {"10", 0, 10, 10},
        {"007", 0, 10, 7},
        {"-5", -5, 5, -5},
        {"-0", 0, 0, 0},
        {"9223372036854775807", INT64_MIN, INT64_MAX, INT64_MAX},
        {"-9223372036854775808", INT64_MIN, INT64_MAX, INT64_MIN},
    };
    for (const auto& c : cases) {
        int64_t value = -1;
        std::string error;
        EXPECT_TRUE(ParseBoundedInt(c.text, {"", c.smallest, c.largest, "x"}, &value, &error))
            << c.text << ": " << error;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(BoundedInt, ErrorsNameTheProblem) {
    const struct {
        std::string text;
        int64_t smallest, largest;
        std::string error;
    } cases[] = {
        {"100001", 1, 1000, "100001 is above the largest factor, 1000"},
        {"0", 1, 1000, "0 is below the smallest factor, 1"},
        {"-3", 1, 1000, "-3 is below the smallest factor, 1"},
        {"-1", -10, -5, "-1 is above the largest factor, -5"},
        {"99999999999999999999", 1, 1000, "99999999999999999999 is above the largest factor, 1000"},
        {"9223372036854775808", INT64_MIN, INT64_MAX,
         "9223372036854775808 is above the largest factor, 9223372036854775807"},
        {"-99999999999999999999", 1, 1000, "-99999999999999999999 is below the smallest factor, 1"},
        {"", 1, 1000, "no number given"},
        {"-", 1, 1000, "\"-\" is not a whole number"},
        {"+5", 1, 1000, "\"+5\" is not a whole number"},
        {" 5", 1, 1000, "\" 5\" is not a whole number"},
        {"5 ", 1, 1000, "\"5 \" is not a whole number"},
        {"1.5", 1, 1000, "\"1.5\" is not a whole number"},
        {"0x10", 1, 1000, "\"0x10\" is not a whole number"},
        {std::string("1\0", 2), 1, 1000, "\"1?\" is not a whole number"},
        {"\x1B[2J" + std::string(40, 'x'), 1, 1000,
         "\"?[2J" + std::string(20, 'x') + "...\" is not a whole number"},
    };
    for (const auto& c : cases) {
        int64_t value = 77;
        std::string error;
        EXPECT_FALSE(ParseBoundedInt(c.text, {"", c.smallest, c.largest, "factor"}, &value, &error))
            << c.text;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(value, 77);
    }
    int64_t value = 0;
    std::string error;
    EXPECT_FALSE(ParseBoundedInt("100001", {"--speed", 1, 1000, "factor"}, &value, &error));
    EXPECT_EQ(error, "--speed: 100001 is above the largest factor, 1000");
    EXPECT_FALSE(ParseBoundedInt("", {"--port", 1, 65535, "port"}, &value, &error));
    EXPECT_EQ(error, "--port: no number given");
}

TEST(DisplayText, CatalogueBytesAsUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},                          // UTF-8 passes
        {"\xE2\x82\xAC \xF0\x9F\x8E\xB5", "\xE2\x82\xAC \xF0\x9F\x8E\xB5"},  // 3 and 4 bytes
        {"\xE9t\xE9", "\xC3\xA9t\xC3\xA9"},                                  // Windows-1252
        {"\x80\x99\x9F\xFF", "\xE2\x82\xAC\xE2\x84\xA2\xC5\xB8\xC3\xBF"},
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // unassigned
        {"Caf\xC3\xA9 \xE9", "Caf\xC3\xA9 \xC3\xA9"},                          // both in one text
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                  // overlong: not UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},  // a surrogate: not UTF-8
        {"\xC3", "\xC3\x83"},                              // cut sequence
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CatalogueTextToUtf8(c.first), c.second) << c.first;
    }
}

TEST(DisplayText, Utf8AsCp1252) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"Caf\xC3\xA9 \xC3\xBF", "Caf\xE9 \xFF"},
        {"\xE2\x82\xAC\xE2\x84\xA2\xC5\xB8", "\x80\x99\x9F"},  // the bytes 0x80..0x9F
        {"\xE2\x9C\x93 \xF0\x9F\x8E\xB5 \xC2\x81", "? ? ?"},   // none in Windows-1252
        {"\xE9t\xE9", "\xE9t\xE9"},                            // not UTF-8: as it is
        {"\xC3", "\xC3"},                                      // cut sequence
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8TextToCp1252(c.first), c.second) << c.first;
    }
}

TEST(DisplayText, TerminalSafe) {
    const std::pair<std::string, std::string> cases[] = {
        {"Caf\xC3\xA9 \xE2\x82\xAC", "Caf\xC3\xA9 \xE2\x82\xAC"},
        {"\x1B[31mred\x1B[0m", "?[31mred?[0m"},
        {"a\tb\r\nc\x7F", "a?b??c?"},
        {"\xC2\x9B"
         "2J \xC2\x85",
         "?2J ?"},      // C1 controls
        {"\xE9", "?"},  // not UTF-8
        {std::string("\0", 1), "?"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TerminalSafeText(c.first), c.second) << c.first;
    }
}

}  // namespace
