#pragma once
// The user's regional date and time formats, as every local-time text of the
// program uses them (event-log lines, time-of-day settings).
#include <QString>

namespace za {

// The regional short date format.
QString SystemShortDateFormat();
// The regional long and short time formats without their time-zone part: the
// program's times are local wall-clock times, and a zone name would only make
// the text harder to read back.
QString SystemLongTimeFormat();
QString SystemShortTimeFormat();

} // namespace za
