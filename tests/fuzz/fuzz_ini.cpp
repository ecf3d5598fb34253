// Arbitrary bytes as a settings file: every kind of value is read from the
// sections and keys the bytes seem to name, then values are written, alone and
// as a group, and must read back the same, from the same object and from a
// fresh one that parses the written file. Any sanitizer report, exception or
// broken invariant is a finding.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "config/IniFile.h"

using namespace za;

namespace {

#define CHECK(cond) do { if (!(cond)) { fprintf(stderr, "broken: %s\n", #cond); abort(); } } while (0)

QString g_path;

// What a written string reads back as: a line break cannot be part of a value,
// blanks around it and one pair of enclosing quotes are not part of it.
QString Expected(QString v) {
    v.replace("\r\n", " ");
    v.replace('\r', ' ');
    v.replace('\n', ' ');
    v = v.trimmed();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.mid(1, v.size() - 2);
    return v.left(TIniFile::kMaxStringLength);
}

struct TName {
    QString section, key;
};

// Section and key names as a careless reader of the text would see them.
QVector<TName> NamesIn(const QByteArray& bytes) {
    QVector<TName> out;
    QString section = "SETUP";
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size() && out.size() < 24; ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.startsWith('[')) {
            section = line.mid(1, line.indexOf(']') < 0 ? -1 : line.indexOf(']') - 1).trimmed();
            out.push_back({section, QString()});
        } else if (line.indexOf('=') > 0) {
            out.push_back({section, line.left(line.indexOf('=')).trimmed()});
        }
    }
    return out;
}

void ReadEverything(const TIniFile& ini, const TName& n) {
    const QString s = ini.ReadString(n.section, n.key, "\x01");
    CHECK(s.size() <= TIniFile::kMaxStringLength);
    if (s != "\x01") CHECK(ini.ValueExists(n.section, n.key));
    (void)ini.ReadInteger(n.section, n.key, 7);
    (void)ini.ReadBool(n.section, n.key, true);
    const TDateTime dt = ini.ReadDateTime(n.section, n.key, -1);
    CHECK(std::isfinite(dt));
    const TDateTime t = ini.ReadTime(n.section, n.key, -1);
    CHECK(t == -1 || (t >= 0 && t < 1));
    const QStringList keys = ini.ReadSection(n.section);
    CHECK(ini.SectionExists(n.section) || keys.isEmpty());
}

uint32_t UInt32At(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    // A memory-backed folder where there is one: every write is flushed to disk.
    const QString base = QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath();
    static QTemporaryDir dir(base + "/fuzz_ini-XXXXXX");
    CHECK(dir.isValid());
    g_path = dir.filePath("fuzz.ini");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    const uint8_t flags = data[0];
    const int32_t number = int32_t(UInt32At(data + 1));
    // Any moment from the year 1 to the year 9999.
    const TDateTime when = double(UInt32At(data + 5) % 3652058u) - 693593.0 + double(flags) / 256.0;
    const QByteArray file(reinterpret_cast<const char*>(data + 9), int(size - 9));
    // The value to write: the file's last bytes, whatever they hold.
    const QString value = QString::fromUtf8(file.right(int(file.size() % 97)));
    {
        QFile f(g_path);
        CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        CHECK(f.write(file) == file.size());
    }

    try {
        TIniFile ini(g_path);
        const QVector<TName> names = NamesIn(file);
        for (const TName& n : names) ReadEverything(ini, n);

        // A group: pending values are seen before the commit and after it.
        {
            TIniFile::TUpdate update(ini);
            ini.WriteString("FUZZ", "TEXT", value);
            ini.WriteInteger("FUZZ", "NUMBER", number);
            ini.WriteBool("Fuzz", "FLAG", flags & 1);
            CHECK(ini.ReadString("fuzz", "text", "\x01") == Expected(value));
            CHECK(ini.ReadInteger("FUZZ", "NUMBER", ~number) == number);
            update.Commit();
        }
        ini.WriteDateTime("FUZZ", "WHEN", when);
        if ((flags & 6) == 6 && !names.isEmpty()) {
            const QString gone = names[flags % names.size()].section;
            ini.EraseSection(gone);
            CHECK(!ini.SectionExists(gone));
        }

        for (const TIniFile* reader : {static_cast<const TIniFile*>(&ini), static_cast<const TIniFile*>(nullptr)}) {
            TIniFile fresh(g_path);
            const TIniFile& r = reader ? *reader : fresh;
            if ((flags & 6) == 6 && !names.isEmpty() &&
                names[flags % names.size()].section.compare("FUZZ", Qt::CaseInsensitive) == 0)
                continue;   // the written section itself was erased
            CHECK(r.ReadString("FUZZ", "TEXT", "\x01") == Expected(value));
            CHECK(r.ReadInteger("FUZZ", "NUMBER", ~number) == number);
            CHECK(r.ReadBool("FUZZ", "FLAG", !(flags & 1)) == bool(flags & 1));
            CHECK(r.ReadDateTime("FUZZ", "WHEN", -1e9) == when);
            for (const TName& n : NamesIn(file)) ReadEverything(r, n);
        }
    } catch (const EIniWriteError& e) {
        fprintf(stderr, "write failed: %s\n", e.what());
        abort();
    }
    return 0;
}
