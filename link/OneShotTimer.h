#pragma once
// A timer that switches itself off at its first tick, so that it fires exactly
// once. The waits for a counter's answer make one per wait and poll Running().
#include <QTimer>

namespace za {

class TOneShotTimer : public QTimer {
    Q_OBJECT
public:
    explicit TOneShotTimer(QObject* owner = nullptr);
    bool Running() const { return isActive(); }
};

} // namespace za
