#include "config/IniFile.h"
#include "config/Settings.h"
#include "tests/config/FileWatch.h"
#include "tests/support/TestSupport.h"
#include <QDir>
#include <QMap>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace za;

void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Section names in file order, and per section its key names in file order.
struct TLayout {
    QStringList sections;
    QMap<QString, QStringList> keys;
};

TLayout LayoutOf(const QString& path) {
    TLayout l;
    QString current;
    for (const QString& line : zt::ReadLines(path)) {
        if (line.startsWith('[')) {
            current = line.mid(1, line.indexOf(']') - 1);
            l.sections << current;
        } else if (line.contains('=')) {
            l.keys[current] << line.left(line.indexOf('='));
        }
    }
    return l;
}

const TDateTime kAfternoon = EncodeDateTime(2011, 3, 31, 14, 5, 9);

} // namespace

TEST(Settings, DefaultsWithoutFile) {
    zt::TScratchDir dir;
    TIniFile ini(dir.File("app.ini"));
    TSettings s;
    s.Load(ini, kAfternoon, BrandMasterPassword(""));
    EXPECT_EQ(s.NumberOfChannels, 3);
    EXPECT_EQ(s.ChannelNames, (QStringList{"Counter 1", "Counter 2", "Counter 3"}));
    EXPECT_EQ(s.ChannelColors, (QVector<int>{0, 0, 0}));
    EXPECT_EQ(s.AlarmTexts, (QStringList{"ALARM INPUT 1", "ALARM INPUT 2", "ALARM INPUT 3"}));
    EXPECT_EQ(s.ComPort, -1);
    EXPECT_EQ(s.ComPortDevice, "");
    EXPECT_EQ(s.Baud, 1200);
    // No name scheme at all would leave the records nowhere: the template's is used.
    EXPECT_EQ(s.LogFilePath, "");
    EXPECT_EQ(s.LogFilePrefix + s.LogFileCode + s.LogFileSuffix + s.LogFileExt, "LOGYYYY-MM.LOG");
    EXPECT_EQ(s.LoadNotes, QStringList{"No log file name is set; LOGYYYY-MM.LOG is used"});
    EXPECT_EQ(s.AppInfo, "");
    EXPECT_TRUE(s.LogDataVisible);
    EXPECT_EQ(s.MasterPassword, "pirenvaldu3398");
    EXPECT_EQ(s.MailPort, 25);
    EXPECT_EQ(s.ShowCounter, 8);
    EXPECT_EQ(s.LastHourMail, 0);
    // 14:05 is past noon: the nearest whole day is the next one.
    EXPECT_EQ(s.GraphStart, EncodeDate(2011, 4, 1));
    EXPECT_EQ(s.GraphEnd, EncodeDate(2011, 4, 1));
    EXPECT_EQ(s.AppTitle, "NoName Zentrell App.");
    EXPECT_EQ(s.AboutInfo[3], "NoPhone: 00 00 00 00");
    EXPECT_FALSE(QFile::exists(dir.File("app.ini")));

    s.Load(ini, EncodeDateTime(2011, 3, 31, 11, 59, 59), "");
    EXPECT_EQ(s.GraphStart, EncodeDate(2011, 3, 31));
}

TEST(Settings, ReadsHandEditedValues) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    zt::WriteAll(path,
                 "[setup]\r\ncomport=0x10\r\nHIDEONSTART=2\r\nNUMBER_OF_CHANNELS=abc\r\nCH2_NAME=Door\r\n"
                 "CH3_COLOR=$FF\r\nALARM1TXT=Fire\r\nCOMPORT_DEVICE=/dev/ttyUSB3\r\n"
                 "INACTIVE_START_TIME=22:00:00\r\nINACTIVE_STOP_TIME=6:30\r\n"
                 "[APPINFO]\r\nTITLE=Shop\r\n");
    TIniFile ini(path);
    TSettings s;
    s.Load(ini, kAfternoon, "pw");
    EXPECT_EQ(s.ComPort, 16);
    EXPECT_TRUE(s.HideOnStart);
    EXPECT_EQ(s.NumberOfChannels, 3);
    EXPECT_EQ(s.ChannelNames, (QStringList{"Counter 1", "Door", "Counter 3"}));
    EXPECT_EQ(s.ChannelColors[2], 255);
    EXPECT_EQ(s.AlarmTexts[0], "Fire");
    EXPECT_EQ(s.ComPortDevice, "/dev/ttyUSB3");
    EXPECT_EQ(s.MasterPassword, "pw");
    EXPECT_EQ(s.InactiveStartTime, EncodeTime(22, 0, 0));
    EXPECT_EQ(s.InactiveStopTime, EncodeTime(6, 30, 0));
    EXPECT_EQ(s.AppTitle, "Shop");

    EXPECT_EQ(s.LoadNotes, QStringList{"No log file name is set; LOGYYYY-MM.LOG is used"});
}

