// Runs the game window until the program ends, optionally recording every event to a script.
#include <cstdlib>
#include <iostream>
#include <memory>

#include <QApplication>

#include "desktop/app.h"
#include "desktop/icon.h"
#include "desktop/mainwindow.h"
#include "desktop/recorder.h"

namespace farvane {

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace

int runWindow(int& argc, char** argv, const std::string& recordPath)
{
    // Without a display Qt would abort; say what is wrong instead.
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
        std::cerr << "farvane: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Run it from a desktop session, or headless with: farvane --script FILE\n";
        return 1;
    }

    // The record file is opened first, so a bad name fails before any window shows.
    std::unique_ptr<Recorder> recorder;
    if (!recordPath.empty()) {
        std::string error;
        recorder = Recorder::openFile(recordPath, error);
        if (!recorder) {
            std::cerr << "farvane: " << error << "\n";
            return 2;
        }
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.farvane.Farvane"));
    QApplication::setWindowIcon(applicationIcon());
    MainWindow window(recorder.get());
    // Ends every event loop at once, the box's included.
    QObject::connect(&window, &MainWindow::ended, &app, [] { QCoreApplication::exit(0); });
    window.show();
    return QApplication::exec();
}

} // namespace farvane
