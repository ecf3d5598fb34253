#include "OneShotTimer.h"

namespace za {

TOneShotTimer::TOneShotTimer(QObject* owner) : QTimer(owner) {
    setSingleShot(true);
    setTimerType(Qt::PreciseTimer);
}

} // namespace za
