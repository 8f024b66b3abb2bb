#include "app/commandline.h"
#include "app/updatelog.h"
#include "download/networksetup.h"
#include "singleinstance/qtsingleapplication.h"
#include "window/mainwindow.h"

namespace {

const QString applicationId = QStringLiteral("{114AB953-3656-C303-C1C3-427FE303B9F0}-update");
const QString raiseMessage = QStringLiteral("raise_window_noop");
const int handOffTimeoutMs = 400;

} // namespace

int main(int argc, char *argv[])
{
    int exitCode = 0;
    {
        QtSingleApplication app(applicationId, argc, argv);
        if (app.anotherInstanceRunning()) {
            app.sendMessage(raiseMessage, handOffTimeoutMs);
            return 0;
        }

        openUpdateLog();
        QCoreApplication::setApplicationVersion(QStringLiteral(GLIMMERPANE_VERSION));
        const CommandLine commandLine = parseCommandLine(argc, argv);
        setUpNetwork();

        {
            MainWindow window;
            QObject::connect(&app, &QtSingleApplication::messageReceived, &window,
                             &MainWindow::anotherInstanceMessage);
            window.appVersion = commandLine.appVersion;
            if (commandLine.dailyCheck) {
                window.showMinimized();
                window.hide();
                window.dailyCheck = true;
            } else {
                window.show();
            }
            exitCode = QApplication::exec();
        } // the window goes first, then the application object, which releases the guard
    }
    return exitCode;
}
