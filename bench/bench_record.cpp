// Time from the last byte of a LogRecord frame to its Ack leaving the port,
// over a real pseudo-terminal, with the current log file holding 750 lines (a
// month of hours) or 8,760 lines (a year). It includes everything the record
// path does: decoding, the safe rewrite of the log file, the CHKS settings
// write and the refresh of the text view (the last two follow the Ack and
// are reported apart, as after_ack_ms).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "config/Clock.h"
#include "config/IniFile.h"
#include "link/ComPort.h"
#include "link/CounterLink.h"
#include "logdata/EventLog.h"
#include "logdata/LogStore.h"
#include "logdata/RecordHandler.h"
#include "logdata/Spool.h"
#include "view/DataFrame.h"

namespace {

class TSilentBoxes : public za::TMessageChannel {
public:
    void ShowBox(za::TBoxKind, const QString&) override {}
    void Beep() override {}
};

class THandlers : public za::TCounterHandlers {
public:
    za::TRecordHandler* records = nullptr;
    za::TCounterLink* link = nullptr;
    void HandleLogRecord(const za::TLogRecordData& r) override { records->HandleLogRecord(r); }
};

QByteArray RecordFrame(int hour, int day, int month, int year, int c1, int c2, int c3) {
    QByteArray f;
    f.append(char(0x02)).append(char(16)).append(char(16));
    f.append(char(hour)).append(char(day)).append(char(month));
    f.append(char(year & 0xFF)).append(char(year >> 8));
    for (int c : {c1, c2, c3}) f.append(char(c & 0xFF)).append(char((c >> 8) & 0xFF));
    int sum = 3;
    for (char b : f) sum += uint8_t(b);
    f.append(char((256 - sum % 256) % 256)).append(char(0x03));
    return f;
}

void RecordToAck(benchmark::State& state) {
    const int preloaded = int(state.range(0));
    // ZA_BENCH_DIR picks the file system (e.g. /dev/shm to leave the disk's
    // flush time out and see the program's own share).
    const QString base = qEnvironmentVariableIsEmpty("ZA_BENCH_DIR") ? QDir::tempPath() : qEnvironmentVariable("ZA_BENCH_DIR");
    QTemporaryDir dir(base + "/zabench-XXXXXX");
    za::TFixedClock clock(QDateTime(QDate(2011, 12, 31), QTime(12, 0)));
    TSilentBoxes boxes;
    za::TEventLog log(&boxes, &clock);
    log.SetFileName(dir.filePath("zentrellapp.log"));
    // ZA_BENCH_INI_MB: a settings file of that size (a long hand-made section),
    // to see that the Ack does not wait for settings-file work.
    if (const int mb = qEnvironmentVariableIntValue("ZA_BENCH_INI_MB"); mb > 0) {
        QFile big(dir.filePath("zentrellapp.ini"));
        big.open(QIODevice::WriteOnly);
        big.write("[NOTES]\r\n");
        const QByteArray line = "NOTE=" + QByteArray(90, 'x') + "\r\n";
        for (qint64 i = 0; i < qint64(mb) * 1024 * 1024 / line.size(); ++i) big.write(line);
    }
    za::TIniFile ini(dir.filePath("zentrellapp.ini"));
    za::TLogData data(&log);

    // The current log file: one line per hour back from the end of the year.
    QByteArray file;
    for (int i = 0; i < preloaded; ++i) {
        const QDateTime t = QDateTime(QDate(2011, 1, 1), QTime(0, 0)).addSecs(3600LL * i);
        file += QString::asprintf("%02d,%02d,%02d,%4d,%5d,%5d,%5d\r\n", t.time().hour(), t.date().day(),
                                  t.date().month(), t.date().year(), i % 50, i % 7, i % 3)
                    .toLatin1();
    }
    const QString logName = dir.filePath("LOG.LOG");
    QFile f(logName);
    f.open(QIODevice::WriteOnly);
    f.write(file);
    f.close();

    za::TDataFrame frame(nullptr, data.Store(), &log, &clock);
    frame.resize(1280, 800);
    frame.show();
    za::TRecordSettings rs;
    rs.LogFilePath = dir.path();
    rs.LogFilePrefix = "LOG";
    rs.LogFileExt = ".LOG";
    za::TSpool spool(dir.filePath("zentrellapp.spool"));
    za::TRecordHandler records(log, ini, data.Store(), spool, clock, rs);
    records.StartLogFile();

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    const QString slave = QString::fromLatin1(ptsname(master));
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);

    za::TComPort port;
    port.DeviceOverride = slave;
    QString err;
    if (!port.SetOpen(true, &err)) {
        state.SkipWithError(err.toStdString().c_str());
        return;
    }
    za::TCounterLink link(&port, &clock);
    THandlers handlers;
    handlers.records = &records;
    handlers.link = &link;
    link.SetHandlers(&handlers);
    records.SendAck = [&] { link.SendAck(); };
    link.SetRunning(true);

    int n = 0;
    double afterAckMs = 0;
    for (auto _ : state) {
        // A time stamp in December that no preloaded line has.
        const QByteArray frameBytes = RecordFrame(n % 24, 1 + n / 24 % 28, 12, 2012 + n / 672, n % 50, 1, 2);
        ++n;
        QElapsedTimer t;
        if (::write(master, frameBytes.constData(), frameBytes.size()) != frameBytes.size()) break;
        t.start();
        uint8_t ack[5];
        int got = 0;
        while (got < 5) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0) {
                const ssize_t r = ::read(master, ack + got, size_t(5 - got));
                if (r > 0) got += int(r);
            }
            if (t.elapsed() > 5000) break;
        }
        state.SetIterationTime(double(t.nsecsElapsed()) / 1e9);
        if (got < 5) {
            state.SkipWithError("no Ack within 5 s");
            break;
        }
        // What follows the Ack from the event loop: the CHKS write and the
        // refresh of the text view and the chart. Not part of the Ack time, but
        // the GUI thread is busy with it before it takes the next frame.
        QElapsedTimer after;
        after.start();
        records.FlushChecksum();
        frame.FlushRefresh();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        afterAckMs += double(after.nsecsElapsed()) / 1e6;
    }
    state.counters["after_ack_ms"] = benchmark::Counter(afterAckMs / std::max(1, n));
    port.SetOpen(false);
    ::close(master);
}

} // namespace

BENCHMARK(RecordToAck)->Arg(750)->Arg(8760)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(60)->Repetitions(5)->ReportAggregatesOnly(true);
