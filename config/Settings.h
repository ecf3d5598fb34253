#pragma once
// Every setting the main window reads at start and writes back with SaveSettings.
// Values live here from start-up to shutdown; keys the program never writes are
// only read.
#include <QString>
#include <QStringList>
#include <QVector>
#include "DateTime.h"

namespace za {

class TIniFile;

// No counter frame can carry more counts than this (255-byte frames).
constexpr int kMaxChannels = 122;

struct TSettings {
    // SETUP
    bool RunOnce = false;
    int ComPort = -1;
    QString ComPortDevice;            // COMPORT_DEVICE: device path that overrides the number (read only)
    int Baud = 1200;
    QString AppInfo;                  // brand code
    QString LogFilePath, LogFilePrefix, LogFileCode, LogFileSuffix, LogFileExt;
    QString OldLogFileName;
    QString LngFile;
    bool HideOnStart = false;
    bool AddSumLog = false;
    bool AddSumDay = false;
    bool FilterDuplicates = false;
    bool QvxMenuEnable = false;
    bool CheckComport = false;
    bool ComportLog = false;
    bool DevMenuEn = false;
    bool LogDataVisible = true;
    QString MasterPassword;           // default: the brand's master password
    QString UserPassword;
    int NumberOfChannels = 3;         // at least 1
    bool LocalSetup = false;
    bool TestData = false;
    bool BidirMode = false;
    QStringList ChannelNames;         // CH<n>_NAME, N entries
    QVector<int> ChannelColors;       // CH<n>_COLOR, N entries
    bool AlarmEnable = false;
    QString AlarmFormCaption;
    QStringList AlarmTexts;           // ALARM<n>TXT, N entries
    int LogLineFormat = 0;
    bool InactiveTimeEnable = false;
    TDateTime InactiveStartTime = 0;  // time of day
    TDateTime InactiveStopTime = 0;

    // MAIL
    QString MailAddress[6];
    int MailEnable[6] = {0, 0, 0, 0, 0, 0};
    QString MailServer;
    int MailPort = 25;
    QString MailFrom, MailSubject, MailBody, MailUserName, MailPassword;

    // TIME: last hourly, daily, weekly and monthly mail (0 = never)
    TDateTime LastHourMail = 0, LastDayMail = 0, LastWeekMail = 0, LastMonthMail = 0;

    // GRAPH: the data view's choices; the owner copies them from the view before saving
    int DataToShow = 0;
    int ShowPer = 0;
    int ShowCounter = 8;
    int SelSumEnable1 = 0;
    int SelSumEnable2 = 0;
    TDateTime GraphStart = 0;         // whole day numbers
    TDateTime GraphEnd = 0;

    // APPINFO (neutral brand profile only)
    QString AppTitle = "NoName Zentrell App.";
    QString AppCaption = "NoName Zentrell App.";
    QString AboutCaption = "Programinformation";
    QString AboutInfo[4] = {"NoName comp Aps", "Noway NoNumber", "NoZip NoWhere", "NoPhone: 00 00 00 00"};

    // What Load had to adjust, one text each (a value it could not use as it
    // stands), to be logged once at start.
    QStringList LoadNotes;

    // Reads every key with its default. now: the clock's current time, for the
    // GRAPH START/END defaults. brandMasterPassword: default of MASTERPASSWORD.
    void Load(const TIniFile& ini, TDateTime now, const QString& brandMasterPassword);
    // Writes the keys the program owns, in the fixed order, as one replacement
    // of the file. Throws EIniWriteError; the file is then unchanged.
    void Save(TIniFile& ini) const;
};

// Default master password of a brand code (compared upper-cased).
QString BrandMasterPassword(const QString& brandCode);

// The log file name scheme of the template, used when the settings name none.
extern const char* const kTemplateLogFilePrefix;   // "LOG"
extern const char* const kTemplateLogFileCode;     // "YYYY-MM"
extern const char* const kTemplateLogFileExt;      // ".LOG"

// Writes the ".ini.new" template next to the settings file; returns its full name.
// Throws EIniWriteError. The caller logs "New inifile created (<name>)".
QString WriteNewIniTemplate(const QString& newIniPath);

} // namespace za
