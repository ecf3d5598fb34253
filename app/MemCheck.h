#pragma once
// Leak report for debugging, switched on by the argument "--memchk". It
// compares the heap in use at the start of the run with the heap in use at
// the end and writes the result beside the executable.
#include <QString>
#include <cstddef>

namespace za {

struct TMemSnapshot {
    std::size_t inUseBytes = 0;   // heap bytes handed out and not yet freed
    std::size_t mappedBytes = 0;  // part of it in separately mapped blocks
};

class TMemCheck {
public:
    // True when any argument after the program name is exactly "--memchk".
    static bool Requested(int argc, const char* const* argv);

    // Call first thing in main: switches the checker on when requested and
    // takes the starting snapshot. Returns whether it is on.
    static bool Start(int argc, const char* const* argv);
    static bool IsOn();

    // Moves the starting point to after the application object exists, so the
    // toolkit's own one-time set-up is not counted; also notes the report path.
    static void Rebase();

    // Call at the end of the run, after the windows are gone (best after the
    // application object is gone too, so its own caches are freed). When on:
    // writes the report to reportPath (empty: DefaultReportPath(), as noted by
    // Rebase() while the application object existed) and, when leaks were
    // found and openWhenLeaking is set, opens it. Returns whether leaks were found.
    static bool Finish(const QString& reportPath = QString(), bool openWhenLeaking = true);

    static QString DefaultReportPath();   // the executable's path + "_MemCheck.log"
    static TMemSnapshot Snapshot();
    static QString Report(const TMemSnapshot& start, const TMemSnapshot& end);
    static bool Leaked(const TMemSnapshot& start, const TMemSnapshot& end);

    // For tests: switch off again.
    static void Stop();
};

} // namespace za
