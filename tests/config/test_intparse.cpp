#include "config/IntParse.h"
#include <climits>
#include <cstring>
#include <gtest/gtest.h>

using namespace za;

namespace {

struct TCase {
    const char* text;
    bool ok;
    int value;
};

const TCase kCases[] = {
    {"0", true, 0},
    {"42", true, 42},
    {"   42", true, 42},
    {"+7", true, 7},
    {"-5", true, -5},
    {"  -0012", true, -12},
    {"2147483647", true, INT_MAX},
    {"-2147483648", true, INT_MIN},
    {"00000000000000000001", true, 1},
    {"2147483648", false, 0},
    {"-2147483649", false, 0},
    {"99999999999999999999999", false, 0},
    {"", false, 0},
    {"   ", false, 0},
    {"+", false, 0},
    {"-", false, 0},
    {"+-1", false, 0},
    {"- 1", false, 0},
    {"42 ", false, 0},
    {"\t42", false, 0},
    {"4 2", false, 0},
    {"1a", false, 0},
    {"0x10", false, 0},
    {"1.5", false, 0},
};

} // namespace

// Every overload reads the same texts the same way, and a text it refuses
// leaves the target as it was.
TEST(IntParse, StrictDecimal) {
    for (const TCase& c : kCases) {
        int fromChars = -99, fromString = -99, fromView = -99;
        EXPECT_EQ(ParseStrictInt(c.text, c.text + std::strlen(c.text), fromChars), c.ok) << c.text;
        const QString s = QString::fromLatin1(c.text);
        EXPECT_EQ(ParseStrictInt(s, fromString), c.ok) << c.text;
        // A field inside a longer line, as the log line readers hand it over.
        const QString line = "," + s + ",9";
        EXPECT_EQ(ParseStrictInt(QStringView(line).mid(1, s.size()), fromView), c.ok) << c.text;
        const int expected = c.ok ? c.value : -99;
        EXPECT_EQ(fromChars, expected) << c.text;
        EXPECT_EQ(fromString, expected) << c.text;
        EXPECT_EQ(fromView, expected) << c.text;
    }
    // Digits of other scripts and full-width digits are not decimal digits here.
    int v = -99;
    EXPECT_FALSE(ParseStrictInt(QString::fromUtf8("\xd9\xa3"), v));        // Arabic-Indic three
    EXPECT_FALSE(ParseStrictInt(QString::fromUtf8("\xef\xbc\x91"), v));    // full-width one
    EXPECT_EQ(v, -99);
}
