// The box queue in front of a channel whose boxes behave like real modal ones:
// each runs the event loop for a while before it "closes".
#include "logdata/BoxQueue.h"
#include "config/Clock.h"
#include "tests/support/TestSupport.h"
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>

using namespace za;

namespace {

class TModalChannel : public TMessageChannel {
public:
    void ShowBox(TBoxKind kind, const QString& text) override {
        shown << text;
        kinds.push_back(kind);
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (whileOpen) whileOpen(text);
        QEventLoop loop;
        QTimer::singleShot(openMs, &loop, &QEventLoop::quit);
        loop.exec();
        --depth;
    }
    void Beep() override { ++beeps; }

    QStringList shown;
    QVector<TBoxKind> kinds;
    int depth = 0;
    int maxDepth = 0;
    int beeps = 0;
    int openMs = 20;
    std::function<void(const QString&)> whileOpen;
};

struct TBoxQueueFixture : ::testing::Test {
    TModalChannel inner;
    bool dispatching = false;
    std::unique_ptr<TBoxQueue> queue = std::make_unique<TBoxQueue>(inner, [this] { return dispatching; });

    // Lets the event loop run until the queue has nothing left to show.
    void Settle() {
        EXPECT_TRUE(zt::WaitUntil([&] { return queue->Pending() == 0 && !queue->BoxOpen(); }, 10000));
    }
};

} // namespace

TEST_F(TBoxQueueFixture, OutsideAFrameABoxIsShownAtOnce) {
    queue->ShowBox(TBoxKind::Warning, "at once");
    EXPECT_EQ(inner.shown, QStringList{"at once"}) << "shown before ShowBox returned";
    EXPECT_EQ(inner.kinds.value(0), TBoxKind::Warning);
    queue->Beep();
    EXPECT_EQ(inner.beeps, 1);
}

TEST_F(TBoxQueueFixture, TheSameTextRaisedDuringFramesIsShownOnce) {
    // A read-only settings folder: every record of a long unattended run
    // reports the same failure. The event-log file still gets every entry.
    zt::TScratchDir dir;
    TFixedClock clock;
    TEventLog log(queue.get(), &clock);
    log.SetFileName(dir.File("app.log"));
    dispatching = true;
    for (int i = 0; i < 1000; ++i) {
        log.Log("Could not save settings", 5);
        queue->Beep();
    }
    zt::WaitUntil([] { return false; }, 200);
    EXPECT_TRUE(inner.shown.isEmpty()) << "nothing is shown while a frame is being handled";
    EXPECT_EQ(inner.beeps, 1000);
    EXPECT_EQ(zt::ReadLines(dir.File("app.log")).size(), 1000);

    dispatching = false;
    ASSERT_TRUE(zt::WaitUntil([&] { return !inner.shown.isEmpty(); }, 2000));
    Settle();
    EXPECT_EQ(inner.shown, QStringList{"Could not save settings"});
    EXPECT_EQ(inner.kinds.value(0), TBoxKind::Error);
    EXPECT_EQ(queue->Dropped(), 0) << "repeats are not counted as overflow";

    // Once closed, the same failure may be shown again.
    log.Log("Could not save settings", 5);
    EXPECT_EQ(inner.shown.size(), 2);
}

TEST_F(TBoxQueueFixture, BoxesRaisedInsideAnOpenBoxWaitTheirTurn) {
    // Inside the first box records keep coming: a frame raises boxes (one of
    // them the text that is open), and so does code outside a frame.
    inner.whileOpen = [&](const QString& text) {
        if (text != "first") return;
        dispatching = true;
        queue->ShowBox(TBoxKind::Error, "first");
        queue->ShowBox(TBoxKind::Error, "from a frame");
        dispatching = false;
        queue->ShowBox(TBoxKind::Information, "outside a frame");
        queue->ShowBox(TBoxKind::Error, "from a frame");
    };
    queue->ShowBox(TBoxKind::Warning, "first");
    Settle();
    EXPECT_EQ(inner.shown, (QStringList{"first", "from a frame", "outside a frame"}));
    EXPECT_EQ(inner.maxDepth, 1) << "never one box inside another";
    EXPECT_EQ(inner.kinds.value(2), TBoxKind::Information);
}

TEST_F(TBoxQueueFixture, DistinctTextsKeepTheirOrderUpToTheBound) {
    const int n = TBoxQueue::MaxPending + 30;
    dispatching = true;
    for (int i = 0; i < n; ++i) {
        queue->ShowBox(TBoxKind::Error, QString("text %1").arg(i));
        queue->ShowBox(TBoxKind::Error, "text 0");
    }
    EXPECT_EQ(queue->Pending(), TBoxQueue::MaxPending);
    EXPECT_EQ(queue->Dropped(), 30);
    inner.openMs = 0;
    dispatching = false;
    Settle();
    QStringList expected;
    for (int i = 0; i < TBoxQueue::MaxPending; ++i) expected << QString("text %1").arg(i);
    EXPECT_EQ(inner.shown, expected);
    EXPECT_EQ(inner.maxDepth, 1);
}

TEST_F(TBoxQueueFixture, CloseDropsWhatIsPendingAndRefusesNewBoxes) {
    dispatching = true;
    for (const char* t : {"a", "b", "c"}) queue->ShowBox(TBoxKind::Error, t);
    dispatching = false;
    // Shutdown starts while the first box is open.
    inner.whileOpen = [&](const QString&) {
        queue->Close();
        queue->ShowBox(TBoxKind::Error, "during shutdown");
    };
    ASSERT_TRUE(zt::WaitUntil([&] { return !inner.shown.isEmpty(); }, 2000));
    zt::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(inner.shown, QStringList{"a"});
    EXPECT_TRUE(queue->Closed());
    EXPECT_EQ(queue->Pending(), 0);
    queue->ShowBox(TBoxKind::Error, "after");
    queue->Beep();
    EXPECT_EQ(inner.shown, QStringList{"a"});
    EXPECT_EQ(inner.beeps, 1) << "beeps still pass";
}

TEST_F(TBoxQueueFixture, AQueueDestroyedWithBoxesPendingOrOpenIsNotCalledAgain) {
    dispatching = true;
    queue->ShowBox(TBoxKind::Error, "pending");
    queue.reset();
    zt::WaitUntil([] { return false; }, 200);
    EXPECT_TRUE(inner.shown.isEmpty());

    // Released from inside its own open box (the program ends in the box's loop).
    dispatching = false;
    queue = std::make_unique<TBoxQueue>(inner, [this] { return dispatching; });
    dispatching = true;
    queue->ShowBox(TBoxKind::Error, "open");
    queue->ShowBox(TBoxKind::Error, "next");
    dispatching = false;
    inner.whileOpen = [&](const QString&) { queue.reset(); };
    ASSERT_TRUE(zt::WaitUntil([&] { return !queue; }, 2000));
    zt::WaitUntil([] { return false; }, 200);
    EXPECT_EQ(inner.shown, QStringList{"open"});
}
