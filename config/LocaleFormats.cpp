#include "LocaleFormats.h"
#include <QLocale>

namespace za {

namespace {

// Removes the time-zone part ("t" .. "tttt" outside quotes) and the blanks that
// led up to it from a QLocale time format.
QString StripTimeZone(const QString& fmt) {
    QString out;
    bool quoted = false;
    for (int i = 0; i < fmt.size();) {
        const QChar c = fmt.at(i);
        if (c == '\'') {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        if (!quoted && c == 't') {
            while (i < fmt.size() && fmt.at(i) == 't') ++i;
            while (!out.isEmpty() && out.back() == ' ') out.chop(1);
            if (out.isEmpty())
                while (i < fmt.size() && fmt.at(i) == ' ') ++i;
            continue;
        }
        out += c;
        ++i;
    }
    return out.trimmed();
}

} // namespace

QString SystemShortDateFormat() { return QLocale::system().dateFormat(QLocale::ShortFormat); }

QString SystemLongTimeFormat() { return StripTimeZone(QLocale::system().timeFormat(QLocale::LongFormat)); }

QString SystemShortTimeFormat() { return StripTimeZone(QLocale::system().timeFormat(QLocale::ShortFormat)); }

} // namespace za
