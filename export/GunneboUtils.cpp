#include "GunneboUtils.h"

namespace za {

void TGunneboUtils::ReadSettings(const TIniFile& ini) { (void)ini; }
void TGunneboUtils::WriteSettings(TIniFile& ini) { (void)ini; }

void TGunneboUtils::AddRecord(int minute, int hour, int day, int month, int year, const QVector<int>& counts) {
    if (!Enabled) return;
    (void)minute, (void)hour, (void)day, (void)month, (void)year, (void)counts;
}

} // namespace za