// The channel count is kept to what the program can work with, and a value
// that had to be changed is noted; one that does not parse gives the default.
TEST(Settings, ChannelCountOutOfRangeIsNoted) {
    zt::TScratchDir dir;
    struct TCase {
        const char* text;
        int expected;
        const char* note;
    };
    const TCase cases[] = {
        {"0", 1, "NUMBER_OF_CHANNELS=0 is out of range 1..122; 1 is used"},
        {"-5", 1, "NUMBER_OF_CHANNELS=-5 is out of range 1..122; 1 is used"},
        {"99999", kMaxChannels, "NUMBER_OF_CHANNELS=99999 is out of range 1..122; 122 is used"},
        {"$0", 1, "NUMBER_OF_CHANNELS=$0 is out of range 1..122; 1 is used"},
        {"abc", 3, nullptr},
        {"1", 1, nullptr},
        {"122", 122, nullptr},
    };
    for (const TCase& c : cases) {
        const QString path = dir.File("n.ini");
        zt::WriteAll(path, QByteArray("[SETUP]\r\nLOGFILECODE=YYYY\r\nNUMBER_OF_CHANNELS=") + c.text + "\r\n");
        TIniFile ini(path);
        TSettings s;
        s.Load(ini, kAfternoon, "");
        EXPECT_EQ(s.NumberOfChannels, c.expected) << c.text;
        EXPECT_EQ(s.ChannelNames.size(), c.expected) << c.text;
        EXPECT_EQ(s.AlarmTexts.size(), c.expected) << c.text;
        EXPECT_EQ(s.LoadNotes, c.note ? QStringList{c.note} : QStringList{}) << c.text;
    }
}

// Only an entirely empty name scheme is replaced, and the folder is kept.
TEST(Settings, EmptyLogFileNameGetsTheTemplateScheme) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    struct TCase {
        const char* lines;
        const char* name;   // path + prefix + code + suffix + ext after Load
        bool noted;
    };
    const TCase cases[] = {
        {"LOGFILEPATH=D:\\Data\r\n", "D:\\DataLOGYYYY-MM.LOG", true},
        {"LOGFILEPREFIX=\r\nLOGFILEEXT=\r\n", "LOGYYYY-MM.LOG", true},
        {"LOGFILEEXT=.TXT\r\n", ".TXT", false},
        {"LOGFILESUFFIX=x\r\n", "x", false},
        {"LOGFILECODE=NOW\r\n", "NOW", false},
    };
    for (const TCase& c : cases) {
        zt::WriteAll(path, QByteArray("[SETUP]\r\n") + c.lines);
        TIniFile ini(path);
        TSettings s;
        s.Load(ini, kAfternoon, "");
        EXPECT_EQ(s.LogFilePath + s.LogFilePrefix + s.LogFileCode + s.LogFileSuffix + s.LogFileExt, c.name)
            << c.lines;
        EXPECT_EQ(s.LoadNotes.size(), c.noted ? 1 : 0) << c.lines;
    }
}

TEST(Settings, BrandMasterPasswords) {
    const std::pair<const char*, const char*> cases[] = {
        {"VT", "bryxa5820"},       {"vt", "bryxa5820"},       {"KS", "zolkarbenti4716"},
        {"kS", "zolkarbenti4716"}, {"", "pirenvaldu3398"},    {"XY", "pirenvaldu3398"},
        {" VT", "pirenvaldu3398"},
    };
    for (auto [code, pw] : cases) EXPECT_EQ(BrandMasterPassword(code), pw) << code;
}

