// The whole program against the counter simulator with damaged frames on the
// line: a cut frame must not join the record after it, and a false start must
// not cost the record behind it.
#include <gtest/gtest.h>

#include <QFile>

#include "support/AppProcess.h"
#include "support/Simulator.h"
#include "support/TestSupport.h"

namespace {

using zt::TSimulator;

void Pause(int ms) { zt::WaitUntil([] { return false; }, ms); }

} // namespace

TEST(EndToEndFrames, CutFramesInventNoRecordAndFalseStartsCostNone) {
    zt::TScratchDir dir;
    const QString folder = dir.Path();
    zt::WriteIni(folder, QString());
    TSimulator sim;
    ASSERT_FALSE(sim.Start({"--link", folder + "/counter.tty", "--resend-ms", "4000"}).isEmpty());
    zt::TAppProcess app(folder, "2011-03-15T14:30:00");
    ASSERT_TRUE(sim.WaitForEvent("PORT open", 10000).startsWith("PORT open")) << app.Stderr().toStdString();

    // A first record answered: the program reads the line from now on.
    ASSERT_TRUE(sim.Command("record 13 15 3 2011 1 1 1"));
    ASSERT_TRUE(zt::WaitUntil([&] { return sim.AckedCount() == 1; }, 15000)) << app.Stderr().toStdString();

    // A record cut after its first count, then soon the next whole record,
    // whose first bytes would complete the cut one as a record of 2089.
    ASSERT_TRUE(sim.Command("raw 02 10 10 0B 0C 02 29 08 E3 6F"));
    Pause(500);
    ASSERT_TRUE(sim.Command("record 14 15 3 2011 4 5 6"));
    ASSERT_TRUE(zt::WaitUntil([&] { return sim.AckedCount() == 2; }, 15000)) << sim.Events().join("\n").toStdString();

    // A false start right in front of a whole record, outside the counter's
    // queue, so that nothing is sent again: the record is stored all the same.
    const QByteArray behind = zt::Frame(16, QByteArray::fromHex("0F0F03DB07070008000900"));
    ASSERT_TRUE(sim.Command("raw 02 40 " + TSimulator::ToHex(behind)));
    const QString logFile = folder + "/LOG2011-03.LOG";
    ASSERT_TRUE(zt::WaitUntil([&] { return zt::ReadLines(logFile).size() >= 3; }, 5000)) << zt::ReadAll(logFile).toStdString();
    Pause(1500);

    EXPECT_EQ(zt::ReadAll(logFile), "13,15,03,2011,    1,    1,    1\r\n"
                                    "14,15,03,2011,    4,    5,    6\r\n"
                                    "15,15,03,2011,    7,    8,    9\r\n");
    EXPECT_EQ(sim.ReceivedFrames("Ack").size(), 3) << "one Ack per real record";
    EXPECT_EQ(sim.AckedCount(), 2);
    EXPECT_EQ(sim.CountEvents("SENT 2 "), 1) << "the record behind the cut frame went out once";
}
