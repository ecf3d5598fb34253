#include "IniFile.h"
#include "FileReplace.h"
#include "IntParse.h"
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTime>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
    struct stat st;
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0) return s;
    s.exists = true;
    s.size = qint64(st.st_size);
    s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = quint64(st.st_ino);
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

int HexDigit(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

// Decimal, or hexadecimal after "0x", "0X" or "$" (with an optional sign in front).
bool ParseIniInteger(const QString& text, int& out) {
    const QString s = text.trimmed();
    int i = 0;
    if (i < s.size() && (s.at(i) == '+' || s.at(i) == '-')) ++i;
    int digits = -1;
    if (s.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) digits = i + 2;
    else if (s.mid(i, 1) == QLatin1String("$")) digits = i + 1;
    if (digits < 0) return ParseStrictInt(s, out);
    // Up to 32 bits, taken as a signed 32-bit pattern ($FFFFFFFF is -1).
    const int count = int(s.size()) - digits;
    if (count < 1 || count > 8) return false;
    quint32 v = 0;
    for (int k = digits; k < s.size(); ++k) {
        const int d = HexDigit(s.at(k));
        if (d < 0) return false;
        v = v * 16 + quint32(d);
    }
    out = s.at(0) == '-' ? int(0u - v) : int(v);
    return true;
}

// Day numbers of 1 January 0001 and 1 January 10000: outside that no date exists.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;

} // namespace

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
        // Encoded line by line into one buffer, without the whole text as UTF-16 first.
        qsizetype most = bom ? 3 : 0;
        for (const TLine& l : lines) most += (l.raw.size() + eol.size()) * 3;
        QByteArray out;
        out.resize(most);
        char* p = out.data();
        if (bom) {
            memcpy(p, "\xEF\xBB\xBF", 3);
            p += 3;
        }
        QStringEncoder enc(QStringEncoder::Utf8);
        for (const TLine& l : lines) {
            p = enc.appendToBuffer(p, l.raw);
            p = enc.appendToBuffer(p, eol);
        }
        out.truncate(p - out.constData());
        out.squeeze();   // the cache keeps these bytes: no room for three times the text
        return out;
    }
};

std::shared_ptr<TIniFile::TData> TIniFile::Load(const QString& fileName, const std::shared_ptr<TData>& cached) {
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
    // Most often the file is still what we parsed last (our own last write):
    // reading it is cheap, parsing it again is not.
    if (cached && cached->exists && cached->readable && cached->bytes == d->bytes) {
        cached->stamp = d->stamp;
        return cached;
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

extern "C" void IgnoreSignal(int) {}

// An advisory lock held across one read-modify-write. The kernel releases it
// when the holder dies, so a killed instance never blocks the others, and
// taking it costs no disk flush. The holder is another instance in the middle
// of its own write, which takes milliseconds; waiting is a blocking flock that
// a timer signal breaks off after timeoutMs, so the GUI thread sleeps instead
// of spinning and is never held longer than that.
class TWriteLock {
public:
    TWriteLock(const QString& path, int timeoutMs) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return;
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return;
        if (!WaitInterruptible(timeoutMs)) WaitPolling(timeoutMs);
        // Not had in time (a hung holder): go ahead without the lock rather than
        // not write at all. Keys another instance writes at this very moment may
        // then be lost; a value not written at all is lost for certain.
    }
    ~TWriteLock() {
        if (fd_ >= 0) ::close(fd_);   // closing releases the lock
    }
    TWriteLock(const TWriteLock&) = delete;
    TWriteLock& operator=(const TWriteLock&) = delete;

private:
    // False when no timer could be set up.
    bool WaitInterruptible(int timeoutMs) {
        // A real-time signal that nothing else here uses, aimed at this thread
        // only, with a handler that does nothing and no SA_RESTART, so that it
        // breaks off the flock. Everything changed is put back afterwards.
        const int sig = SIGRTMIN + 5;
        struct sigaction quiet = {}, oldAction = {};
        quiet.sa_handler = IgnoreSignal;
        sigemptyset(&quiet.sa_mask);
        quiet.sa_flags = 0;
        if (::sigaction(sig, &quiet, &oldAction) != 0) return false;
        sigset_t only, oldMask;
        sigemptyset(&only);
        sigaddset(&only, sig);
        ::pthread_sigmask(SIG_UNBLOCK, &only, &oldMask);

        struct sigevent ev = {};
        ev.sigev_notify = SIGEV_THREAD_ID;
        ev.sigev_signo = sig;
        ev._sigev_un._tid = ::gettid();
        timer_t timer;
        const bool armed = ::timer_create(CLOCK_MONOTONIC, &ev, &timer) == 0;
        if (armed) {
            // First at the bound, then again every 10 ms: a signal that came
            // before the thread was inside flock would otherwise be missed.
            struct itimerspec when = {};
            when.it_value.tv_sec = timeoutMs / 1000;
            when.it_value.tv_nsec = long(timeoutMs % 1000) * 1000000L;
            when.it_interval.tv_nsec = 10 * 1000000L;
            QElapsedTimer t;
            t.start();
            if (::timer_settime(timer, 0, &when, nullptr) == 0) {
                while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR && t.elapsed() < timeoutMs) {
                }
            }
            // Any signal still on its way is taken by the quiet handler as this returns.
            ::timer_delete(timer);
        }
        ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
        ::sigaction(sig, &oldAction, nullptr);
        return armed;
    }

    void WaitPolling(int timeoutMs) {
        QElapsedTimer t;
        t.start();
        const struct timespec step = {0, 10 * 1000000L};
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && t.elapsed() < timeoutMs) ::nanosleep(&step, nullptr);
    }

    int fd_ = -1;
};

} // namespace

