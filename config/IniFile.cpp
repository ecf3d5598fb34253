#include "IniFile.h"
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QElapsedTimer>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <QRegularExpression>
#include <QSaveFile>
#include <cstdio>
#include <QStringDecoder>
#include <QTime>
#include <cmath>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace za {

namespace {

enum class TLineKind { Other, Section, Key };

struct TLine {
    QString raw;
    TLineKind kind = TLineKind::Other;
    QString name;   // section or key name, trimmed
    QString value;  // key lines: trimmed value
};

// What identifies one version of the file on disk. A replace by rename gives a
// new inode, so even a same-size rewrite within one timestamp tick is noticed.
struct TStamp {
    bool exists = false;
    qint64 size = -1;
    qint64 mtimeNs = -1;
    quint64 inode = 0;
    bool valid = false;
    bool operator==(const TStamp& o) const {
        return valid && o.valid && exists == o.exists && size == o.size && mtimeNs == o.mtimeNs &&
               inode == o.inode;
    }
};

TStamp StatFile(const QString& fileName) {
    TStamp s;
    s.valid = true;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0) return s;
    s.exists = true;
    s.size = qint64(st.st_size);
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = quint64(st.st_ino);
#else
    QFileInfo fi(fileName);
    if (!fi.exists()) return s;
    s.exists = true;
    s.size = fi.size();
    s.mtimeNs = fi.lastModified().toMSecsSinceEpoch() * 1000000LL;
#endif
    return s;
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

TLine ParseRawLine(const QString& raw) {
    TLine l;
    l.raw = raw;
    const QString t = raw.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#')) return l;
    if (t.startsWith('[')) {
        int close = t.indexOf(']');
        l.kind = TLineKind::Section;
        l.name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
        return l;
    }
    int eq = t.indexOf('=');
    if (eq <= 0) return l;
    l.name = t.left(eq).trimmed();
    if (l.name.isEmpty()) return l;
    l.kind = TLineKind::Key;
    QString v = t.mid(eq + 1).trimmed();
    // Hand-edited files often quote values; the quotes are not part of the value.
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    l.value = v;
    return l;
}

QString DecodeText(const QByteArray& bytes) {
    // Older files were written in an 8-bit code page; take UTF-8 when it is valid.
    QStringDecoder dec(QStringDecoder::Utf8);
    QString s = dec.decode(bytes);
    if (dec.hasError()) return QString::fromLatin1(bytes);
    return s;
}

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

bool ParseIniInteger(const QString& text, int& out) {
    QString s = text.trimmed();
    if (s.isEmpty()) return false;
    bool neg = false;
    int i = 0;
    if (s.at(0) == '+' || s.at(0) == '-') {
        neg = s.at(0) == '-';
        ++i;
    }
    bool hex = false;
    if (s.mid(i, 2).compare("0x", Qt::CaseInsensitive) == 0) {
        hex = true;
        i += 2;
    } else if (s.mid(i, 1) == "$") {
        hex = true;
        i += 1;
    }
    if (i >= s.size()) return false;
    if (hex) {
        // Up to 32 bits, taken as a signed 32-bit pattern ($FFFFFFFF is -1).
        if (s.size() - i > 8) return false;
        quint32 v = 0;
        for (; i < s.size(); ++i) {
            const int d = QChar(s.at(i)).isDigit() ? s.at(i).unicode() - '0'
                          : (s.at(i).toLower() >= 'a' && s.at(i).toLower() <= 'f')
                              ? s.at(i).toLower().unicode() - 'a' + 10
                              : -1;
            if (d < 0 || s.at(i).unicode() > 127) return false;
            v = v * 16 + quint32(d);
        }
        qint32 r = qint32(v);
        out = neg ? qint32(0u - quint32(r)) : r;
        return true;
    }
    qint64 v = 0;
    for (; i < s.size(); ++i) {
        const ushort c = s.at(i).unicode();
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return false;
    out = int(v);
    return true;
}

// Day numbers of 1 January 0001 and 1 January 10000: outside that no date exists.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;

} // namespace

QString SystemShortDateFormat() { return QLocale::system().dateFormat(QLocale::ShortFormat); }

QString SystemLongTimeFormat() { return StripTimeZone(QLocale::system().timeFormat(QLocale::LongFormat)); }

struct TIniFile::TData {
    TStamp stamp;
    bool exists = false;
    bool readable = true;
    bool bom = false;
    QByteArray bytes;
    QString eol = "\r\n";
    QVector<TLine> lines;

