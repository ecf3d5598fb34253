#include "Channels.h"

namespace za {

void TChannelSet::SetChannels(const QStringList& names, const QVector<int>& colors) {
    names_ = names.isEmpty() ? QStringList{"Counter 1"} : names;
    colors_ = colors;
}

QString TChannelSet::Name(int i) const { return i >= 0 && i < names_.size() ? names_[i] : QString(); }

int TChannelSet::Color(int i) const { return i >= 0 && i < colors_.size() ? colors_[i] : 0; }

QVector<int> TChannelSet::Colors() const {
    QVector<int> out;
    for (int i = 0; i < Count(); ++i) out << Color(i);
    return out;
}

} // namespace za
