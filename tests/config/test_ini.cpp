#include "config/IniFile.h"
#include "tests/config/FileWatch.h"
#include "tests/support/TestSupport.h"
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

using namespace za;

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

struct TIntCase {
    const char* key;
    int def;
    int expected;
};

// Runs one test of this binary again in a child process under another regional
// setting (Qt takes the system locale from LC_ALL).
QString RunChild(const QString& filter, const QString& locale, const QString& dir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", locale);
    env.insert("ZT_CHILD_DIR", dir);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=" + filter});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
}

} // namespace

TEST(IniRead, ValuesAndDefaults) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    zt::WriteAll(path,
                 "; hand-edited\r\n"
                 "[Setup]\r\n"
                 "ComPort=0x10\r\n"
                 "upperhex=0X1f\r\n"
                 "dollar=$FF\r\n"
                 "allbits=$FFFFFFFF\r\n"
                 "neg=-5\r\n"
                 "plus=+7\r\n"
                 "bool2=2\r\n"
                 "bad=abc\r\n"
                 "empty=\r\n"
                 "  spaced  =  42  \r\n"
                 "toobig=2147483648\r\n"
                 "lowest=-2147483648\r\n"
                 "trailing=12 x\r\n"
                 "badhex=0xG1\r\n"
                 "quoted=\"Door 1\"\r\n"
                 "[Other]\r\n"
                 "ComPort=99\r\n");
    TIniFile ini(path);
    const TIntCase cases[] = {
        {"COMPORT", -1, 16}, {"UPPERHEX", 0, 31},  {"dollar", 0, 255},  {"allbits", 0, -1},
        {"neg", 0, -5},      {"plus", 0, 7},       {"bool2", 0, 2},     {"bad", 3, 3},
        {"empty", 3, 3},     {"spaced", 0, 42},    {"toobig", 9, 9},    {"lowest", 0, INT_MIN},
        {"trailing", 9, 9},  {"badhex", 9, 9},     {"missing", -1, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(ini.ReadInteger("SETUP", c.key, c.def), c.expected) << c.key;

    EXPECT_TRUE(ini.ReadBool("setup", "bool2", false));
    EXPECT_FALSE(ini.ReadBool("setup", "bad", false));
    EXPECT_TRUE(ini.ReadBool("setup", "bad", true));
    EXPECT_EQ(ini.ReadString("SETUP", "comport", "x"), "0x10");
    EXPECT_EQ(ini.ReadString("SETUP", "empty", "x"), "");     // present but empty is not missing
    EXPECT_EQ(ini.ReadString("SETUP", "missing", "x"), "x");
    EXPECT_EQ(ini.ReadString("SETUP", "quoted", ""), "Door 1");
    EXPECT_EQ(ini.ReadInteger("OTHER", "COMPORT", 0), 99);
    EXPECT_TRUE(ini.SectionExists("setup"));
    EXPECT_TRUE(ini.ValueExists("Setup", "SPACED"));
    EXPECT_FALSE(ini.ValueExists("Other", "spaced"));
    EXPECT_EQ(ini.ReadSection("OTHER"), QStringList{"ComPort"});

    TIniFile none(dir.File("missing.ini"));
    EXPECT_EQ(none.ReadInteger("SETUP", "COMPORT", -1), -1);
    EXPECT_EQ(none.ReadString("SETUP", "X", "d"), "d");
    EXPECT_FALSE(QFile::exists(dir.File("missing.ini")));       // reading never creates the file
}

TEST(IniRead, LongStringIsCutAt2047) {
    zt::TScratchDir dir;
    TIniFile ini(dir.File("app.ini"));
    ini.WriteString("S", "LONG", QString(3000, 'a'));
    EXPECT_EQ(ini.ReadString("S", "LONG", "").size(), 2047);
    ini.WriteString("S", "EXACT", QString(2047, 'b'));
    EXPECT_EQ(ini.ReadString("S", "EXACT", ""), QString(2047, 'b'));
}

TEST(IniDateTime, NumbersAndTimesRoundTrip) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    TIniFile ini(path);
    const TDateTime noon = EncodeDateTime(2011, 3, 31, 12, 0, 0);
    const TDateTime odd = EncodeDateTime(2011, 3, 31, 14, 5, 9, 123);
    ini.WriteDateTime("TIME", "NOON", noon);
    ini.WriteDateTime("TIME", "ODD", odd);
    ini.WriteDateTime("TIME", "NEVER", 0);
    ini.WriteTime("SETUP", "START", EncodeTime(22, 0, 0));
    const QString point = QLocale::system().decimalPoint();
    EXPECT_EQ(ini.ReadString("TIME", "NOON", ""), "40633" + point + "5");
    EXPECT_EQ(ini.ReadString("TIME", "NEVER", ""), "0");
    EXPECT_EQ(ini.ReadDateTime("TIME", "NOON", -1), noon);
    EXPECT_EQ(ini.ReadDateTime("TIME", "ODD", -1), odd);
    EXPECT_EQ(ini.ReadTime("SETUP", "START", -1), EncodeTime(22, 0, 0));

    zt::WriteAll(path,
                 "[T]\r\nPOINT=40633.5\r\nCOMMA=40633,5\r\nBAD=abc\r\nHUGE=1e300\r\nINF=inf\r\n"
                 "T1=22:00\r\nT2=7:05:30\r\nT3=25:00:00\r\nT4=x\r\nT5=22:00:00\r\n");
    EXPECT_EQ(ini.ReadDateTime("T", "POINT", -1), 40633.5);
    EXPECT_EQ(ini.ReadDateTime("T", "COMMA", -1), 40633.5);
    EXPECT_EQ(ini.ReadDateTime("T", "BAD", -1), -1);
    EXPECT_EQ(ini.ReadDateTime("T", "HUGE", -1), -1);
    EXPECT_EQ(ini.ReadDateTime("T", "INF", -1), -1);
    EXPECT_EQ(ini.ReadTime("T", "T1", -1), EncodeTime(22, 0, 0));
    EXPECT_EQ(ini.ReadTime("T", "T2", -1), EncodeTime(7, 5, 30));
    EXPECT_EQ(ini.ReadTime("T", "T3", -1), -1);
    EXPECT_EQ(ini.ReadTime("T", "T4", -1), -1);
    EXPECT_EQ(ini.ReadTime("T", "T5", -1), EncodeTime(22, 0, 0));
}

