#pragma once
// The channel set and the log line layout, held once for the whole program and
// shared by every data frame (the viewer uses the main window's channels).
#include <QColor>
#include <QString>
#include <QStringList>
#include <QVector>

namespace za {

// N becomes the number of names (at least 1); colours may be shorter than names.
void SetChannels(const QStringList& names, const QVector<int>& colors);
int ChannelCount();
QString ChannelName(int i);        // "" outside 0..N-1
int ChannelColor(int i);           // 0: the chart picks the colour (also when missing)
bool ChannelHasColor(int i);
QColor ChannelQColor(int i);       // stored colour value as 0x00BBGGRR; invalid when 0

int LogLineFormat();
void SetLogLineFormat(int layout);

} // namespace za
