// countersim: plays the people counter on a pseudo-terminal, for tests and
// for trying the application without hardware.
//
// Start:   countersim [options]
//   --channels N        number of counting inputs (default 3)
//   --format F          setup format byte sent in SetupDataExt (default 0)
//   --interval I        log interval in minutes, 15 or 60 (default 60)
//   --ext               answer ReadSetup with SetupDataExt instead of SetupData
//   --log FILE          append every event line, with a time stamp, to FILE
//   --fw VER DATE       firmware texts for FwInfo (default 1.05 2011-03-31)
//   --resend-ms MS      resend an unacknowledged record after MS (default 2000)
//   --every-ms MS       generate a record every MS with an advancing time stamp
//                       and random counts (LogRecord at interval 60, LogRecordExt
//                       subtype 0 with the minute at interval 15; default off)
//   --start "YYYY-MM-DD HH"  first time stamp of --every-ms (default: this hour)
//   --link PATH         also make a symlink PATH to the slave device
//   --seed S            seed of the random counts (default 1)
// The first line on stdout is "PTY <slave path>".
//
// The pseudo-terminal is set to raw mode once at start. The simulator watches
// whether the application has the slave open (the master reports a hang-up
// while nobody has it open): records are sent only while it is open, and
// bytes left unread when the application closes are thrown away, as on a real
// line. Closing and reopening the slave any number of times is fine.
//
// Commands on stdin, one per line; each is answered by "OK" or "ERR <reason>".
// Numbers are decimal unless noted; counts may be negative (-1 is sent FF FF).
//   record H D M Y [c1 c2 ...]        queue a LogRecord (no counts: N random)
//   recordext MIN H D M Y [c1 ...]    queue a LogRecordExt of subtype 0
//   recordsub SUB H D M Y [c1 ...]    queue a LogRecordExt of subtype SUB
//   alarm I                           queue an AlarmInput with input index I
//   burst K H D M Y [c1 ...]          queue K LogRecords of consecutive hours
//   clockreq                          send a ClockRequest now
//   raw XX XX ...                     send hex bytes as they are, unframed
//   clear                             drop all queued records
//   hold on|off                       stop / resume sending queued records
//   resend MS                         change the resend time
//   garbage N                         put N random bytes (never 02) before the next frame
//   split N MS                        send following frames in N-byte pieces MS apart (N 0: off)
//   badchk                            send the next frame with its checksum off by one
//   badlen [L]                        send the next frame with length byte L (default 4)
//   delay MS                          delay every answer by MS (0: off)
//   mode ack|nak|silent               answer normally, answer Nak to everything, or not at all
//   channels N | format F | interval I | ext on|off
//   setup XX XX ...                   input-setup bytes (hex), channel 1 first
//   fw VER DATE                       firmware texts
//   rf ID HOME RN RC CH               RF setup values
//   status                            prints "STATUS key=value ..."
//   quit                              ends the simulator (as does EOF on stdin or SIGTERM)
// Queued records and alarms form a FIFO: the front one is sent, resent after
// the resend time until an Ack arrives, and only then is the next one sent.
//
// Events on stdout, one line each:
//   RX <Type> <hex>       a good frame received (Type is the message name or its number)
//   BAD <hex>             received bytes that were dropped (outside a frame, bad frame)
//   SENT <seq> <hex>      bytes handed to the line; seq is the record number, 0 for others
//   ACKED <seq> <hex>     the record seq was acknowledged; hex is its frame
//   PORT open|closed      the application opened or closed the slave
//   CLEARED <n>           ClearFifoAndCounts dropped n queued records
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sstream>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Ms = long long;

Ms NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

enum : uint8_t {
    kAck = 6, kNak = 7, kLogRecord = 16, kClockRequest = 17, kSetClock = 18, kAlarmInput = 19,
    kReadSetup = 20, kWriteSetup = 21, kSetupData = 22, kReadFwInfo = 23, kFwInfo = 24,
    kReadRfSetup = 25, kWriteRfSetup = 26, kRfSetupData = 27, kClearFifoAndCounts = 34,
    kTestMode = 35, kWriteSetupExt = 36, kSetupDataExt = 37, kLogRecordExt = 38
};

