#include "Channels.h"

namespace za {

namespace {

struct TChannelSet {
    QStringList names{"Counter 1", "Counter 2", "Counter 3"};
    QVector<int> colors;
    int layout = 0;
};

TChannelSet& Set() {
    static TChannelSet set;
    return set;
}

} // namespace

void SetChannels(const QStringList& names, const QVector<int>& colors) {
    Set().names = names.isEmpty() ? QStringList{"Counter 1"} : names;
    Set().colors = colors;
}

int ChannelCount() { return int(Set().names.size()); }

QString ChannelName(int i) { return i >= 0 && i < Set().names.size() ? Set().names[i] : QString(); }

int ChannelColor(int i) { return i >= 0 && i < Set().colors.size() ? Set().colors[i] : 0; }

bool ChannelHasColor(int i) { return ChannelColor(i) != 0; }

QColor ChannelQColor(int i) {
    const int c = ChannelColor(i);
    if (c == 0) return QColor();
    // Colours are kept in the settings file as 0x00BBGGRR.
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int LogLineFormat() { return Set().layout; }

void SetLogLineFormat(int layout) { Set().layout = layout; }

} // namespace za