// Under a regional setting with a decimal comma the file carries the comma.
TEST(IniDateTime, DecimalCommaSetting) {
    zt::TScratchDir dir;
    const QString out = RunChild("IniDateTime.ChildDecimalComma", "da_DK.UTF-8", dir.Path());
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    EXPECT_EQ(zt::ReadLines(dir.File("app.ini")),
              (QStringList{"[TIME]", "NOON=40633,5", "", "[SETUP]", "START=22.00.00"}));
}

TEST(IniDateTime, ChildDecimalComma) {
    const QString dirPath = qEnvironmentVariable("ZT_CHILD_DIR");
    if (dirPath.isEmpty()) GTEST_SKIP() << "runs only as the child of DecimalCommaSetting";
    ASSERT_EQ(QLocale::system().decimalPoint(), ",");
    TIniFile ini(dirPath + "/app.ini");
    ini.WriteDateTime("TIME", "NOON", 40633.5);
    ini.WriteTime("SETUP", "START", EncodeTime(22, 0, 0));
    EXPECT_EQ(ini.ReadDateTime("TIME", "NOON", -1), 40633.5);
    EXPECT_EQ(ini.ReadTime("SETUP", "START", -1), EncodeTime(22, 0, 0));
    // A file from a machine with a decimal point still reads.
    TIniFile other(dirPath + "/other.ini");
    zt::WriteAll(dirPath + "/other.ini", "[T]\nP=40633.25\nT=22:30:00\n");
    EXPECT_EQ(other.ReadDateTime("T", "P", -1), 40633.25);
    EXPECT_EQ(other.ReadTime("T", "T", -1), EncodeTime(22, 30, 0));
    QFile::remove(dirPath + "/other.ini");
}