std::string TypeName(uint8_t t) {
    switch (t) {
    case kAck: return "Ack";
    case kNak: return "Nak";
    case kLogRecord: return "LogRecord";
    case kClockRequest: return "ClockRequest";
    case kSetClock: return "SetClock";
    case kAlarmInput: return "AlarmInput";
    case kReadSetup: return "ReadSetup";
    case kWriteSetup: return "WriteSetup";
    case kSetupData: return "SetupData";
    case kReadFwInfo: return "ReadFwInfo";
    case kFwInfo: return "FwInfo";
    case kReadRfSetup: return "ReadRfSetup";
    case kWriteRfSetup: return "WriteRfSetup";
    case kRfSetupData: return "RfSetupData";
    case kClearFifoAndCounts: return "ClearFifoAndCounts";
    case kTestMode: return "TestMode";
    case kWriteSetupExt: return "WriteSetupExt";
    case kSetupDataExt: return "SetupDataExt";
    case kLogRecordExt: return "LogRecordExt";
    default: return std::to_string(t);
    }
}

std::string Hex(const Bytes& b, char sep = ' ') {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < b.size(); ++i) {
        if (i) s += sep;
        s += digits[b[i] >> 4];
        s += digits[b[i] & 15];
    }
    return s;
}

// STX LEN TYPE payload CHK ETX; the 8-bit sum of all bytes is 0.
Bytes MakeFrame(uint8_t type, const Bytes& payload) {
    Bytes f;
    f.push_back(0x02);
    f.push_back(uint8_t(payload.size() + 5));
    f.push_back(type);
    f.insert(f.end(), payload.begin(), payload.end());
    unsigned s = 3;
    for (uint8_t b : f) s += b;
    f.push_back(uint8_t((256 - (s & 0xFF)) & 0xFF));
    f.push_back(0x03);
    return f;
}

void AddWord(Bytes& b, long v) {
    b.push_back(uint8_t(v & 0xFF));
    b.push_back(uint8_t((v >> 8) & 0xFF));
}

volatile sig_atomic_t gStop = 0;
int gSigPipe[2] = {-1, -1};

void OnSignal(int) {
    gStop = 1;
    if (gSigPipe[1] >= 0) {
        char c = 1;
        ssize_t r = write(gSigPipe[1], &c, 1);
        (void)r;
    }
}

struct TQueued {
    long seq;
    Bytes frame;
};

struct TOut {
    Ms due;
    Bytes bytes;
};

class TSim {
public:
    // options
    int channels = 3;
    int format = 0;
    int interval = 60;
    bool ext = false;
    std::string logPath;
    std::string fwVersion = "1.05", fwDate = "2011-03-31";
    Ms resendMs = 2000;
    Ms everyMs = 0;
    std::string start;
    std::string linkPath;
    unsigned seed = 1;

    int Run();

private:
    // line and pty
    int master_ = -1;
    std::string slavePath_;
    bool portOpen_ = false;
    std::deque<TOut> out_;
    // receiver
    Bytes rx_;
    Bytes skipped_;
    Ms rxLast_ = 0;
    // FIFO
    std::deque<TQueued> fifo_;
    long nextSeq_ = 1;
    bool frontSent_ = false;
    Ms frontDue_ = 0;
    bool hold_ = false;
    // faults and modes
    enum { mAck, mNak, mSilent } mode_ = mAck;
    int garbage_ = 0;
    bool badChk_ = false;
    int badLen_ = -1;
    int splitN_ = 0;
    Ms splitMs_ = 0;
    Ms answerDelay_ = 0;
    // stored counter state
    Bytes setup_;
    int rfId_ = 1234, rfHome_ = 4660, rfRn_ = 2, rfRc_ = 3, rfCh_ = 1;
    Bytes clock_;
    int testMode_ = 0;
    // schedule
    std::time_t genTime_ = 0;     // UTC-based calendar arithmetic, no DST
    Ms genDue_ = 0;
    // counters
    long sentCount_ = 0, ackedCount_ = 0, rxCount_ = 0, badCount_ = 0;
    std::mt19937 rng_;
    FILE* log_ = nullptr;
    std::string stdinBuf_;
    bool quit_ = false;