TEST(Settings, SaveWritesTheFixedOrderAndReadsBack) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    TIniFile ini(path);
    TSettings s;
    s.Load(ini, kAfternoon, "");
    s.GraphStart = EncodeDate(2011, 3, 1);
    s.GraphEnd = EncodeDate(2011, 3, 31);
    s.LastHourMail = EncodeDateTime(2011, 3, 31, 14, 0, 0, 7);
    s.ChannelNames[1] = "Door";
    s.AlarmTexts[2] = "Fire";
    s.MailAddress[5] = "a@b.dk";
    s.MailEnable[5] = 12;
    s.ComPort = 4;
    s.LogFileCode = "YYYY-MM";
    s.Save(ini);

    const TLayout l = LayoutOf(path);
    EXPECT_EQ(l.sections, (QStringList{"GRAPH", "TIME", "SETUP", "MAIL"}));
    EXPECT_EQ(l.keys["GRAPH"],
              (QStringList{"DATATOSHOW", "SHOWPER", "SHOWCOUNTER", "SELSUMENABLE1", "SELSUMENABLE2", "START", "END"}));
    EXPECT_EQ(l.keys["TIME"], (QStringList{"HOUR", "DAY", "WEEK", "MONTH"}));
    EXPECT_EQ(l.keys["SETUP"],
              (QStringList{"HIDEONSTART", "ADDSUMLOG", "ADDSUMDAY", "FILTERDUPLICATES", "ALARMENABLE",
                           "ALARMFORMCAPTION", "ALARM1TXT", "ALARM2TXT", "ALARM3TXT", "CH1_NAME", "CH2_NAME",
                           "CH3_NAME", "LOGFILEPATH", "LOGFILEPREFIX", "LOGFILECODE", "LOGFILESUFFIX",
                           "LOGFILEEXT", "OLDLOGFILENAME", "COMPORT"}));
    EXPECT_EQ(l.keys["MAIL"],
              (QStringList{"ADDRESS0", "ENABLE0", "ADDRESS1", "ENABLE1", "ADDRESS2", "ENABLE2", "ADDRESS3",
                           "ENABLE3", "ADDRESS4", "ENABLE4", "ADDRESS5", "ENABLE5", "SERVER", "PORT", "FROM",
                           "SUBJECT", "USERNAME", "PASSWORD"}));

    TSettings back;
    back.Load(ini, 0, "");
    EXPECT_EQ(back.GraphStart, s.GraphStart);
    EXPECT_EQ(back.GraphEnd, s.GraphEnd);
    EXPECT_EQ(back.LastHourMail, s.LastHourMail);
    EXPECT_EQ(back.ChannelNames, s.ChannelNames);
    EXPECT_EQ(back.AlarmTexts, s.AlarmTexts);
    EXPECT_EQ(back.MailAddress[5], "a@b.dk");
    EXPECT_EQ(back.MailEnable[5], 12);
    EXPECT_EQ(back.ComPort, 4);
    EXPECT_EQ(back.LogFileCode, "YYYY-MM");
}

// A save replaces the file once (a power cut then leaves the old settings or
// the new ones), and not at all when nothing changed.
TEST(Settings, SaveIsOneReplacement) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    zt::WriteAll(path, "[SETUP]\r\nBAUD=2400\r\nCOMPORT=3\r\n");
    TIniFile ini(path);
    TSettings s;
    s.Load(ini, kAfternoon, "");
    s.ComPort = 5;
    zt::TReplaceCounter renames(dir.Path());
    ASSERT_TRUE(renames.Ok());
    s.Save(ini);
    EXPECT_EQ(renames.Take("app.ini"), 1);
    EXPECT_EQ(TIniFile(path).ReadInteger("SETUP", "COMPORT", -1), 5);
    s.Save(ini);
    EXPECT_EQ(renames.Take("app.ini"), 0);
}