TEST(IniWrite, KeepsOrderAppendsKeysAndSections) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    zt::WriteAll(path,
                 "; kept comment\r\n"
                 "[Setup]\r\n"
                 "ComPort=3\r\n"
                 "Baud=1200\r\n"
                 "\r\n"
                 "[Mail]\r\n"
                 "Server=old\r\n");
    TIniFile ini(path);
    ini.WriteInteger("SETUP", "COMPORT", 5);       // in place, file's spelling kept
    ini.WriteString("SETUP", "NEWKEY", "v");        // end of its section, before the blank line
    ini.WriteString("TIME", "HOUR", "0");           // new section at the end
    ini.WriteString("mail", "SERVER", "smtp");
    ini.WriteString("MAIL", "SUBJECT", "a\r\nINJECTED=1");   // a line break cannot add keys
    EXPECT_EQ(zt::ReadAll(path),
              "; kept comment\r\n"
              "[Setup]\r\n"
              "ComPort=5\r\n"
              "Baud=1200\r\n"
              "NEWKEY=v\r\n"
              "\r\n"
              "[Mail]\r\n"
              "Server=smtp\r\n"
              "SUBJECT=a INJECTED=1\r\n"
              "\r\n"
              "[TIME]\r\n"
              "HOUR=0\r\n");
    EXPECT_FALSE(ini.ValueExists("MAIL", "INJECTED"));

    ini.EraseSection("setup");
    EXPECT_FALSE(ini.SectionExists("SETUP"));
    EXPECT_EQ(ini.ReadString("MAIL", "SERVER", ""), "smtp");
    EXPECT_TRUE(zt::ReadAll(path).startsWith("; kept comment\r\n[Mail]\r\n"));
}

// Several instances may share the file: each write starts from what is on disk
// and each read notices a change made by someone else.
TEST(IniWrite, SharedFileKeepsEveryWritersKeys) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    TIniFile a(path), b(path);
    a.WriteInteger("SETUP", "A", 1);
    EXPECT_EQ(b.ReadInteger("SETUP", "A", 0), 1);
    b.WriteInteger("SETUP", "B", 2);
    EXPECT_EQ(a.ReadInteger("SETUP", "B", 0), 2);
    a.WriteInteger("SETUP", "C", 3);
    EXPECT_EQ(zt::ReadLines(path), (QStringList{"[SETUP]", "A=1", "B=2", "C=3"}));

    // A hand edit of the same size is seen by a reader that has the file cached.
    zt::WriteAll(path, "[SETUP]\r\nA=7\r\nB=2\r\nC=3\r\n");
    EXPECT_EQ(a.ReadInteger("SETUP", "A", 0), 7);
}

// Two processes writing their own keys at the same moment lose none of them.
TEST(IniWrite, ConcurrentProcessesLoseNoKeys) {
    zt::TScratchDir dir;
    QProcess a, b;
    for (auto [p, prefix] : {std::pair{&a, "A"}, {&b, "B"}}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZT_CHILD_DIR", dir.Path());
        env.insert("ZT_PREFIX", prefix);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(), {"--gtest_filter=IniWrite.ChildWriter"});
    }
    ASSERT_TRUE(a.waitForFinished(60000));
    ASSERT_TRUE(b.waitForFinished(60000));
    TIniFile ini(dir.File("shared.ini"));
    QStringList missing;
    for (const char* prefix : {"A", "B"})
        for (int i = 0; i < 25; ++i)
            if (ini.ReadInteger("SETUP", QString("%1%2").arg(prefix).arg(i), -1) != i)
                missing << QString("%1%2").arg(prefix).arg(i);
    EXPECT_TRUE(missing.isEmpty()) << missing.join(" ").toStdString();
}

TEST(IniWrite, ChildWriter) {
    const QString dirPath = qEnvironmentVariable("ZT_CHILD_DIR");
    if (dirPath.isEmpty()) GTEST_SKIP() << "runs only as a child of ConcurrentProcessesLoseNoKeys";
    TIniFile ini(dirPath + "/shared.ini");
    const QString prefix = qEnvironmentVariable("ZT_PREFIX");
    for (int i = 0; i < 25; ++i) ini.WriteInteger("SETUP", QString("%1%2").arg(prefix).arg(i), i);
}

