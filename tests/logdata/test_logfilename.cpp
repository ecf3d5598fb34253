#include <gtest/gtest.h>
#include "logdata/LogFileName.h"

using za::BuildLogFileName;
using za::ExpandDateCode;

namespace {

const QDateTime kTime(QDate(2011, 3, 31), QTime(14, 5, 9, 123));

struct TCodeCase {
    const char* code;
    const char* expansion;
};

TEST(LogFileName, DateCodes) {
    const TCodeCase cases[] = {
        {"YYYY-MM", "2011-03"},
        {"YYMMDD", "110331"},
        {"QQ-YYYY", "Q1-2011"},
        {"YYYY-M-D_h", "2011-3-31_14"},
        {"hhmm", "1405"},
        {"Week", "Week"},
        {"LOG_NOW", "2011-03-31-14-05-09-123"},
        {"YYY", "111"},            // longest token first: YY then Y
        {"MMM", "033"},
        {"Day", "31ay"},
        {"m", "5"},
        {"Q", "1"},
        {"yqdH", "yqdH"},          // lower-case y, q, d and upper-case H are plain text
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandDateCode(c.code, kTime), c.expansion) << c.code;
}

TEST(LogFileName, NowReplacesWhatCameBeforeButNotAfter) {
    EXPECT_EQ(ExpandDateCode("xNOWx", kTime), "2011-03-31-14-05-09-123x");
}

TEST(LogFileName, QuarterOfEachMonth) {
    const int quarters[12] = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
    for (int m = 1; m <= 12; ++m)
        EXPECT_EQ(ExpandDateCode("QQ", QDateTime(QDate(2011, m, 1), QTime(0, 0))), "Q" + QString::number(quarters[m - 1]));
}

TEST(LogFileName, Composition) {
    EXPECT_EQ(BuildLogFileName("C:\\", "LOG", "YYYY-MM", "", ".LOG", kTime), "C:\\LOG2011-03.LOG");
    // Either separator ends the folder; without one "/" is added.
    EXPECT_EQ(BuildLogFileName("/var/logs", "L", "YYYY", "_x", "LOG", kTime), "/var/logs/L2011_x.LOG");
    EXPECT_EQ(BuildLogFileName("/var/logs/", "L", "YYYY", "_x", ".LOG", kTime), "/var/logs/L2011_x.LOG");
    EXPECT_EQ(BuildLogFileName("C:\\Logs", "", "YYYY", "", "", kTime),
              BuildLogFileName("C:\\Logs/", "", "YYYY", "", "", kTime));
    EXPECT_EQ(BuildLogFileName("", "LOG", "YYYY-MM", "", "LOG", kTime), "LOG2011-03.LOG");
    EXPECT_EQ(BuildLogFileName("", "", "", "", "", kTime), "");
}

} // namespace