    void Event(const std::string& line);
    bool OpenPty();
    bool SlaveOpenNow();
    void CheckPort();
    void FlushSlaveInput();
    void Send(const Bytes& frame, long seq, bool answer);
    void Answer(uint8_t type, const Bytes& payload = {});
    void WriteDue();
    void ReadMaster();
    void Parse();
    void FlushSkipped();
    void HandleFrame(const Bytes& f);
    void Queue(const Bytes& frame);
    void ServiceFifo();
    void Generate();
    Bytes Counts(const std::vector<long>& given);
    std::string Command(const std::string& line);
    void ResizeSetup() { setup_.resize(size_t(std::max(channels, 0)), 0); }
};

void TSim::Event(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0) quit_ = true;   // nobody listens any more
    if (log_) {
        std::time_t t = std::time(nullptr);
        char ts[32];
        std::strftime(ts, sizeof ts, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
        std::fprintf(log_, "%s.%03lld %s\n", ts, NowMs() % 1000, line.c_str());
        std::fflush(log_);
    }
}

bool TSim::OpenPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
    const char* name = ptsname(master_);
    if (!name) return false;
    slavePath_ = name;
    // Raw mode is kept by the terminal for as long as the master stays open, so
    // one short open of the slave is enough; closing it again leaves the master
    // in the hang-up state that tells us nobody listens.
    int s = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (s < 0) return false;
    termios t{};
    if (tcgetattr(s, &t) == 0) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        tcsetattr(s, TCSANOW, &t);
    }
    close(s);
    return true;
}

bool TSim::SlaveOpenNow() {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return portOpen_;
    return !(p.revents & POLLHUP);
}

void TSim::FlushSlaveInput() {
    int s = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (s >= 0) {
        tcflush(s, TCIFLUSH);
        close(s);
    }
}

void TSim::CheckPort() {
    bool open = SlaveOpenNow();
    if (open == portOpen_) return;
    portOpen_ = open;
    if (open) {
        Event("PORT open");
        // give the application a moment to set up and empty its buffers
        if (!fifo_.empty()) frontDue_ = NowMs() + 100;
    } else {
        Event("PORT closed");
        out_.clear();
        rx_.clear();
        FlushSlaveInput();
        // the record in flight is lost with the line; send it again after reopening
    }
}

void TSim::Send(const Bytes& frameIn, long seq, bool answer) {
    Bytes frame = frameIn;
    if (badChk_ && frame.size() >= 5) {
        frame[frame.size() - 2] = uint8_t(frame[frame.size() - 2] + 1);
        badChk_ = false;
    }
    if (badLen_ >= 0 && frame.size() >= 5) {
        frame[1] = uint8_t(badLen_);
        badLen_ = -1;
    }
    Ms due = NowMs() + (answer ? answerDelay_ : 0);
    if (!out_.empty()) due = std::max(due, out_.back().due);
    if (garbage_ > 0) {
        Bytes g;
        std::uniform_int_distribution<int> d(0, 254);
        for (int i = 0; i < garbage_; ++i) {
            int v = d(rng_);
            g.push_back(uint8_t(v >= 2 ? v + 1 : v));
        }
        garbage_ = 0;
        Event("SENT 0 " + Hex(g));
        out_.push_back({due, g});
    }
    Event("SENT " + std::to_string(seq) + " " + Hex(frame));
    ++sentCount_;
    if (splitN_ > 0) {
        for (size_t i = 0; i < frame.size(); i += size_t(splitN_)) {
            Bytes piece(frame.begin() + long(i),
                        frame.begin() + long(std::min(frame.size(), i + size_t(splitN_))));
            out_.push_back({due, piece});
            due += splitMs_;
        }
    } else {
        out_.push_back({due, frame});
    }
}

void TSim::Answer(uint8_t type, const Bytes& payload) {
    if (mode_ == mSilent) return;
    if (mode_ == mNak) type = kNak;
    Send(MakeFrame(type, mode_ == mNak ? Bytes{} : payload), 0, true);
}

void TSim::WriteDue() {
    Ms now = NowMs();
    while (!out_.empty() && out_.front().due <= now) {
        Bytes& b = out_.front().bytes;
        ssize_t n = write(master_, b.data(), b.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return;   // the line is full; retry later
            out_.pop_front();                               // line gone: drop it
            continue;
        }
        if (size_t(n) < b.size()) {
            b.erase(b.begin(), b.begin() + n);
            return;
        }
        out_.pop_front();
    }
}

