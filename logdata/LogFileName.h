#pragma once
// The log file name: folder, prefix, expanded date code, suffix and extension.
#include <QDateTime>
#include <QString>

namespace za {

// Expands the date-code tokens (NOW, YYYY, YY, Y, QQ, Q, MM, M, DD, D, hh, h,
// mm, m) with the given time; any other character is copied unchanged.
QString ExpandDateCode(const QString& code, const QDateTime& time);

// path + prefix + expanded code + suffix + extension. A path that does not end
// in "/" or "\" gets "/"; an extension without a leading "." gets one.
QString BuildLogFileName(const QString& path, const QString& prefix, const QString& code,
                         const QString& suffix, const QString& ext, const QDateTime& time);

} // namespace za