    int FindSection(const QString& section) const {
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].kind == TLineKind::Section && SameName(lines[i].name, section)) return i;
        return -1;
    }
    // One past the last line of the section that starts at header.
    int SectionEnd(int header) const {
        int i = header + 1;
        while (i < lines.size() && lines[i].kind != TLineKind::Section) ++i;
        return i;
    }
    int FindKey(const QString& section, const QString& key) const {
        const int s = FindSection(section);
        if (s < 0) return -1;
        const int end = SectionEnd(s);
        for (int i = s + 1; i < end; ++i)
            if (lines[i].kind == TLineKind::Key && SameName(lines[i].name, key)) return i;
        return -1;
    }
    const QString* Value(const QString& section, const QString& key) const {
        const int k = FindKey(section, key);
        return k < 0 ? nullptr : &lines[k].value;
    }
    QByteArray Serialize() const {
        QString text;
        for (const TLine& l : lines) {
            text += l.raw;
            text += eol;
        }
        QByteArray out = text.toUtf8();
        if (bom) out.prepend("\xEF\xBB\xBF");
        return out;
    }
};

std::shared_ptr<TIniFile::TData> TIniFile::Load(const QString& fileName) {
    auto d = std::make_shared<TIniFile::TData>();
    d->stamp = StatFile(fileName);
    d->exists = d->stamp.exists;
    if (!d->exists) return d;
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly)) {
        d->readable = false;
        return d;
    }
    d->bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        d->readable = false;
        return d;
    }
    QByteArray body = d->bytes;
    if (body.startsWith("\xEF\xBB\xBF")) {
        d->bom = true;
        body.remove(0, 3);
    }
    QString text = DecodeText(body);
    if (text.contains("\r\n")) d->eol = "\r\n";
    else if (text.contains('\n')) d->eol = "\n";
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    QStringList raw = text.split('\n');
    if (!raw.isEmpty() && raw.last().isEmpty()) raw.removeLast();
    d->lines.reserve(raw.size());
    for (const QString& r : raw) d->lines.push_back(ParseRawLine(r));
    return d;
}

namespace {
// An advisory lock held across one read-modify-write. The kernel releases it
// when the holder dies, so a killed instance never blocks the others, and
// taking it costs no disk flush.
class TWriteLock {
public:
    TWriteLock(const QString& path, int timeoutMs) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        QElapsedTimer t;
        t.start();
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (t.elapsed() >= timeoutMs) return;   // go ahead without it rather than not at all
            ::usleep(2000);
        }
    }
    ~TWriteLock() {
        if (fd_ >= 0) ::close(fd_);   // closing releases the lock
    }
    TWriteLock(const TWriteLock&) = delete;
    TWriteLock& operator=(const TWriteLock&) = delete;

private:
    int fd_ = -1;
};
} // namespace

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName)) {}

const TIniFile::TData& TIniFile::Current() const {
    if (!d_ || !(d_->stamp == StatFile(fileName_))) d_ = Load(fileName_);
    return *d_;
}

