#include "KvikUtils.h"

namespace za {

void TKvikUtils::ReadSettings(const TIniFile& ini) { (void)ini; }
void TKvikUtils::WriteSettings(TIniFile& ini) { (void)ini; }

void TKvikUtils::WriteDataFile(const QString& line) {
    if (!Enabled) return;
    (void)line;
}

void TKvikUtils::ReportDuplicateFiltered() {}
void TKvikUtils::ReportNoLogData() {}
void TKvikUtils::ReportChecksumError() {}
void TKvikUtils::ReportNoResponse() {}
void TKvikUtils::ReportPortError() {}
void TKvikUtils::ReportAlarmInput(int input) { (void)input; }

} // namespace za
