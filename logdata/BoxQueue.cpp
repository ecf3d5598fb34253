#include "BoxQueue.h"
#include <cstdio>

namespace za {

namespace {
void Note(const QString& text) {
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}
} // namespace

TBoxQueue::TBoxQueue(TMessageChannel& inner, std::function<bool()> postpone)
    : Postpone(std::move(postpone)), inner_(inner) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Drain(); });
}

TBoxQueue::~TBoxQueue() { *alive_ = false; }

bool TBoxQueue::HeldBack() const { return open_ || (Postpone && Postpone()); }

bool TBoxQueue::Known(const QString& text) const {
    if (open_ && openText_ == text) return true;
    for (const TBox& b : queue_)
        if (b.text == text) return true;
    return false;
}

void TBoxQueue::Arm(int ms) {
    if (!timer_.isActive() || timer_.remainingTime() > ms) timer_.start(ms);
}

void TBoxQueue::ShowBox(TBoxKind kind, const QString& text) {
    if (closed_) {
        Note(QStringLiteral("Message box not shown (closing): ") + text);
        return;
    }
    if (Known(text)) return;
    if (int(queue_.size()) >= MaxPending) {
        ++dropped_;
        if (!overflowNoted_) {
            overflowNoted_ = true;
            Note(QStringLiteral("More than %1 message boxes waiting; further ones are dropped: ").arg(MaxPending) +
                 text);
        }
        return;
    }
    queue_.push_back({kind, text});
    if (open_) return;   // shown by the loop that runs the open box, once it is closed
    if (HeldBack()) {
        Arm(0);
        return;
    }
    Drain();
}

void TBoxQueue::Drain() {
    const std::shared_ptr<bool> alive = alive_;
    while (!closed_ && !open_ && !queue_.empty()) {
        if (Postpone && Postpone()) {
            Arm(RetryMs);
            return;
        }
        const TBox box = queue_.front();
        queue_.pop_front();
        open_ = true;
        openText_ = box.text;
        // Reset even when the box throws, or every later box would wait for ever.
        struct TClosed {
            TBoxQueue* q;
            const std::shared_ptr<bool>& alive;
            ~TClosed() {
                if (!*alive) return;
                q->open_ = false;
                q->openText_.clear();
            }
        } closedGuard{this, alive};
        inner_.ShowBox(box.kind, box.text);
        if (!*alive) return;
    }
    if (queue_.empty()) overflowNoted_ = false;
}

void TBoxQueue::Close() {
    closed_ = true;
    timer_.stop();
    for (const TBox& b : queue_) Note(QStringLiteral("Message box not shown (closing): ") + b.text);
    queue_.clear();
}

} // namespace za