// Files in the folder apart from the lock companion, which stays on purpose
// (it carries no data; removing it would race with another instance).
static QStringList FilesBesidesLocks(const QString& folder) {
    QStringList out;
    for (const QString& f : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (!f.endsWith(".lock")) out << f;
    return out;
}

TEST(IniWrite, ReplacesAtomicallyAndReportsFailures) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    TIniFile ini(path);
    for (int i = 0; i < 20; ++i) ini.WriteInteger("SETUP", QString("K%1").arg(i), i);
    EXPECT_EQ(zt::ReadLines(path).size(), 21);
    EXPECT_EQ(FilesBesidesLocks(dir.Path()), QStringList{"app.ini"});

    // The folder of the file is a regular file: nothing can be created there.
    zt::WriteAll(dir.File("plain"), "x");
    const QString blocked = dir.File("plain") + "/app.ini";
    TIniFile bad(blocked);
    try {
        bad.WriteString("SETUP", "X", "1");
        FAIL() << "write did not fail";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(e.Text(), "Unable to write to " + blocked);
    }
    EXPECT_EQ(bad.ReadString("SETUP", "X", "d"), "d");

    // A folder stands where the file should be: it is neither read nor replaced.
    QDir(dir.Path()).mkdir("dir.ini");
    TIniFile asDir(dir.File("dir.ini"));
    EXPECT_THROW(asDir.WriteBool("SETUP", "X", true), EIniWriteError);
    EXPECT_TRUE(QFileInfo(dir.File("dir.ini")).isDir());
    EXPECT_EQ(FilesBesidesLocks(dir.Path()), (QStringList{"app.ini", "plain"}));
}

// A group is one read-modify-write: one replacement at commit, none when it
// changes nothing or is left without commit, and its reads see its own writes.
TEST(IniUpdate, GroupIsOneReplacement) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    const QByteArray before = "[SETUP]\r\nCOMPORT=3\r\n";
    zt::WriteAll(path, before);
    TIniFile ini(path);
    zt::TReplaceCounter renames(dir.Path());
    ASSERT_TRUE(renames.Ok());

    ini.WriteInteger("SETUP", "COMPORT", 4);
    EXPECT_EQ(renames.Take("app.ini"), 1);
    ini.WriteInteger("SETUP", "COMPORT", 4);                  // same content: not rewritten
    EXPECT_EQ(renames.Take("app.ini"), 0);

    {
        TIniFile::TUpdate update(ini);
        for (int i = 0; i < 30; ++i) ini.WriteInteger("SETUP", QString("K%1").arg(i), i);
        {
            TIniFile::TUpdate inner(ini);                       // joins the outer group
            ini.WriteString("MAIL", "SERVER", "smtp");
            inner.Commit();
        }
        EXPECT_EQ(ini.ReadInteger("SETUP", "K29", -1), 29);
        EXPECT_EQ(ini.ReadString("MAIL", "SERVER", ""), "smtp");
        EXPECT_EQ(renames.Take("app.ini"), 0);
        EXPECT_FALSE(zt::ReadAll(path).contains("K0"));
        update.Commit();
    }
    EXPECT_EQ(renames.Take("app.ini"), 1);
    const QStringList lines = zt::ReadLines(path);
    EXPECT_EQ(lines.size(), 2 + 30 + 3);
    EXPECT_EQ(lines.mid(0, 3), (QStringList{"[SETUP]", "COMPORT=4", "K0=0"}));
    EXPECT_EQ(lines.mid(lines.size() - 2), (QStringList{"[MAIL]", "SERVER=smtp"}));

    const QString written = zt::ReadAll(path);
    {
        TIniFile::TUpdate abandoned(ini);                       // as when an exception passes
        ini.WriteString("SETUP", "LOST", "1");
        EXPECT_EQ(ini.ReadString("SETUP", "LOST", ""), "1");
    }
    EXPECT_EQ(renames.Take("app.ini"), 0);
    EXPECT_EQ(zt::ReadAll(path), written);
    EXPECT_FALSE(ini.ValueExists("SETUP", "LOST"));
}

