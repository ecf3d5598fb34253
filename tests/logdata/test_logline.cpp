#include "logdata/LogLine.h"
#include <climits>
#include <gtest/gtest.h>

using namespace za;

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

TEST(LogLine, Build) {
    const TLogRecordTime t{7, 14, 31, 3, 2011};
    struct TCase {
        int layout;
        TLogRecordTime t;
        QVector<int> counts;
        bool sumLog, sumDay;
        const char* line;
    };
    const TCase cases[] = {
        {0, t, {12, 0, 5}, false, false, "14,31,03,2011,   12,    0,    5"},
        {0, t, {12, 0, 5}, true, false, "14,31,03,2011,   12,    0,    5,   17"},
        {0, t, {12, 0, 5}, true, true, "14,31,03,2011,   12,    0,    5,   17,  117"},
        {0, t, {12, 0, 5}, false, true, "14,31,03,2011,   12,    0,    5,  117"},
        {1, t, {12, 0, 5}, false, false, "07,14,31,03,2011,   12,    0,    5"},
        {2, t, {1}, false, false, "07,14,31,03,2011,    1"},          // any other layout: with minutes
        {0, t, {123456, -3}, false, false, "14,31,03,2011,123456,   -3"},
        {0, {0, 5, 1, 2, 99}, {0}, false, false, "05,01,02,  99,    0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BuildLogLine(c.layout, c.t, c.counts, c.sumLog, 17, c.sumDay, 117), c.line) << c.line;
}

TEST(LogLine, ParseAndValidity) {
    struct TCase {
        int layout, n;
        const char* line;
        TLogRecordTime t;
        QVector<int> counts;
        bool valid;
    };
    const TLogRecordTime zero;
    const TCase cases[] = {
        {0, 3, "07,31,03,2011,   12,    3", {0, 7, 31, 3, 2011}, {12, 3, 0}, true},
        {0, 3, "07,31,03,2011,   12,    x,    1", zero, {0, 0, 0}, false},
        {0, 3, "07,31,03", zero, {0, 0, 0}, false},
        {0, 2, "07,31,03,2011,    1,    2,    3,   99", {0, 7, 31, 3, 2011}, {1, 2}, true},
        {1, 3, "45,07,31,03,2011,    1,    2,    3", {45, 7, 31, 3, 2011}, {1, 2, 3}, true},
        {2, 3, "45,07,31,03,2011,    1,    2,    3", zero, {0, 0, 0}, false},
        {1, 1, "60,07,31,03,2011,    1", {60, 7, 31, 3, 2011}, {1}, false},
        {0, 1, "24,31,03,2011,    1", {0, 24, 31, 3, 2011}, {1}, false},
        {0, 1, "07,32,03,2011,    1", {0, 7, 32, 3, 2011}, {1}, false},
        {0, 1, "07,00,03,2011,    1", {0, 7, 0, 3, 2011}, {1}, false},
        {0, 1, "07,31,13,2011,    1", {0, 7, 31, 13, 2011}, {1}, false},
        {0, 1, "07,31,02,2100,    1", {0, 7, 31, 2, 2100}, {1}, false},
        {0, 1, "07,31,02,2011,    1", {0, 7, 31, 2, 2011}, {1}, true},      // day not checked against month
        {0, 1, "07,31,02,  99,99999", {0, 7, 31, 2, 99}, {99999}, true},
        {0, 1, "07,31,03,2011,100000", {0, 7, 31, 3, 2011}, {100000}, false},
        {0, 1, "07,31,03,2011,123456", {0, 7, 31, 3, 2011}, {123456}, false},
        {0, 1, "07,31,03,2011,-32768", {0, 7, 31, 3, 2011}, {-32768}, false},
        {0, 1, "07,31,03,2011,    1 ", zero, {0}, false},                      // trailing blank
        {0, 1, "", zero, {0}, false},
        {0, 0, "07,31,03,2011", {0, 7, 31, 3, 2011}, {}, true},
    };
    for (const auto& c : cases) {
        TLogRecordTime t{9, 9, 9, 9, 9};
        QVector<int> counts{9, 9, 9, 9, 9, 9};
        ParseLine(c.layout, c.n, c.line, t, counts);
        EXPECT_EQ(t.minute, c.t.minute) << c.line;
        EXPECT_EQ(t.hour, c.t.hour) << c.line;
        EXPECT_EQ(t.day, c.t.day) << c.line;
        EXPECT_EQ(t.month, c.t.month) << c.line;
        EXPECT_EQ(t.year, c.t.year) << c.line;
        EXPECT_EQ(counts, c.counts) << c.line;
        EXPECT_EQ(IsValidLine(c.layout, c.n, c.line), c.valid) << c.line;
    }
}

TEST(LogLine, ParseDate) {
    TLogRecordTime t;
    ParseLineDate(1, "45,07,31,03,2011,    x", t);       // counts are not read
    EXPECT_EQ(t.minute, 45);
    EXPECT_EQ(t.year, 2011);
    ParseLineDate(0, "07,31,03,2011", t);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(t.hour, 7);
    ParseLineDate(2, "07,31,03,2011", t);
    EXPECT_EQ(t.hour + t.day + t.month + t.year, 0);
    EXPECT_THROW(ParseLineDate(0, "07,3x,03,2011", t), EConvertError);
    EXPECT_THROW(ParseLineDate(0, "07,31,03", t), EConvertError);
}

TEST(LogLine, StrictIntegers) {
    const std::pair<const char*, int> good[] = {
        {"0", 0}, {"   12", 12}, {"-5", -5}, {"+5", 5}, {"  -0042", -42}, {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN}};
    for (auto [s, v] : good) {
        int out = 7;
        EXPECT_TRUE(ReadIntField(QByteArrayView(s), out)) << s;
        EXPECT_EQ(out, v) << s;
    }
    for (const char* s : {"", "   ", "-", "12 ", "1 2", "x", "0x10", "$10", "2147483648", "-2147483649",
                          "99999999999999999999", "1.0", "\t1", " +-1"}) {
        int out = 7;
        EXPECT_FALSE(ReadIntField(QByteArrayView(s), out)) << s;
    }
}
