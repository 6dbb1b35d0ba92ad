// Minutes-and-seconds values: parsing, display and difference.
#include <gtest/gtest.h>

#include <string>

#include "changer/min_sec.h"

namespace {

std::string Text(const MinSec& value) {
    char text[8];
    value.Format(text);
    return text;
}

MinSec Make(int minutes, int seconds) {
    MinSec value;
    value.bMinutes = static_cast<uint8_t>(minutes);
    value.bSeconds = static_cast<uint8_t>(seconds);
    return value;
}

TEST(MinSec, ParseAndFormat) {
    MinSec value;
    value.Parse("0405");
    EXPECT_EQ(value.bMinutes, 4);
    EXPECT_EQ(value.bSeconds, 5);
    EXPECT_EQ(Text(value), "4:05");
    EXPECT_EQ(Text(Make(12, 30)), "12:30");
    EXPECT_EQ(Text(MinSec()), "0:00");
}

TEST(MinSec, ParseTakesBytesUnchecked) {
    // Non-digits give a defined value, wrapped at 256; formatting stays in bounds.
    MinSec value;
    value.Parse("\xff\xff\xff\xff");
    char text[8];
    value.Format(text);
    EXPECT_LT(std::string(text).size(), 8u);
}

TEST(MinSec, SubtractBorrowsOnce) {
    MinSec value = Make(3, 10);
    value.Subtract(Make(1, 20));
    EXPECT_EQ(Text(value), "1:50");

    value = Make(2, 0);
    value.Subtract(Make(2, 0));
    EXPECT_EQ(Text(value), "0:00");

    // A start after the end wraps.
    value = Make(0, 10);
    value.Subtract(Make(0, 20));
    EXPECT_EQ(value.bMinutes, 255);
    EXPECT_EQ(value.bSeconds, 50);
}

}  // namespace