void TIniFile::Modify(const std::function<bool(TData&)>& change) {
    // Another instance may have written since we last looked: always start from
    // what is on disk now, so its keys survive our write. The lock keeps two
    // instances from interleaving their read-modify-write; if it cannot be had in
    // time (a crashed holder), the write goes ahead without it rather than not at all.
    TWriteLock lock(fileName_ + ".lock", 2000);
    std::shared_ptr<TData> d = Load(fileName_);
    const QString failure = QString("Unable to write to %1").arg(fileName_);
    // A file we cannot read must not be replaced by one holding only our key.
    if (d->exists && !d->readable) throw EIniWriteError(failure);
    if (!change(*d)) {
        d_ = d;
        return;
    }
    const QByteArray out = d->Serialize();
    if (d->exists && out == d->bytes) {
        d_ = d;
        return;
    }
    if (!(flushToDisk_ ? WriteFlushed(out) : WriteReplacing(out))) {
        d_.reset();
        throw EIniWriteError(failure);
    }
    // Cache the written content, but compare with the disk at the next read: the
    // stamp is taken after the rename, when someone else may already have written.
    d->bytes = out;
    d->exists = true;
    d->stamp = TStamp();
    d_ = d;
}

bool TIniFile::WriteFlushed(const QByteArray& out) const {
    QSaveFile f(fileName_);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size() && f.commit();
}

bool TIniFile::WriteReplacing(const QByteArray& out) const {
    // Still all or nothing (a new file renamed over the old one), but without
    // waiting for the disk.
    const QString tmp = fileName_ + ".new~";
    QFile f(tmp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(out) != out.size() || !f.flush()) {
        f.close();
        QFile::remove(tmp);
        return false;
    }
    f.close();
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(fileName_).constData()) != 0) {
        QFile::remove(tmp);
        return false;
    }
    return true;
}

void TIniFile::WriteIntegerUnflushed(const QString& section, const QString& key, int value) {
    flushToDisk_ = false;
    try {
        WriteInteger(section, key, value);
    } catch (...) {
        flushToDisk_ = true;
        throw;
    }
    flushToDisk_ = true;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const QString* v = Current().Value(section, key);
    if (!v) return def;
    return v->left(kMaxStringLength);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    const QString* v = Current().Value(section, key);
    int out = 0;
    if (!v || !ParseIniInteger(v->left(kMaxStringLength), out)) return def;
    return out;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

TDateTime TIniFile::ReadDateTime(const QString& section, const QString& key, TDateTime def) const {
    const QString* v = Current().Value(section, key);
    TDateTime out = 0;
    if (!v || !ParseDateTimeNumber(v->left(kMaxStringLength), out)) return def;
    return out;
}

TDateTime TIniFile::ReadTime(const QString& section, const QString& key, TDateTime def) const {
    const QString* v = Current().Value(section, key);
    TDateTime out = 0;
    if (!v || !ParseTimeOfDay(v->left(kMaxStringLength), out)) return def;
    return out;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    // A line break in a value would end the line and let the rest pose as keys.
    QString v = value;
    v.replace("\r\n", " ");
    v.replace('\r', ' ');
    v.replace('\n', ' ');
    Modify([&](TData& d) {
        const QString raw = key + "=" + v;
        const int k = d.FindKey(section, key);
        if (k >= 0) {
            const QString kept = d.lines[k].name + "=" + v;   // keep the file's spelling of the key
            if (d.lines[k].raw == kept) return false;
            d.lines[k] = ParseRawLine(kept);
            return true;
        }
        const int s = d.FindSection(section);
        if (s < 0) {
            if (!d.lines.isEmpty() && !d.lines.last().raw.trimmed().isEmpty()) d.lines.push_back(ParseRawLine(""));
            d.lines.push_back(ParseRawLine("[" + section + "]"));
            d.lines.push_back(ParseRawLine(raw));
            return true;
        }
        int at = d.SectionEnd(s);
        while (at - 1 > s && d.lines[at - 1].raw.trimmed().isEmpty()) --at;
        d.lines.insert(at, ParseRawLine(raw));
        return true;
    });
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void TIniFile::WriteDateTime(const QString& section, const QString& key, TDateTime value) {
    WriteString(section, key, FormatDateTimeNumber(value));
}

void TIniFile::WriteTime(const QString& section, const QString& key, TDateTime value) {
    WriteString(section, key, FormatTimeOfDay(value));
}

bool TIniFile::SectionExists(const QString& section) const { return Current().FindSection(section) >= 0; }

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    return Current().FindKey(section, key) >= 0;
}

QStringList TIniFile::ReadSection(const QString& section) const {
    const TData& d = Current();
    QStringList keys;
    const int s = d.FindSection(section);
    if (s < 0) return keys;
    const int end = d.SectionEnd(s);
    for (int i = s + 1; i < end; ++i)
        if (d.lines[i].kind == TLineKind::Key) keys << d.lines[i].name;
    return keys;
}

void TIniFile::EraseSection(const QString& section) {
    Modify([&](TData& d) {
        bool changed = false;
        for (int s = d.FindSection(section); s >= 0; s = d.FindSection(section)) {
            d.lines.remove(s, d.SectionEnd(s) - s);
            changed = true;
        }
        return changed;
    });
}

QString TIniFile::FormatDateTimeNumber(TDateTime value) {
    // Shortest text that reads back to the same double, with the system's separator.
    QString s = QString::number(value, 'f', QLocale::FloatingPointShortest);
    const QString point = QLocale::system().decimalPoint();
    if (point != ".") s.replace('.', point);
    return s;
}

bool TIniFile::ParseDateTimeNumber(const QString& text, TDateTime& out) {
    QString s = text.trimmed();
    const QString point = QLocale::system().decimalPoint();
    if (!point.isEmpty() && point != ".") s.replace(point, ".");
    // A file written under another regional setting may carry the other separator.
    s.replace(',', '.');
    static const QRegularExpression re(R"(^[+-]?(\d+(\.\d*)?|\.\d+)([eE][+-]?\d+)?$)");
    if (!re.match(s).hasMatch()) return false;
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < kMinDateTime || v >= kMaxDateTime) return false;
    out = v;
    return true;
}

