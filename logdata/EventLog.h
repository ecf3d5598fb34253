#pragma once
// The program's event log: each entry goes to the event-log file, the status
// line and/or a modal message box, chosen by a level (0..11) or by explicit
// channels. Boxes and beeps go through a channel: the application gives it
// real message boxes, tests record them.
#include <QString>
#include <functional>
#include "config/Clock.h"

namespace za {

enum class TBoxKind { Information, Warning, Error };

class TMessageChannel {
public:
    virtual ~TMessageChannel() = default;
    virtual void ShowBox(TBoxKind kind, const QString& text) = 0;   // modal; returns when closed
    virtual void Beep() = 0;
};

// "BOX <kind>: <text>" for each box and "BEEP" for each beep on standard
// error; used where no person is there to close a box.
class TStderrMessageChannel : public TMessageChannel {
public:
    void ShowBox(TBoxKind kind, const QString& text) override;
    void Beep() override;
};

class TEventLog {
public:
    // channel and clock must outlive the log; nullptr means boxes and beeps on
    // standard error / the system clock.
    explicit TEventLog(TMessageChannel* channel = nullptr, const TClock* clock = nullptr);

    void SetFileName(const QString& path);
    QString FileName() const { return fileName_; }

    void Log(const QString& text, int level);
    void LogTo(const QString& text, int severity, bool toFile, bool toBox, bool toStatus);
    void LogForced(const QString& text, int severity, bool forceFile, bool forceBox);

    // Receives each status-line entry (line text, level).
    std::function<void(const QString& line, int level)> OnStatus;

    // "<date time> : <severity name> - <text>" with the current local time.
    QString FormatLine(const QString& text, int severity) const;

    bool FileSwitch[3] = {false, true, true};
    bool StatusSwitch[3] = {true, true, true};
    bool BoxSwitch[3] = {false, false, true};

private:
    void ToFile(const QString& text, int severity);
    void ToStatus(const QString& text, int severity, int level);
    void ToBox(const QString& text, int severity);

    TMessageChannel* channel_;
    const TClock* clock_;
    QString fileName_;
};

} // namespace za
