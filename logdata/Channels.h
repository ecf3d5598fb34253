#pragma once
// The channel set: how many channels the counter has, their display names and
// chart colours, and the log line layout. One set serves the whole program:
// the current log file's data and the viewer of any other log file.
#include <QString>
#include <QStringList>
#include <QVector>

namespace za {

class TChannelSet {
public:
    // N becomes the number of names (at least 1); colours may be shorter than names.
    void SetChannels(const QStringList& names, const QVector<int>& colors);
    int Count() const { return int(names_.size()); }
    QString Name(int i) const;         // "" outside 0..N-1
    QStringList Names() const { return names_; }
    int Color(int i) const;            // 0: the chart picks the colour (also when missing)
    QVector<int> Colors() const;       // N entries
    bool HasColor(int i) const { return Color(i) != 0; }

    int LogLineFormat() const { return layout_; }
    void SetLogLineFormat(int layout) { layout_ = layout; }

private:
    QStringList names_{"Counter 1", "Counter 2", "Counter 3"};
    QVector<int> colors_;
    int layout_ = 0;
};

} // namespace za
