#pragma once
// ICC export: a table of hourly counts per weekday. Not written yet: the
// object stays disabled.
#include <QVector>

namespace za {

class TIniFile;

class TICCUtils {
public:
    bool Enabled = false;

    void ReadSettings(const TIniFile& ini);
    void WriteSettings(TIniFile& ini);
    void AddRecord(int hour, int day, int month, int year, const QVector<int>& counts);
};

} // namespace za