void TSim::ReadMaster() {
    uint8_t buf[512];
    for (;;) {
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) break;
        rx_.insert(rx_.end(), buf, buf + n);
        rxLast_ = NowMs();
    }
    Parse();
}

void TSim::FlushSkipped() {
    if (skipped_.empty()) return;
    Event("BAD " + Hex(skipped_));
    ++badCount_;
    skipped_.clear();
}

void TSim::Parse() {
    for (;;) {
        size_t i = 0;
        while (i < rx_.size() && rx_[i] != 0x02) ++i;
        skipped_.insert(skipped_.end(), rx_.begin(), rx_.begin() + long(i));
        rx_.erase(rx_.begin(), rx_.begin() + long(i));
        if (!rx_.empty()) FlushSkipped();   // noise before a start byte is its own report
        if (rx_.size() < 2) break;
        size_t len = rx_[1];
        bool bad = len < 5;
        if (!bad && rx_.size() < len) break;
        if (!bad) {
            unsigned sum = 0;
            for (size_t k = 0; k < len; ++k) sum += rx_[k];
            bad = rx_[len - 1] != 0x03 || (sum & 0xFF) != 0;
        }
        if (bad) {
            // resynchronise on the next start byte, as the application does
            size_t next = 1;
            while (next < rx_.size() && rx_[next] != 0x02) ++next;
            skipped_.insert(skipped_.end(), rx_.begin(), rx_.begin() + long(next));
            rx_.erase(rx_.begin(), rx_.begin() + long(next));
            FlushSkipped();
            continue;
        }
        FlushSkipped();
        Bytes f(rx_.begin(), rx_.begin() + long(len));
        rx_.erase(rx_.begin(), rx_.begin() + long(len));
        HandleFrame(f);
    }
    FlushSkipped();
}

void TSim::HandleFrame(const Bytes& f) {
    ++rxCount_;
    uint8_t type = f[2];
    Bytes p(f.begin() + 3, f.end() - 2);
    Event("RX " + TypeName(type) + " " + Hex(f));
    switch (type) {
    case kAck:
        if (!fifo_.empty() && frontSent_) {
            TQueued q = fifo_.front();
            fifo_.pop_front();
            frontSent_ = false;
            frontDue_ = NowMs();
            ++ackedCount_;
            Event("ACKED " + std::to_string(q.seq) + " " + Hex(q.frame));
        }
        break;
    case kSetClock:
        if (p.size() != 6) { Answer(kNak); break; }
        clock_ = p;
        Answer(kAck);
        break;
    case kTestMode:
        if (p.size() != 1) { Answer(kNak); break; }
        testMode_ = p[0];
        Answer(kAck);
        break;
    case kClearFifoAndCounts:
        if (mode_ == mAck) {
            size_t n = fifo_.size();
            fifo_.clear();
            frontSent_ = false;
            Event("CLEARED " + std::to_string(n));
        }
        Answer(kAck);
        break;
    case kWriteSetup:
        if (mode_ == mAck) setup_ = p;
        Answer(kAck);
        break;
    case kWriteSetupExt:
        if (p.size() < 3) { Answer(kNak); break; }
        if (mode_ == mAck) {
            format = p[0];
            setup_.assign(p.begin() + 2, p.end() - 1);
            interval = p.back();
        }
        Answer(kAck);
        break;
    case kWriteRfSetup:
        if (p.size() != 7) { Answer(kNak); break; }
        if (mode_ == mAck) {
            rfId_ = p[0] | (p[1] << 8);
            rfHome_ = p[2] | (p[3] << 8);
            rfRn_ = p[4];
            rfRc_ = p[5];
            rfCh_ = p[6];
        }
        Answer(kAck);
        break;
    case kReadSetup: {
        Bytes s = setup_;
        s.resize(size_t(std::max(channels, 0)), 0);
        if (ext) {
            Bytes e{uint8_t(format), uint8_t(channels)};
            e.insert(e.end(), s.begin(), s.end());
            e.push_back(uint8_t(interval));
            Answer(kSetupDataExt, e);
        } else {
            Answer(kSetupData, s);
        }
        break;
    }
    case kReadFwInfo: {
        Bytes b(fwVersion.begin(), fwVersion.end());
        b.push_back(0);
        b.insert(b.end(), fwDate.begin(), fwDate.end());
        b.push_back(0);
        Answer(kFwInfo, b);
        break;
    }
    case kReadRfSetup: {
        Bytes b;
        AddWord(b, rfId_);
        AddWord(b, rfHome_);
        b.push_back(uint8_t(rfRn_));
        b.push_back(uint8_t(rfRc_));
        b.push_back(uint8_t(rfCh_));
        Answer(kRfSetupData, b);
        break;
    }
    default:
        break;   // not a request the counter answers
    }
}