// A save that cannot be stored in full (here: the file may grow by a few bytes
// only) raises the error once and leaves the old file byte for byte.
TEST(Settings, FailedSaveLeavesTheOldFile) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    const QByteArray before = "; shop 12\r\n[SETUP]\r\nBAUD=2400\r\nCOMPORT=3\r\n";
    zt::WriteAll(path, before);
    TIniFile ini(path);
    TSettings s;
    s.Load(ini, kAfternoon, "");
    s.ComPort = 5;

    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = rlim_t(before.size() + 60);
    auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    int raised = 0;
    QString text;
    try {
        s.Save(ini);
    } catch (const EIniWriteError& e) {
        ++raised;
        text = e.Text();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(raised, 1);
    EXPECT_EQ(text, "Unable to write to " + path);
    EXPECT_EQ(zt::ReadAll(path).toLatin1(), before);
    QStringList files = QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden);
    files.removeAll("app.ini.lock");
    EXPECT_EQ(files, QStringList{"app.ini"});
}

TEST(Settings, SaveLeavesKeysItDoesNotOwn) {
    zt::TScratchDir dir;
    const QString path = dir.File("app.ini");
    const QStringList untouched = {
        "BAUD=2400", "MASTERPASSWORD=secret", "USERPASSWORD=user", "RUNONCE=1", "NUMBER_OF_CHANNELS=2",
        "CH1_COLOR=255", "LNGFILE=da.cap", "CHKS=4711", "LOG_LINE_FORMAT=1", "COMPORT_DEVICE=/dev/ttyS1",
        "BODY=Hello", "TOP=10", "ENABLE=1"};
    zt::WriteAll(path,
                 "[SETUP]\r\nBAUD=2400\r\nMASTERPASSWORD=secret\r\nUSERPASSWORD=user\r\nRUNONCE=1\r\n"
                 "NUMBER_OF_CHANNELS=2\r\nCH1_COLOR=255\r\nLNGFILE=da.cap\r\nCHKS=4711\r\nLOG_LINE_FORMAT=1\r\n"
                 "COMPORT_DEVICE=/dev/ttyS1\r\nALARMFORMCAPTION=Old\r\n"
                 "[MAIL]\r\nBODY=Hello\r\n[TMainForm]\r\nTOP=10\r\n[GUNNEBO]\r\nENABLE=1\r\n");
    TIniFile ini(path);
    TSettings s;
    s.Load(ini, kAfternoon, "");
    s.AlarmFormCaption = "Door alarm";
    s.Baud = 9600;
    s.MasterPassword = "changed";
    s.UserPassword = "changed";
    s.MailBody = "changed";
    s.ComPortDevice = "changed";
    s.Save(ini);

    const QStringList lines = zt::ReadLines(path);
    for (const QString& keep : untouched) EXPECT_EQ(lines.count(keep), 1) << keep.toStdString();
    EXPECT_TRUE(lines.contains("ALARMFORMCAPTION=Door alarm"));
    EXPECT_FALSE(lines.contains("CH3_NAME=Counter 3"));     // N is 2 here
}

TEST(Settings, NewIniTemplate) {
    zt::TScratchDir dir;
    const QString ini = dir.File("app.ini");
    zt::WriteAll(ini, "[SETUP]\r\nCOMPORT=3\r\n");
    const QString name = WriteNewIniTemplate(dir.File("app.ini.new"));
    EXPECT_EQ(name, QFileInfo(dir.File("app.ini.new")).absoluteFilePath());
    EXPECT_EQ(zt::ReadAll(ini), "[SETUP]\r\nCOMPORT=3\r\n");
    QStringList expected = {"[SETUP]", "COMPORT=1", "BAUD=9600", "LOGFILEPATH=C:\\", "LOGFILEPREFIX=LOG",
                            "LOGFILECODE=YYYY-MM", "LOGFILESUFFIX=", "LOGFILEEXT=.LOG", "OLDLOGFILENAME=",
                            "QVX_MENU_ENABLE=0", "QVX_SETUP_ENABLE=0", "", "[MAIL]"};
    for (int i = 0; i < 6; ++i) expected << QString("ADDRESS%1=").arg(i) << QString("ENABLE%1=0").arg(i);
    expected << "SERVER=" << "FROM=" << "SUBJECT=" << "BODY=" << "" << "[TIME]" << "HOUR=0" << "DAY=0"
             << "WEEK=0" << "MONTH=0";
    EXPECT_EQ(zt::ReadLines(name), expected);

    EXPECT_THROW(WriteNewIniTemplate(ini + "/x.ini.new"), EIniWriteError);
}