QString TIniFile::FormatTimeOfDay(TDateTime value) {
    double frac = value - std::floor(value);
    long long ms = llround(frac * 86400000.0);
    if (ms >= 86400000LL) ms = 0;
    const QTime t = QTime::fromMSecsSinceStartOfDay(int(ms));
    return QLocale::system().toString(t, SystemLongTimeFormat());
}

bool TIniFile::ParseTimeOfDay(const QString& text, TDateTime& out) {
    const QString s = text.trimmed();
    if (s.isEmpty()) return false;
    const QLocale loc = QLocale::system();
    for (const QString& fmt : {SystemLongTimeFormat(), StripTimeZone(loc.timeFormat(QLocale::ShortFormat))}) {
        const QTime t = loc.toTime(s, fmt);
        if (t.isValid()) {
            out = EncodeTime(t.hour(), t.minute(), t.second(), t.msec());
            return true;
        }
    }
    // Whatever the regional setting: hours, minutes and optional seconds.
    static const QRegularExpression re(
        R"(^(\d{1,2})\s*[:.]\s*(\d{1,2})(?:\s*[:.]\s*(\d{1,2}))?(?:\s*([AaPp])\.?[Mm]\.?)?$)");
    const QRegularExpressionMatch m = re.match(s);
    if (!m.hasMatch()) return false;
    int h = m.captured(1).toInt();
    const int mi = m.captured(2).toInt();
    const int se = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const QString ap = m.captured(4).toLower();
    if (!ap.isEmpty()) {
        if (h < 1 || h > 12) return false;
        if (ap == "a" && h == 12) h = 0;
        else if (ap == "p" && h != 12) h += 12;
    }
    if (h > 23 || mi > 59 || se > 59) return false;
    out = EncodeTime(h, mi, se);
    return true;
}

} // namespace za