void TSim::Queue(const Bytes& frame) {
    fifo_.push_back({nextSeq_++, frame});
    if (fifo_.size() == 1) {
        frontSent_ = false;
        frontDue_ = NowMs();
    }
}

void TSim::ServiceFifo() {
    if (fifo_.empty() || hold_) return;
    Ms now = NowMs();
    if (now < frontDue_) return;
    if (!SlaveOpenNow()) return;   // records wait in the FIFO until someone listens
    Send(fifo_.front().frame, fifo_.front().seq, false);
    frontSent_ = true;
    frontDue_ = now + resendMs;
}

Bytes TSim::Counts(const std::vector<long>& given) {
    Bytes b;
    if (given.empty()) {
        std::uniform_int_distribution<int> d(0, 20);
        for (int i = 0; i < channels; ++i) AddWord(b, d(rng_));
    } else {
        for (long c : given) AddWord(b, c);
    }
    return b;
}

void TSim::Generate() {
    if (everyMs <= 0) return;
    Ms now = NowMs();
    if (now < genDue_) return;
    genDue_ = now + everyMs;
    std::tm tm{};
    gmtime_r(&genTime_, &tm);
    Bytes p;
    if (interval == 15) {
        p = {0, 0, uint8_t(tm.tm_min), uint8_t(tm.tm_hour), uint8_t(tm.tm_mday), uint8_t(tm.tm_mon + 1)};
        AddWord(p, tm.tm_year + 1900);
        p.push_back(uint8_t(channels));
        Bytes c = Counts({});
        p.insert(p.end(), c.begin(), c.end());
        Queue(MakeFrame(kLogRecordExt, p));
    } else {
        p = {uint8_t(tm.tm_hour), uint8_t(tm.tm_mday), uint8_t(tm.tm_mon + 1)};
        AddWord(p, tm.tm_year + 1900);
        Bytes c = Counts({});
        p.insert(p.end(), c.begin(), c.end());
        Queue(MakeFrame(kLogRecord, p));
    }
    genTime_ += std::time_t(interval) * 60;
}

bool ParseLong(const std::string& s, long& v, int base = 10) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtol(s.c_str(), &end, base);
    return errno == 0 && end && *end == 0;
}

bool ParseHexBytes(const std::vector<std::string>& a, size_t from, Bytes& out) {
    for (size_t i = from; i < a.size(); ++i) {
        long v;
        if (!ParseLong(a[i], v, 16) || v < 0 || v > 255) return false;
        out.push_back(uint8_t(v));
    }
    return true;
}