// A group that cannot be stored fails once, at commit, and leaves the file
// and its folder as they were.
TEST(IniUpdate, FailedCommitKeepsTheFile) {
    zt::TScratchDir dir;
    QDir(dir.Path()).mkdir("app.ini");                          // nothing can replace a folder
    TIniFile ini(dir.File("app.ini"));
    TIniFile::TUpdate update(ini);
    EXPECT_NO_THROW(ini.WriteString("SETUP", "A", "1"));
    EXPECT_NO_THROW(ini.WriteString("SETUP", "B", "2"));
    try {
        update.Commit();
        FAIL() << "commit did not fail";
    } catch (const EIniWriteError& e) {
        EXPECT_EQ(e.Text(), "Unable to write to " + dir.File("app.ini"));
    }
    EXPECT_TRUE(QFileInfo(dir.File("app.ini")).isDir());
    EXPECT_FALSE(ini.ValueExists("SETUP", "A"));
    EXPECT_EQ(FilesBesidesLocks(dir.Path()), QStringList{});
}

namespace {

// A forked child that holds the settings lock as another instance in the middle
// of its write would. It reports on the pipe once it holds the lock.
class TLockHolder {
public:
    // holdMs < 0: holds until killed. Otherwise it replaces the file with
    // replacement after holdMs and then lets go.
    TLockHolder(const QString& iniPath, int holdMs, const QByteArray& replacement = {}) {
        const QByteArray lock = QFile::encodeName(iniPath + ".lock");
        const QByteArray target = QFile::encodeName(iniPath);
        const QByteArray tmp = target + ".child~";
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls from here on.
            ::close(fds[0]);
            const int fd = ::open(lock.constData(), O_RDWR | O_CREAT, 0666);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
            (void)!::write(fds[1], "L", 1);
            if (holdMs < 0)
                for (;;) ::pause();
            const struct timespec wait = {holdMs / 1000, long(holdMs % 1000) * 1000000L};
            ::nanosleep(&wait, nullptr);
            const int out = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (out < 0 || ::write(out, replacement.constData(), size_t(replacement.size())) != replacement.size())
                ::_exit(2);
            ::close(out);
            ::_exit(::rename(tmp.constData(), target.constData()) == 0 ? 0 : 3);
        }
        ::close(fds[1]);
        char c = 0;
        holding_ = pid_ > 0 && ::read(fds[0], &c, 1) == 1;
        ::close(fds[0]);
    }
    ~TLockHolder() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool Holding() const { return holding_; }
    // The child's exit code once it has let go by itself.
    int Wait() {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    bool holding_ = false;
};

} // namespace

// A write waits for another instance's read-modify-write and starts from what
// that one wrote, so neither loses keys.
TEST(IniLock, WriteWaitsForTheHolder) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    zt::WriteAll(path, "[SETUP]\r\nCOMPORT=3\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("SETUP", "COMPORT", -1), 3);
    TLockHolder other(path, 50, "[SETUP]\r\nCOMPORT=3\r\nOTHER=1\r\n");
    ASSERT_TRUE(other.Holding());
    ini.WriteInteger("SETUP", "MINE", 2);
    EXPECT_EQ(other.Wait(), 0);
    EXPECT_EQ(zt::ReadLines(path), (QStringList{"[SETUP]", "COMPORT=3", "OTHER=1", "MINE=2"}));
}

// A holder that never lets go (hung) delays a write, but does not stop it.
TEST(IniLock, HungHolderDoesNotStopTheWrite) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    TIniFile ini(path);
    TLockHolder hung(path, -1);
    ASSERT_TRUE(hung.Holding());
    ini.WriteInteger("SETUP", "CHKS", 4711);
    {
        TIniFile::TUpdate update(ini);
        ini.WriteString("SETUP", "A", "x");
        update.Commit();
    }
    EXPECT_EQ(zt::ReadLines(path), (QStringList{"[SETUP]", "CHKS=4711", "A=x"}));
    // The wait leaves no signal behind to end the process later.
    const struct timespec settle = {0, 100 * 1000000L};
    ::nanosleep(&settle, nullptr);
    EXPECT_EQ(TIniFile(path).ReadInteger("SETUP", "CHKS", 0), 4711);
}
