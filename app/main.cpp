#include "app/commandline.h"
#include "app/displaycheck.h"
#include "app/latewindowicon.h"
#include "app/startupnotes.h"
#include "appearance/mytheme.h"
#include "appearance/settings.h"
#include "core/resourcepaths.h"
#include "core/updatelog.h"
#include "singleinstance/qtsingleapplication.h"
#include "update/networksetup.h"
#include "window/mainwindow.h"

#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace {

const QString applicationId = QStringLiteral("{114AB953-3656-C303-C1C3-427FE303B9F0}-update");
const QString raiseMessage = QStringLiteral("raise_window_noop");
const int handOffTimeoutMs = 400;
const int networkSetUpDelayMs = 100;

} // namespace

int main(int argc, char *argv[])
{
    // Qt aborts when no platform plugin starts: say why, and end with 1 instead of a signal.
    if (const std::string missing = missingDisplay(argc, argv); !missing.empty()) {
        std::fprintf(stderr, "GlimmerpaneUpdater: %s\n", missing.c_str());
        return 1;
    }
    ignoreFileSizeSignal();
    int exitCode = 0;
    {
        QtSingleApplication app(applicationId, argc, argv);
        if (app.anotherInstanceRunning()) {
            app.sendMessage(raiseMessage, handOffTimeoutMs);
            return 0;
        }

        openUpdateLog();
        logGuardFolderNote();
        QCoreApplication::setApplicationVersion(QStringLiteral(GLIMMERPANE_VERSION));
        const CommandLine commandLine = parseCommandLine(argc, argv);

        // The TLS back end and the certificates take milliseconds the window need not wait for.
        // Started before the window's 200 ms start-up check, this timer always fires first.
        QTimer::singleShot(networkSetUpDelayMs, Qt::PreciseTimer, &app, &setUpNetwork);
        // The main application's settings and the theme, read by every window of the run.
        Settings::init(&app);
        MyTheme::init(&app);
        {
            MainWindow window(commandLine.appVersion, commandLine.dailyCheck);
            window.controller()->setInstalledVersion(commandLine.version);
            QObject::connect(&app, &QtSingleApplication::messageReceived, &window,
                             &MainWindow::anotherInstanceMessage);
            if (!commandLine.dailyCheck)
                window.show();
#ifndef Q_OS_WIN
            // On Windows Qt takes it from the executable's icon resource (IDI_ICON1).
            if (QWindow *handle = window.windowHandle())
                new LateWindowIcon(handle, pngPath(QStringLiteral("update-1.svg")));
#endif
            exitCode = QApplication::exec();
        } // the window goes first, then the application object, which releases the guard
    }
    return exitCode;
}