std::string TSim::Command(const std::string& line) {
    std::istringstream is(line);
    std::vector<std::string> a;
    for (std::string w; is >> w;) a.push_back(w);
    if (a.empty()) return "ERR empty command";
    const std::string& c = a[0];
    std::vector<long> n;   // numeric arguments, when they all parse
    bool numeric = true;
    for (size_t i = 1; i < a.size(); ++i) {
        long v;
        if (ParseLong(a[i], v)) n.push_back(v);
        else numeric = false;
    }
    auto need = [&](size_t k) { return numeric && n.size() >= k; };
    auto exact = [&](size_t k) { return numeric && n.size() == k; };

    if (c == "record" || c == "recordsub" || c == "recordext") {
        size_t head = c == "record" ? 4 : 5;
        if (!need(head)) return "ERR usage: " + c + (c == "record" ? "" : " X") + " H D M Y [c1 ...]";
        std::vector<long> counts(n.begin() + long(head), n.end());
        Bytes p;
        size_t h = 0;
        if (c == "recordext") {
            p = {0, 0, uint8_t(n[0])};
            h = 1;
        } else if (c == "recordsub") {
            p = {uint8_t(n[0])};
            h = 1;
        }
        p.push_back(uint8_t(n[h]));
        p.push_back(uint8_t(n[h + 1]));
        p.push_back(uint8_t(n[h + 2]));
        AddWord(p, n[h + 3]);
        if (c == "recordext") p.push_back(uint8_t(counts.empty() ? channels : int(counts.size())));
        Bytes cb = Counts(counts);
        p.insert(p.end(), cb.begin(), cb.end());
        Queue(MakeFrame(c == "record" ? kLogRecord : kLogRecordExt, p));
        return "OK";
    }
    if (c == "burst") {
        if (!need(5) || n[0] < 1) return "ERR usage: burst K H D M Y [c1 ...]";
        std::vector<long> counts(n.begin() + 5, n.end());
        std::tm tm{};
        tm.tm_hour = int(n[1]);
        tm.tm_mday = int(n[2]);
        tm.tm_mon = int(n[3]) - 1;
        tm.tm_year = int(n[4]) - 1900;
        std::time_t t = timegm(&tm);
        for (long k = 0; k < n[0]; ++k, t += 3600) {
            std::tm x{};
            gmtime_r(&t, &x);
            Bytes p{uint8_t(x.tm_hour), uint8_t(x.tm_mday), uint8_t(x.tm_mon + 1)};
            AddWord(p, x.tm_year + 1900);
            Bytes cb = Counts(counts);
            p.insert(p.end(), cb.begin(), cb.end());
            Queue(MakeFrame(kLogRecord, p));
        }
        return "OK";
    }
    if (c == "alarm") {
        if (!exact(1)) return "ERR usage: alarm I";
        Queue(MakeFrame(kAlarmInput, {uint8_t(n[0])}));
        return "OK";
    }
    if (c == "clockreq") {
        Send(MakeFrame(kClockRequest, {}), 0, false);
        return "OK";
    }
    if (c == "raw") {
        Bytes b;
        if (a.size() < 2 || !ParseHexBytes(a, 1, b)) return "ERR usage: raw XX XX ...";
        bool chk = badChk_;
        int len = badLen_;
        badChk_ = false;   // raw bytes are sent exactly as given
        badLen_ = -1;
        Send(b, 0, false);
        badChk_ = chk;
        badLen_ = len;
        return "OK";
    }
    if (c == "clear") {
        fifo_.clear();
        frontSent_ = false;
        return "OK";
    }
    if (c == "hold") {
        if (a.size() != 2 || (a[1] != "on" && a[1] != "off")) return "ERR usage: hold on|off";
        hold_ = a[1] == "on";
        if (!hold_) frontDue_ = std::min(frontDue_, NowMs());
        return "OK";
    }
    if (c == "resend") {
        if (!exact(1) || n[0] < 1) return "ERR usage: resend MS";
        resendMs = n[0];
        return "OK";
    }
    if (c == "garbage") {
        if (!exact(1) || n[0] < 0 || n[0] > 1000) return "ERR usage: garbage N";
        garbage_ = int(n[0]);
        return "OK";
    }
    if (c == "split") {
        if (!exact(2) || n[0] < 0 || n[1] < 0) return "ERR usage: split N MS";
        splitN_ = int(n[0]);
        splitMs_ = n[1];
        return "OK";
    }
    if (c == "badchk") {
        if (a.size() != 1) return "ERR usage: badchk";
        badChk_ = true;
        return "OK";
    }
    if (c == "badlen") {
        if (a.size() == 1) { badLen_ = 4; return "OK"; }
        if (!exact(1) || n[0] < 0 || n[0] > 255) return "ERR usage: badlen [L]";
        badLen_ = int(n[0]);
        return "OK";
    }
    if (c == "delay") {
        if (!exact(1) || n[0] < 0) return "ERR usage: delay MS";
        answerDelay_ = n[0];
        return "OK";
    }
    if (c == "mode") {
        if (a.size() != 2) return "ERR usage: mode ack|nak|silent";
        if (a[1] == "ack") mode_ = mAck;
        else if (a[1] == "nak") mode_ = mNak;
        else if (a[1] == "silent") mode_ = mSilent;
        else return "ERR usage: mode ack|nak|silent";
        return "OK";
    }
    if (c == "channels") {
        if (!exact(1) || n[0] < 0 || n[0] > 120) return "ERR usage: channels N";
        channels = int(n[0]);
        ResizeSetup();
        return "OK";
    }
    if (c == "format") {
        if (!exact(1) || n[0] < 0 || n[0] > 255) return "ERR usage: format F";
        format = int(n[0]);
        return "OK";
    }
    if (c == "interval") {
        if (!exact(1) || n[0] < 0 || n[0] > 255) return "ERR usage: interval I";
        interval = int(n[0]);
        return "OK";
    }
    if (c == "ext") {
        if (a.size() != 2 || (a[1] != "on" && a[1] != "off")) return "ERR usage: ext on|off";
        ext = a[1] == "on";
        return "OK";
    }
    if (c == "setup") {
        Bytes b;
        if (!ParseHexBytes(a, 1, b)) return "ERR usage: setup XX XX ...";
        setup_ = b;
        return "OK";
    }
    if (c == "fw") {
        if (a.size() != 3) return "ERR usage: fw VER DATE";
        fwVersion = a[1];
        fwDate = a[2];
        return "OK";
    }
    if (c == "rf") {
        if (!exact(5)) return "ERR usage: rf ID HOME RN RC CH";
        rfId_ = int(n[0]);
        rfHome_ = int(n[1]);
        rfRn_ = int(n[2]);
        rfRc_ = int(n[3]);
        rfCh_ = int(n[4]);
        return "OK";
    }
    if (c == "status") {
        std::ostringstream s;
        s << "STATUS queue=" << fifo_.size() << " sent=" << sentCount_ << " acked=" << ackedCount_
          << " rx=" << rxCount_ << " bad=" << badCount_ << " port=" << (SlaveOpenNow() ? "open" : "closed")
          << " channels=" << channels << " format=" << format << " interval=" << interval
          << " ext=" << (ext ? 1 : 0) << " testmode=" << testMode_ << " setup=";
        s << (setup_.empty() ? std::string("-") : Hex(setup_, ','));
        s << " clock=" << (clock_.empty() ? std::string("-") : Hex(clock_, ','))
          << " rf=" << rfId_ << "," << rfHome_ << "," << rfRn_ << "," << rfRc_ << "," << rfCh_
          << " fw=" << fwVersion << "," << fwDate;
        Event(s.str());
        return "OK";
    }
    if (c == "quit") {
        quit_ = true;
        return "OK";
    }
    return "ERR unknown command " + c;
}

