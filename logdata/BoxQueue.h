#pragma once
// Message boxes one at a time. A modal box runs a nested event loop in which
// records keep arriving; if each of them could raise its own box inside the
// last one, an unattended PC would pile up nested boxes without end. This
// channel sits in front of the real one and:
//  - postpones boxes while Postpone() is true (a received frame is being
//    handled) and shows them from the event loop once nothing holds them back;
//  - keeps at most one of its boxes open: a box raised while one is open waits
//    in the queue until it is closed, it is never opened inside it;
//  - drops a box whose text is already open or waiting;
//  - holds at most MaxPending boxes: further distinct texts are dropped and
//    counted, with one note on standard error per overflow (the event-log file
//    has every entry anyway);
//  - after Close() shows nothing more (shutdown): pending and later boxes go
//    to standard error instead.
// Beeps pass straight through.
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include "EventLog.h"

namespace za {

class TBoxQueue : public TMessageChannel {
public:
    // inner must outlive the queue.
    explicit TBoxQueue(TMessageChannel& inner, std::function<bool()> postpone = {});
    ~TBoxQueue() override;
    TBoxQueue(const TBoxQueue&) = delete;
    TBoxQueue& operator=(const TBoxQueue&) = delete;

    // True while boxes must wait (checked when a box is raised and again
    // before each postponed one is shown).
    std::function<bool()> Postpone;

    static constexpr int MaxPending = 100;
    // How often a postponed box looks again while Postpone() holds it back.
    static constexpr int RetryMs = 50;

    void ShowBox(TBoxKind kind, const QString& text) override;
    void Beep() override { inner_.Beep(); }

    // Drops every pending box and refuses new ones; a box that is open stays
    // until it is closed.
    void Close();
    bool Closed() const { return closed_; }

    int Pending() const { return int(queue_.size()); }
    bool BoxOpen() const { return open_; }
    int Dropped() const { return dropped_; }   // distinct texts refused because the queue was full

private:
    struct TBox {
        TBoxKind kind;
        QString text;
    };
    bool HeldBack() const;
    bool Known(const QString& text) const;
    void Drain();
    void Arm(int ms);

    TMessageChannel& inner_;
    std::deque<TBox> queue_;
    QTimer timer_;                 // a member: destroyed, and so stopped, with the queue
    bool open_ = false;
    QString openText_;
    bool closed_ = false;
    bool overflowNoted_ = false;
    int dropped_ = 0;
    // Cleared by the destructor; a box whose loop outlives the queue must not
    // touch it afterwards.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace za
