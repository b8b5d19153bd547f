#include "config/integer_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using tarnwick::IsInteger;
using tarnwick::ParseInteger;
using tarnwick::ParsePositiveInteger;

TEST(IntegerText, AcceptedFormsAndTheirValues) {
    struct Case {
        std::string text;
        int32_t value;
    };
    const Case cases[] = {
        {"0", 0},
        {"10", 10},
        {"  7", 7},
        {"+5", 5},
        {"-3", -3},
        {"-0", 0},
        {"2147483647", INT32_MAX},
        {"+2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"0000000000000000000012", 12}, // leading zeros do not count against the range
        {"$A", 10},
        {"$a", 10},
        {"xff", 255},
        {"X10", 16},
        {"0x10", 16},
        {"0X1f", 31},
        {"   0x7FFFFFFF", INT32_MAX},
        {"$FFFFFFFF", -1},
        {"$ffffffff", -1},
        {"$80000000", INT32_MIN},
        {"$000000000001", 1},
        {"0x00000000FFFFFFFE", -2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseInteger(c.text), c.value) << '"' << c.text << '"';
        EXPECT_TRUE(IsInteger(c.text)) << '"' << c.text << '"';
    }
}

TEST(IntegerText, RefusedForms) {
    const std::string cases[] = {
        "",
        " ",
        "\t5", // blanks only, not tabs
        "5 ",  // nothing after the digits, not even a blank
        " 7 ",
        "abc",
        "2147483648",
        "-2147483649",
        "99999999999999999999999",
        "$",
        "x",
        "X",
        "0x",
        "0X",
        "$100000000", // nine significant hexadecimal digits
        "$FFFFFFFF0",
        "$G",
        "+",
        "-",
        "+-5",
        "--5",
        "-$5", // a sign goes with decimal digits only
        "+0x5",
        "- 5",
        "5.0",
        "1e3",
        "0x-1",
        "$ A",
        "0xx1",
        "0b1",
        "$$1",
        "1,000",
        std::string("5\0", 2),
        std::string("\0"
                    "5",
                    2),
        "\xd9\xa1", // a digit of another script
    };
    for (const std::string& text : cases) {
        EXPECT_FALSE(ParseInteger(text).has_value()) << '"' << text << '"';
        EXPECT_FALSE(IsInteger(text)) << '"' << text << '"';
    }
}

TEST(IntegerText, EveryBoundaryOfTheRange) {
    // Both sides of each limit, by decimal and by hexadecimal digits.
    EXPECT_EQ(ParseInteger("2147483646"), 2147483646);
    EXPECT_FALSE(ParseInteger("2147483657").has_value());
    EXPECT_FALSE(ParseInteger("21474836470").has_value());
    EXPECT_FALSE(ParseInteger("-21474836480").has_value());
    EXPECT_EQ(ParseInteger("$0FFFFFFF"), 0x0FFFFFFF);
    EXPECT_EQ(ParseInteger("$10000000"), 0x10000000);
    EXPECT_FALSE(ParseInteger("$1000000000").has_value());
}

// Delay and wait seconds and the tool time limit: the same syntax, then nothing below 1.
TEST(IntegerText, PositiveWholeNumbers) {
    EXPECT_EQ(ParsePositiveInteger("1"), 1);
    EXPECT_EQ(ParsePositiveInteger(" 0x3C"), 60);
    EXPECT_EQ(ParsePositiveInteger("$7FFFFFFF"), INT32_MAX);
    for (const char* text : {"0", "-0", "-1", "$FFFFFFFF", "$80000000", "1.5", "", "ten"})
        EXPECT_FALSE(ParsePositiveInteger(text).has_value()) << '"' << text << '"';
}

TEST(IntegerText, LongInputsAreRefusedWithoutOverflow) {
    EXPECT_FALSE(IsInteger(std::string(100000, '9')));
    EXPECT_FALSE(IsInteger("$" + std::string(100000, 'F')));
    EXPECT_EQ(ParseInteger(std::string(100000, ' ') + "42"), 42);
    EXPECT_EQ(ParseInteger(std::string(100000, '0') + "42"), 42);
}