int TSim::Run() {
    rng_.seed(seed);
    ResizeSetup();
    if (!logPath.empty()) {
        log_ = std::fopen(logPath.c_str(), "a");
        if (!log_) {
            std::fprintf(stderr, "countersim: cannot open log %s: %s\n", logPath.c_str(), std::strerror(errno));
            return 2;
        }
    }
    if (!OpenPty()) {
        std::fprintf(stderr, "countersim: cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 2;
    }
    if (!linkPath.empty()) {
        unlink(linkPath.c_str());
        if (symlink(slavePath_.c_str(), linkPath.c_str()) != 0) {
            std::fprintf(stderr, "countersim: cannot link %s: %s\n", linkPath.c_str(), std::strerror(errno));
            return 2;
        }
    }
    if (everyMs > 0) {
        std::tm tm{};
        if (!start.empty()) {
            if (std::sscanf(start.c_str(), "%d-%d-%d %d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour) != 4) {
                std::fprintf(stderr, "countersim: --start wants \"YYYY-MM-DD HH\"\n");
                return 2;
            }
            tm.tm_year -= 1900;
            tm.tm_mon -= 1;
        } else {
            std::time_t now = std::time(nullptr);
            localtime_r(&now, &tm);
            tm.tm_min = tm.tm_sec = 0;
            tm.tm_isdst = 0;
        }
        genTime_ = timegm(&tm);
        genDue_ = NowMs() + everyMs;
    }

    if (pipe(gSigPipe) == 0) {
        fcntl(gSigPipe[0], F_SETFL, O_NONBLOCK);
        fcntl(gSigPipe[1], F_SETFL, O_NONBLOCK);
    }
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Closed for now even if someone opened the slave already: CheckPort then
    // reports the open like any other.
    portOpen_ = false;
    Event("PTY " + slavePath_);

    while (!quit_ && !gStop) {
        CheckPort();
        Generate();
        ServiceFifo();
        if (portOpen_) WriteDue();
        else out_.clear();

        Ms now = NowMs();
        Ms wake = now + (portOpen_ ? 1000 : 50);   // while closed, look for the open often
        if (!out_.empty()) wake = std::min(wake, out_.front().due);
        if (!fifo_.empty() && !hold_) wake = std::min(wake, frontDue_);
        if (everyMs > 0) wake = std::min(wake, genDue_);
        if (!rx_.empty()) wake = std::min(wake, rxLast_ + 1000);
        bool wantOut = !out_.empty() && out_.front().due <= now;   // blocked by a full line
        int timeout = int(std::max<Ms>(wantOut ? 50 : 0, wake - now));
        if (timeout == 0 && !wantOut) timeout = 1;

        pollfd fds[3];
        fds[0] = {STDIN_FILENO, POLLIN, 0};
        fds[1] = {portOpen_ ? master_ : -1, short(POLLIN | (wantOut ? POLLOUT : 0)), 0};
        fds[2] = {gSigPipe[0], POLLIN, 0};
        int r = poll(fds, 3, timeout);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[1024];
            ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) break;   // stdin closed: the controller is gone
            stdinBuf_.append(buf, size_t(n));
            size_t pos;
            while (!quit_ && (pos = stdinBuf_.find('\n')) != std::string::npos) {
                std::string line = stdinBuf_.substr(0, pos);
                stdinBuf_.erase(0, pos + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line.find_first_not_of(" \t") == std::string::npos) continue;
                Event(Command(line));
            }
        }
        if (fds[1].revents & POLLIN) ReadMaster();
        if (fds[1].revents & POLLHUP) CheckPort();
        // a partial frame followed by silence is dropped, as the application does
        if (!rx_.empty() && NowMs() - rxLast_ >= 1000) {
            skipped_.insert(skipped_.end(), rx_.begin(), rx_.end());
            rx_.clear();
            FlushSkipped();
        }
    }
    if (!linkPath.empty()) unlink(linkPath.c_str());
    if (log_) std::fclose(log_);
    close(master_);
    return 0;
}

