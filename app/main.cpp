// Program entry: the application object, the main window's start-up, the
// message loop, and the leak report when "--memchk" was given.
#include <QApplication>
#include <QDateTime>
#include <cstdio>
#include <memory>

#include "AppCore.h"
#include "MainForm.h"
#include "MemCheck.h"
#include "QtMessageChannel.h"
#include "config/Clock.h"
#include "logdata/EventLog.h"

namespace {

// ZENTRELLAPP_BOXES=stderr: message boxes are written to standard error
// instead of waiting for a person (unattended test runs).
class TStderrBoxes : public za::TMessageChannel {
public:
    void ShowBox(za::TBoxKind kind, const QString& text) override {
        const char* k = kind == za::TBoxKind::Error ? "Error" : kind == za::TBoxKind::Warning ? "Warning" : "Information";
        std::fprintf(stderr, "BOX %s: %s\n", k, text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
    void Beep() override { std::fprintf(stderr, "BEEP\n"); }
};

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    za::TMemCheck::Start(argc, argv);
    if (!HasDisplay()) {
        std::fprintf(stderr, "ZentrellApp needs a display: no DISPLAY is set (start it from a desktop session, "
                             "or set QT_QPA_PLATFORM=offscreen).\n");
        return 1;
    }
    int rc = 0;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName("Kestrano Zentrell App.");
        // The program lives in the notification area: closing windows never ends it.
        QApplication::setQuitOnLastWindowClosed(false);
        za::TMemCheck::Rebase();

        za::TAppOptions options;
        std::unique_ptr<za::TClock> clock;
        // ZENTRELLAPP_CLOCK_START=YYYY-MM-DDTHH:MM:SS runs the program as if the
        // clock had been set to that moment when it started.
        const QString start = qEnvironmentVariable("ZENTRELLAPP_CLOCK_START");
        if (!start.isEmpty()) {
            const QDateTime t = QDateTime::fromString(start, Qt::ISODateWithMs);
            if (t.isValid()) clock = std::make_unique<za::TOffsetClock>(t);
        }
        options.Clock = clock.get();
        za::TQtMessageChannel qtBoxes;
        std::unique_ptr<TStderrBoxes> boxes;
        if (qEnvironmentVariable("ZENTRELLAPP_BOXES") == "stderr") {
            boxes = std::make_unique<TStderrBoxes>();
            options.Boxes = boxes.get();
        } else {
            options.Boxes = &qtBoxes;
        }

        za::TAppCore core(options);
        if (!core.Start()) return 0;   // another instance was brought to the front
        {
            za::TMainForm form(core);
            core.CompleteStartup();
            if (!core.Settings().HideOnStart) form.ShowMainWindow();
            // A close or the end of the session ends every event loop; the
            // shutdown runs here, once, with nothing left inside a box or a wait.
            if (!core.ShutdownRequested()) rc = app.exec();
            core.Shutdown();
        }
    }
    za::TMemCheck::Finish();
    return rc;
}
