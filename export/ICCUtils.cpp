#include "ICCUtils.h"

namespace za {

void TICCUtils::ReadSettings(const TIniFile& ini) { (void)ini; }
void TICCUtils::WriteSettings(TIniFile& ini) { (void)ini; }

void TICCUtils::AddRecord(int hour, int day, int month, int year, const QVector<int>& counts) {
    if (!Enabled) return;
    (void)hour, (void)day, (void)month, (void)year, (void)counts;
}

} // namespace za