void Usage() {
    std::fprintf(stderr,
                 "usage: countersim [--channels N] [--format F] [--interval 15|60] [--ext] [--log FILE]\n"
                 "                  [--fw VER DATE] [--resend-ms MS] [--every-ms MS] [--start \"YYYY-MM-DD HH\"]\n"
                 "                  [--link PATH] [--seed S]\n");
}

} // namespace

int main(int argc, char** argv) {
    TSim sim;
    auto num = [&](int& i, long lo, long hi, long& v) {
        if (i + 1 >= argc || !ParseLong(argv[i + 1], v) || v < lo || v > hi) return false;
        ++i;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        long v = 0;
        bool ok = true;
        if (a == "--channels") { ok = num(i, 0, 120, v); sim.channels = int(v); }
        else if (a == "--format") { ok = num(i, 0, 255, v); sim.format = int(v); }
        else if (a == "--interval") { ok = num(i, 1, 255, v); sim.interval = int(v); }
        else if (a == "--ext") sim.ext = true;
        else if (a == "--log" && i + 1 < argc) sim.logPath = argv[++i];
        else if (a == "--fw" && i + 2 < argc) { sim.fwVersion = argv[i + 1]; sim.fwDate = argv[i + 2]; i += 2; }
        else if (a == "--resend-ms") { ok = num(i, 1, 86400000, v); sim.resendMs = v; }
        else if (a == "--every-ms") { ok = num(i, 0, 86400000, v); sim.everyMs = v; }
        else if (a == "--start" && i + 1 < argc) sim.start = argv[++i];
        else if (a == "--link" && i + 1 < argc) sim.linkPath = argv[++i];
        else if (a == "--seed") { ok = num(i, 0, 0x7fffffff, v); sim.seed = unsigned(v); }
        else if (a == "--help" || a == "-h") { Usage(); return 0; }
        else ok = false;
        if (!ok) {
            std::fprintf(stderr, "countersim: bad option %s\n", a.c_str());
            Usage();
            return 2;
        }
    }
    return sim.Run();
}
