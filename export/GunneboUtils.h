#pragma once
// Gunnebo XML export: one XML file per day. Not written yet: the object stays
// disabled. AddRecord reports a failure by throwing std::exception.
#include <QVector>

namespace za {

class TIniFile;

class TGunneboUtils {
public:
    bool Enabled = false;

    void ReadSettings(const TIniFile& ini);
    void WriteSettings(TIniFile& ini);
    void AddRecord(int minute, int hour, int day, int month, int year, const QVector<int>& counts);
};

} // namespace za