struct TIniFile::TPending {
    std::unique_ptr<TWriteLock> lock;
    std::shared_ptr<TData> data;   // the file as read under the lock, with the group's changes
    bool changed = false;
    bool unreadable = false;
};

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName)) {}

TIniFile::~TIniFile() = default;

const TIniFile::TData& TIniFile::Current() const {
    if (pending_) return *pending_->data;
    if (!d_ || !(d_->stamp == StatFile(fileName_))) d_ = Load(fileName_, d_);
    return *d_;
}

void TIniFile::Begin() {
    // Another instance may have written since we last looked: always start from
    // what is on disk now, so its keys survive our write. The lock keeps two
    // instances from interleaving their read-modify-write.
    auto p = std::make_unique<TPending>();
    p->lock = std::make_unique<TWriteLock>(fileName_ + ".lock", kLockWaitMs);
    p->data = Load(fileName_, d_);
    // The group changes the parsed file in place, without a copy of every line;
    // until the commit, reads go to it, and if the group is left, the next read
    // parses the file again.
    d_.reset();
    // A file we cannot read must not be replaced by one holding only our keys.
    p->unreadable = p->data->exists && !p->data->readable;
    pending_ = std::move(p);
}

void TIniFile::Abandon() { pending_.reset(); }

void TIniFile::Commit() {
    // The lock goes when p does, after the file has been replaced.
    const std::unique_ptr<TPending> p = std::move(pending_);
    const QString failure = QString("Unable to write to %1").arg(fileName_);
    if (p->unreadable) {
        d_.reset();
        throw EIniWriteError(failure);
    }
    TData& d = *p->data;
    if (!p->changed) {
        d_ = p->data;
        return;
    }
    const QByteArray out = d.Serialize();
    if (d.exists && out == d.bytes) {   // changed back to what it was: nothing to write
        d_ = p->data;
        return;
    }
    TReplacedFile written;
    if (!ReplaceFileContents(fileName_, out, nullptr, &written)) {
        d_.reset();
        throw EIniWriteError(failure);
    }
    // The stamp of the file we wrote, taken before it was renamed into place:
    // if someone else replaces it later, the next read sees another stamp.
    d.bytes = out;
    d.exists = true;
    d.readable = true;
    d.stamp = TStamp();
    d.stamp.valid = true;
    d.stamp.exists = true;
    d.stamp.inode = written.inode;
    d.stamp.size = written.size;
    d.stamp.mtimeNs = written.mtimeNs;
    d_ = p->data;
}

void TIniFile::Modify(const std::function<bool(TData&)>& change) {
    if (pending_) {
        if (change(*pending_->data)) pending_->changed = true;
        return;
    }
    TUpdate single(*this);
    Modify(change);
    single.Commit();
}

TIniFile::TUpdate::TUpdate(TIniFile& ini) : ini_(ini) {
    if (ini_.pending_) return;   // joins the open group
    ini_.Begin();
    outer_ = true;
}

TIniFile::TUpdate::~TUpdate() {
    if (outer_ && !done_) ini_.Abandon();
}

void TIniFile::TUpdate::Commit() {
    if (done_) return;
    done_ = true;
    if (outer_) ini_.Commit();
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
    for (const QString& fmt : {SystemLongTimeFormat(), SystemShortTimeFormat()}) {
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
