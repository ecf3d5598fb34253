#pragma once
// Real modal message boxes and the system beep for the event log.
#include "logdata/EventLog.h"

namespace za {

class TQtMessageChannel : public TMessageChannel {
public:
    void ShowBox(TBoxKind kind, const QString& text) override;
    void Beep() override;
};

} // namespace za
