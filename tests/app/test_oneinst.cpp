// Single-instance guard across real processes: this test binary is started
// again as the "other instance" (see OneInstHelper below).
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <cstdio>
#include "support/TestSupport.h"
#include "app/OneInst.h"

using za::TOneInst;

namespace {

const char* kNameVar = "ZA_ONEINST_HELPER";
const char* kModeVar = "ZA_ONEINST_MODE";

QString UniqueName() {
    static int n = 0;
    return QString("ZA_TEST_ONEINST_%1_%2").arg(QCoreApplication::applicationPid()).arg(++n);
}

// Another instance in its own process. mode "serve": holds the guard and runs
// the event loop; "block": holds the guard but never runs the event loop;
// "probe": asks once and prints the result.
class THelper {
public:
    THelper(const QString& name, const QString& mode) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kNameVar, name);
        env.insert(kModeVar, mode);
        proc.setProcessEnvironment(env);
        proc.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&proc, &QProcess::readyRead, [this] { out += proc.readAll(); });
        proc.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=OneInstHelper.Run"});
    }
    ~THelper() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
    bool WaitFor(const char* token, int ms = 15000) {
        return zt::WaitUntil([&] { return out.contains(token); }, ms);
    }
    void KillHard() {   // SIGKILL: no destructor, lock file and socket stay behind
        proc.kill();
        proc.waitForFinished(5000);
    }
    QProcess proc;
    QByteArray out;
};

} // namespace

// Runs only when started by THelper.
TEST(OneInstHelper, Run) {
    const QString name = qEnvironmentVariable(kNameVar);
    if (name.isEmpty()) GTEST_SKIP() << "helper process only";
    const QString mode = qEnvironmentVariable(kModeVar);
    TOneInst guard(name);
    if (mode == "probe") {
        const bool running = guard.IsAlreadyRunning();
        std::printf("HELPER_RESULT running=%d answered=%d\n", int(running), int(guard.AnswerReceived()));
        std::fflush(stdout);
        return;
    }
    QObject::connect(&guard, &TOneInst::ActivateRequested, [] {
        std::printf("HELPER_ACTIVATED\n");
        std::fflush(stdout);
    });
    std::printf("HELPER_READY holds=%d\n", int(guard.HoldsLock()));
    std::fflush(stdout);
    if (mode == "block") {
        QThread::sleep(60);
    } else {
        zt::WaitUntil([] { return false; }, 60000);
    }
}

TEST(OneInst, SecondProcessFrontsFirstAndKilledFirstIsTakenOver) {
    const QString name = UniqueName();
    THelper first(name, "serve");
    ASSERT_TRUE(first.WaitFor("HELPER_READY holds=1")) << first.out.constData();
    {   // a long-running first instance: the age of its lock must not matter
        QFile lock(TOneInst::LockFilePath(name));
        ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
        ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    }

    {
        TOneInst second(name);
        EXPECT_FALSE(second.HoldsLock());
        EXPECT_TRUE(second.IsAlreadyRunning());
        EXPECT_TRUE(second.AnswerReceived());
    }
    EXPECT_TRUE(first.WaitFor("HELPER_ACTIVATED")) << first.out.constData();

    first.KillHard();
    ASSERT_TRUE(QFile::exists(TOneInst::LockFilePath(name)));   // left behind by the killed owner

    TOneInst third(name);
    EXPECT_TRUE(third.HoldsLock());
    EXPECT_FALSE(third.IsAlreadyRunning());

    // The new first instance answers over the socket the killed one left behind.
    int activations = 0;
    QObject::connect(&third, &TOneInst::ActivateRequested, [&] { ++activations; });
    THelper probe(name, "probe");
    EXPECT_TRUE(probe.WaitFor("HELPER_RESULT")) << probe.out.constData();
    EXPECT_TRUE(probe.out.contains("HELPER_RESULT running=1 answered=1")) << probe.out.constData();
    EXPECT_TRUE(zt::WaitUntil([&] { return activations == 1; }));
}

TEST(OneInst, UnresponsiveFirstInstanceStillCountsAndDoesNotHoldUpTheSecond) {
    const QString name = UniqueName();
    THelper first(name, "block");
    ASSERT_TRUE(first.WaitFor("HELPER_READY holds=1")) << first.out.constData();

    TOneInst second(name);
    EXPECT_TRUE(second.IsAlreadyRunning());
    EXPECT_FALSE(second.AnswerReceived());
    // The wait gave up on its own, not because the blocked instance went away.
    EXPECT_EQ(first.proc.state(), QProcess::Running);

    first.KillHard();   // leaves its lock and socket: clear them away
    QLocalServer::removeServer(TOneInst::ServerName(name));
    QFile::remove(TOneInst::LockFilePath(name));
}

TEST(OneInst, LockLastsForTheObjectsLifeAndEmptyNameUsesExecutablePath) {
    const QString name = UniqueName();
    {
        TOneInst a(name);
        EXPECT_TRUE(a.HoldsLock());
        TOneInst b(name);   // same process, lock already held
        EXPECT_FALSE(b.HoldsLock());
    }
    TOneInst c(name);
    EXPECT_TRUE(c.HoldsLock());
    EXPECT_FALSE(c.IsAlreadyRunning());

    TOneInst byPath{QString()};
    QString expected = QCoreApplication::applicationFilePath();
    expected.replace('/', '_');
    EXPECT_EQ(byPath.Name(), expected);
}
