#include "EventLog.h"
#include "config/IniFile.h"
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cstdio>

namespace za {

namespace {
const char* const kSeverityNames[3] = {"Message", "Warning", "Error"};

TBoxKind BoxKindOf(int severity) {
    switch (severity) {
    case 1: return TBoxKind::Warning;
    case 2: return TBoxKind::Error;
    default: return TBoxKind::Information;
    }
}

TStderrMessageChannel& StderrChannel() {
    static TStderrMessageChannel channel;
    return channel;
}
} // namespace

void TStderrMessageChannel::ShowBox(TBoxKind kind, const QString& text) {
    const char* k = kind == TBoxKind::Error ? "Error" : kind == TBoxKind::Warning ? "Warning" : "Information";
    std::fprintf(stderr, "BOX %s: %s\n", k, text.toLocal8Bit().constData());
    std::fflush(stderr);
}

void TStderrMessageChannel::Beep() {
    std::fprintf(stderr, "BEEP\n");
    std::fflush(stderr);
}

TEventLog::TEventLog(TMessageChannel* channel, const TClock* clock)
    : channel_(channel ? channel : &StderrChannel()), clock_(clock ? clock : &SystemClock()) {}

void TEventLog::SetFileName(const QString& path) {
    fileName_ = path;
    if (QFileInfo::exists(path)) return;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        channel_->Beep();
        channel_->ShowBox(TBoxKind::Error, "Could not create logfile");
        return;
    }
    f.close();
    Log("Logfile created", 0);
}

QString TEventLog::FormatLine(const QString& text, int severity) const {
    const QDateTime now = clock_->Now();
    const QLocale loc = QLocale::system();
    QString stamp = loc.toString(now.date(), SystemShortDateFormat());
    if (now.time() != QTime(0, 0)) stamp += " " + loc.toString(now.time(), SystemLongTimeFormat());
    const char* name = severity >= 0 && severity < 3 ? kSeverityNames[severity] : kSeverityNames[0];
    return QString("%1 : %2 - %3").arg(stamp, QString::fromLatin1(name), text);
}

void TEventLog::Log(const QString& text, int level) {
    if (level < 0 || level > 11) return;
    const int sev = level % 3;
    switch (level / 3) {
    case 0:
        if (FileSwitch[sev]) ToFile(text, sev);
        if (StatusSwitch[sev]) ToStatus(text, sev, level);
        if (BoxSwitch[sev]) ToBox(text, sev);
        break;
    case 1:
        if (FileSwitch[sev]) ToFile(text, sev);
        if (StatusSwitch[sev]) ToStatus(text, sev, level);
        ToBox(text, sev);
        break;
    case 2:
        if (BoxSwitch[sev]) ToBox(text, sev);
        if (StatusSwitch[sev]) ToStatus(text, sev, level);
        ToFile(text, sev);
        break;
    default:
        ToFile(text, sev);
        break;
    }
}

void TEventLog::LogTo(const QString& text, int severity, bool toFile, bool toBox, bool toStatus) {
    if (severity < 0 || severity > 2) return;
    if (toFile) ToFile(text, severity);
    if (toStatus) ToStatus(text, severity, severity);
    if (toBox) ToBox(text, severity);
}

void TEventLog::LogForced(const QString& text, int severity, bool forceFile, bool forceBox) {
    if (severity < 0 || severity > 2) {
        if (forceFile) ToFile(text, severity);
        if (forceBox) channel_->ShowBox(TBoxKind::Information, text);
        return;
    }
    if (forceFile || FileSwitch[severity]) ToFile(text, severity);
    if (forceBox || BoxSwitch[severity]) ToBox(text, severity);
    if (StatusSwitch[severity]) ToStatus(text, severity, severity);
}

void TEventLog::ToFile(const QString& text, int severity) {
    const QByteArray bytes = (FormatLine(text, severity) + "\r\n").toUtf8();
    // Open for every line and never create: a deleted event log stays deleted
    // and each lost entry is reported.
    QFile f(fileName_);
    bool ok = !fileName_.isEmpty() && f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly);
    if (ok) ok = f.write(bytes) == bytes.size() && f.flush();
    f.close();
    if (ok) ok = f.error() == QFileDevice::NoError;
    if (!ok) {
        channel_->Beep();
        channel_->ShowBox(TBoxKind::Error, "Could not write to logfile");
    }
}

void TEventLog::ToStatus(const QString& text, int severity, int level) {
    if (OnStatus) OnStatus(FormatLine(text, severity), level);
}

void TEventLog::ToBox(const QString& text, int severity) { channel_->ShowBox(BoxKindOf(severity), text); }

} // namespace za
