#pragma once
// KVIK transfer files: one small text file per record and per operating event.
// Not written yet: the object exists so that its callers are in place, and it
// stays disabled whatever the settings say.
#include <QString>

namespace za {

class TIniFile;

class TKvikUtils {
public:
    bool Enabled = false;

    void ReadSettings(const TIniFile& ini);
    void WriteSettings(TIniFile& ini);

    void WriteDataFile(const QString& line);
    void ReportDuplicateFiltered();
    void ReportNoLogData();
    void ReportChecksumError();
    void ReportNoResponse();
    void ReportPortError();
    void ReportAlarmInput(int input);
};

} // namespace za
