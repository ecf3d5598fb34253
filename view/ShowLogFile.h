#pragma once
// The log file viewer: a window of its own that shows any log file the user
// opens; it never writes the file back.
#include <QWidget>

namespace za {

class TChannelSet;
class TClock;
class TDataFrame;
class TEventLog;

class TShowLogFile : public QWidget {
    Q_OBJECT
public:
    // channels: the program's channel set, which must outlive the viewer. log
    // shows the frame's boxes (saved pictures, failed exports); nullptr gives
    // plain message boxes.
    TShowLogFile(QWidget* parent, const TChannelSet& channels, TEventLog* log = nullptr, const TClock* clock = nullptr);
    TDataFrame* DataFrame1() const { return frame_; }

    // Loads the file into the frame and shows the window in front.
    void ShowLogFileFromPath(const QString& path);

private:
    TDataFrame* frame_;
};

// The open dialog's filter for log files with the configured extension
// (as stored, with or without its dot).
QString OpenLogFileFilter(const QString& ext);

// Asks for an existing log file; "" when the user cancels.
QString AskLogFileName(QWidget* parent, const QString& ext, const QString& folder = QString());

} // namespace za
