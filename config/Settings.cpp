#include "Settings.h"
#include "IniFile.h"
#include <QFileInfo>
#include <cmath>

namespace za {

namespace {
const QString kSetup = "SETUP";
const QString kMail = "MAIL";
const QString kTime = "TIME";
const QString kGraph = "GRAPH";
const QString kAppInfo = "APPINFO";

QString ChannelNameKey(int n) { return QString("CH%1_NAME").arg(n); }
QString ChannelColorKey(int n) { return QString("CH%1_COLOR").arg(n); }
QString AlarmTextKey(int n) { return QString("ALARM%1TXT").arg(n); }
QString DefaultChannelName(int n) { return QString("Counter %1").arg(n); }
QString DefaultAlarmText(int n) { return QString("ALARM INPUT %1").arg(n); }
} // namespace

const char* const kTemplateLogFilePrefix = "LOG";
const char* const kTemplateLogFileCode = "YYYY-MM";
const char* const kTemplateLogFileExt = ".LOG";

QString BrandMasterPassword(const QString& brandCode) {
    const QString code = brandCode.toUpper();
    if (code == "VT") return "bryxa5820";
    if (code == "KS") return "zolkarbenti4716";
    return "pirenvaldu3398";
}

void TSettings::Load(const TIniFile& ini, TDateTime now, const QString& brandMasterPassword) {
    LoadNotes.clear();
    RunOnce = ini.ReadBool(kSetup, "RUNONCE", false);
    ComPort = ini.ReadInteger(kSetup, "COMPORT", -1);
    ComPortDevice = ini.ReadString(kSetup, "COMPORT_DEVICE", "");
    Baud = ini.ReadInteger(kSetup, "BAUD", 1200);
    AppInfo = ini.ReadString(kSetup, "APPINFO", "");

    LogFilePath = ini.ReadString(kSetup, "LOGFILEPATH", "");
    LogFilePrefix = ini.ReadString(kSetup, "LOGFILEPREFIX", "");
    LogFileCode = ini.ReadString(kSetup, "LOGFILECODE", "");
    LogFileSuffix = ini.ReadString(kSetup, "LOGFILESUFFIX", "");
    LogFileExt = ini.ReadString(kSetup, "LOGFILEEXT", "");
    OldLogFileName = ini.ReadString(kSetup, "OLDLOGFILENAME", "");
    // Without any name part every record would go to a file without a name,
    // and fail; the template's scheme at least keeps the data (the folder stays).
    if (LogFilePrefix.isEmpty() && LogFileCode.isEmpty() && LogFileSuffix.isEmpty() && LogFileExt.isEmpty()) {
        LogFilePrefix = kTemplateLogFilePrefix;
        LogFileCode = kTemplateLogFileCode;
        LogFileExt = kTemplateLogFileExt;
        LoadNotes << QString("No log file name is set; %1%2%3 is used").arg(LogFilePrefix, LogFileCode, LogFileExt);
    }

    for (int i = 0; i < 6; ++i) {
        MailAddress[i] = ini.ReadString(kMail, QString("ADDRESS%1").arg(i), "");
        MailEnable[i] = ini.ReadInteger(kMail, QString("ENABLE%1").arg(i), 0);
    }
    MailServer = ini.ReadString(kMail, "SERVER", "");
    MailPort = ini.ReadInteger(kMail, "PORT", 25);
    MailFrom = ini.ReadString(kMail, "FROM", "");
    MailSubject = ini.ReadString(kMail, "SUBJECT", "");
    MailBody = ini.ReadString(kMail, "BODY", "");
    MailUserName = ini.ReadString(kMail, "USERNAME", "");
    MailPassword = ini.ReadString(kMail, "PASSWORD", "");

    LngFile = ini.ReadString(kSetup, "LNGFILE", "");

    LastHourMail = ini.ReadDateTime(kTime, "HOUR", 0);
    LastDayMail = ini.ReadDateTime(kTime, "DAY", 0);
    LastWeekMail = ini.ReadDateTime(kTime, "WEEK", 0);
    LastMonthMail = ini.ReadDateTime(kTime, "MONTH", 0);

    HideOnStart = ini.ReadBool(kSetup, "HIDEONSTART", false);
    AddSumLog = ini.ReadBool(kSetup, "ADDSUMLOG", false);
    AddSumDay = ini.ReadBool(kSetup, "ADDSUMDAY", false);
    FilterDuplicates = ini.ReadBool(kSetup, "FILTERDUPLICATES", false);
    QvxMenuEnable = ini.ReadBool(kSetup, "QVX_MENU_ENABLE", false);
    CheckComport = ini.ReadBool(kSetup, "CHECKCOMPORT", false);
    ComportLog = ini.ReadBool(kSetup, "COMPORT_LOG", false);
    DevMenuEn = ini.ReadBool(kSetup, "DEV_MENU_EN", false);
    LogDataVisible = ini.ReadBool(kSetup, "LOGDATAVISIBLE", true);
    MasterPassword = ini.ReadString(kSetup, "MASTERPASSWORD", brandMasterPassword);
    UserPassword = ini.ReadString(kSetup, "USERPASSWORD", "");

    // Zero or negative channels would leave nothing to log; no counter frame can
    // carry more than kMaxChannels counts, and a huge value would only exhaust memory.
    const int channels = ini.ReadInteger(kSetup, "NUMBER_OF_CHANNELS", 3);
    NumberOfChannels = qBound(1, channels, kMaxChannels);
    if (NumberOfChannels != channels)
        LoadNotes << QString("NUMBER_OF_CHANNELS=%1 is out of range 1..%2; %3 is used")
                         .arg(ini.ReadString(kSetup, "NUMBER_OF_CHANNELS", ""))
                         .arg(kMaxChannels)
                         .arg(NumberOfChannels);
    LocalSetup = ini.ReadBool(kSetup, "LOCALSETUP", false);
    TestData = ini.ReadBool(kSetup, "TESTDATA", false);
    BidirMode = ini.ReadBool(kSetup, "BIDIRMODE", false);

    ChannelNames.clear();
    ChannelColors.clear();
    for (int n = 1; n <= NumberOfChannels; ++n) {
        ChannelNames << ini.ReadString(kSetup, ChannelNameKey(n), DefaultChannelName(n));
        ChannelColors << ini.ReadInteger(kSetup, ChannelColorKey(n), 0);
    }

    AlarmEnable = ini.ReadBool(kSetup, "ALARMENABLE", false);
    AlarmFormCaption = ini.ReadString(kSetup, "ALARMFORMCAPTION", "");
    AlarmTexts.clear();
    for (int n = 1; n <= NumberOfChannels; ++n)
        AlarmTexts << ini.ReadString(kSetup, AlarmTextKey(n), DefaultAlarmText(n));

    const TDateTime today = std::floor(now + 0.5);
    DataToShow = ini.ReadInteger(kGraph, "DATATOSHOW", 0);
    ShowPer = ini.ReadInteger(kGraph, "SHOWPER", 0);
    ShowCounter = ini.ReadInteger(kGraph, "SHOWCOUNTER", 8);
    SelSumEnable1 = ini.ReadInteger(kGraph, "SELSUMENABLE1", 0);
    SelSumEnable2 = ini.ReadInteger(kGraph, "SELSUMENABLE2", 0);
    GraphStart = ini.ReadDateTime(kGraph, "START", today);
    GraphEnd = ini.ReadDateTime(kGraph, "END", today);

    LogLineFormat = ini.ReadInteger(kSetup, "LOG_LINE_FORMAT", 0);

    InactiveTimeEnable = ini.ReadBool(kSetup, "INACTIVE_TIME_ENABLE", false);
    InactiveStartTime = ini.ReadTime(kSetup, "INACTIVE_START_TIME", 0);
    InactiveStopTime = ini.ReadTime(kSetup, "INACTIVE_STOP_TIME", 0);

    AppTitle = ini.ReadString(kAppInfo, "TITLE", "NoName Zentrell App.");
    AppCaption = ini.ReadString(kAppInfo, "CAPTION", "NoName Zentrell App.");
    AboutCaption = ini.ReadString(kAppInfo, "ABOUT_CAPTION", "Programinformation");
    AboutInfo[0] = ini.ReadString(kAppInfo, "ABOUT_INFO1", "NoName comp Aps");
    AboutInfo[1] = ini.ReadString(kAppInfo, "ABOUT_INFO2", "Noway NoNumber");
    AboutInfo[2] = ini.ReadString(kAppInfo, "ABOUT_INFO3", "NoZip NoWhere");
    AboutInfo[3] = ini.ReadString(kAppInfo, "ABOUT_INFO4", "NoPhone: 00 00 00 00");
}

void TSettings::Save(TIniFile& ini) const {
    TIniFile::TUpdate update(ini);
    ini.WriteInteger(kGraph, "DATATOSHOW", DataToShow);
    ini.WriteInteger(kGraph, "SHOWPER", ShowPer);
    ini.WriteInteger(kGraph, "SHOWCOUNTER", ShowCounter);
    ini.WriteInteger(kGraph, "SELSUMENABLE1", SelSumEnable1);
    ini.WriteInteger(kGraph, "SELSUMENABLE2", SelSumEnable2);
    ini.WriteDateTime(kGraph, "START", GraphStart);
    ini.WriteDateTime(kGraph, "END", GraphEnd);

    ini.WriteDateTime(kTime, "HOUR", LastHourMail);
    ini.WriteDateTime(kTime, "DAY", LastDayMail);
    ini.WriteDateTime(kTime, "WEEK", LastWeekMail);
    ini.WriteDateTime(kTime, "MONTH", LastMonthMail);

    ini.WriteBool(kSetup, "HIDEONSTART", HideOnStart);
    ini.WriteBool(kSetup, "ADDSUMLOG", AddSumLog);
    ini.WriteBool(kSetup, "ADDSUMDAY", AddSumDay);
    ini.WriteBool(kSetup, "FILTERDUPLICATES", FilterDuplicates);
    ini.WriteBool(kSetup, "ALARMENABLE", AlarmEnable);
    ini.WriteString(kSetup, "ALARMFORMCAPTION", AlarmFormCaption);
    // The tables hold N entries after Load; a short table still writes N keys.
    for (int n = 1; n <= NumberOfChannels; ++n)
        ini.WriteString(kSetup, AlarmTextKey(n), n <= AlarmTexts.size() ? AlarmTexts[n - 1] : DefaultAlarmText(n));
    for (int n = 1; n <= NumberOfChannels; ++n)
        ini.WriteString(kSetup, ChannelNameKey(n),
                        n <= ChannelNames.size() ? ChannelNames[n - 1] : DefaultChannelName(n));

    for (int i = 0; i < 6; ++i) {
        ini.WriteString(kMail, QString("ADDRESS%1").arg(i), MailAddress[i]);
        ini.WriteInteger(kMail, QString("ENABLE%1").arg(i), MailEnable[i]);
    }
    ini.WriteString(kMail, "SERVER", MailServer);
    ini.WriteInteger(kMail, "PORT", MailPort);
    ini.WriteString(kMail, "FROM", MailFrom);
    ini.WriteString(kMail, "SUBJECT", MailSubject);
    ini.WriteString(kMail, "USERNAME", MailUserName);
    ini.WriteString(kMail, "PASSWORD", MailPassword);

    ini.WriteString(kSetup, "LOGFILEPATH", LogFilePath);
    ini.WriteString(kSetup, "LOGFILEPREFIX", LogFilePrefix);
    ini.WriteString(kSetup, "LOGFILECODE", LogFileCode);
    ini.WriteString(kSetup, "LOGFILESUFFIX", LogFileSuffix);
    ini.WriteString(kSetup, "LOGFILEEXT", LogFileExt);
    ini.WriteString(kSetup, "OLDLOGFILENAME", OldLogFileName);
    ini.WriteInteger(kSetup, "COMPORT", ComPort);
    update.Commit();
}

QString WriteNewIniTemplate(const QString& newIniPath) {
    TIniFile ini(newIniPath);
    TIniFile::TUpdate update(ini);
    ini.WriteInteger(kSetup, "COMPORT", 1);
    ini.WriteInteger(kSetup, "BAUD", 9600);
    ini.WriteString(kSetup, "LOGFILEPATH", "C:\\");
    ini.WriteString(kSetup, "LOGFILEPREFIX", kTemplateLogFilePrefix);
    ini.WriteString(kSetup, "LOGFILECODE", kTemplateLogFileCode);
    ini.WriteString(kSetup, "LOGFILESUFFIX", "");
    ini.WriteString(kSetup, "LOGFILEEXT", kTemplateLogFileExt);
    ini.WriteString(kSetup, "OLDLOGFILENAME", "");

    for (int i = 0; i < 6; ++i) {
        ini.WriteString(kMail, QString("ADDRESS%1").arg(i), "");
        ini.WriteInteger(kMail, QString("ENABLE%1").arg(i), 0);
    }
    ini.WriteString(kMail, "SERVER", "");
    ini.WriteString(kMail, "FROM", "");
    ini.WriteString(kMail, "SUBJECT", "");
    ini.WriteString(kMail, "BODY", "");

    ini.WriteDateTime(kTime, "HOUR", 0);
    ini.WriteDateTime(kTime, "DAY", 0);
    ini.WriteDateTime(kTime, "WEEK", 0);
    ini.WriteDateTime(kTime, "MONTH", 0);

    ini.WriteBool(kSetup, "QVX_MENU_ENABLE", false);
    ini.WriteBool(kSetup, "QVX_SETUP_ENABLE", false);
    update.Commit();
    return QFileInfo(newIniPath).absoluteFilePath();
}

} // namespace za
