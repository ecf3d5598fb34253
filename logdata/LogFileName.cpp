#include "LogFileName.h"

namespace za {

namespace {

QString Pad(int value, int width) { return QString::number(value).rightJustified(width, '0'); }

} // namespace

QString ExpandDateCode(const QString& code, const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    const int quarter = (d.month() - 1) / 3 + 1;
    QString out;
    int i = 0;
    auto at = [&](const char* token) {
        return QStringView(code).mid(i).startsWith(QLatin1String(token), Qt::CaseSensitive);
    };
    while (i < code.size()) {
        if (at("NOW")) {
            out = QString::asprintf("%04d-%02d-%02d-%02d-%02d-%02d-%03d", d.year(), d.month(), d.day(),
                                    t.hour(), t.minute(), t.second(), t.msec());
            i += 3;
        } else if (at("YYYY")) { out += Pad(d.year(), 4); i += 4; }
        else if (at("YY")) { out += Pad(d.year() % 100, 2); i += 2; }
        else if (at("Y")) { out += QString::number(d.year() % 10); i += 1; }
        else if (at("QQ")) { out += "Q" + QString::number(quarter); i += 2; }
        else if (at("Q")) { out += QString::number(quarter); i += 1; }
        else if (at("MM")) { out += Pad(d.month(), 2); i += 2; }
        else if (at("M")) { out += QString::number(d.month()); i += 1; }
        else if (at("DD")) { out += Pad(d.day(), 2); i += 2; }
        else if (at("D")) { out += QString::number(d.day()); i += 1; }
        else if (at("hh")) { out += Pad(t.hour(), 2); i += 2; }
        else if (at("h")) { out += QString::number(t.hour()); i += 1; }
        else if (at("mm")) { out += Pad(t.minute(), 2); i += 2; }
        else if (at("m")) { out += QString::number(t.minute()); i += 1; }
        else { out += code[i]; i += 1; }
    }
    return out;
}

QString BuildLogFileName(const QString& path, const QString& prefix, const QString& code,
                         const QString& suffix, const QString& ext, const QDateTime& time) {
    QString folder = path;
    // Settings written on other systems may end the folder in a backslash; either
    // separator counts, so a folder is never given a second one.
    if (!folder.isEmpty() && !folder.endsWith('/') && !folder.endsWith('\\')) folder += '/';
    QString extension = ext;
    if (!extension.isEmpty() && !extension.startsWith('.')) extension.prepend('.');
    return folder + prefix + ExpandDateCode(code, time) + suffix + extension;
}

} // namespace za
