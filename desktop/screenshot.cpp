// Writes the client area as the painter draws it to a PNG file, with no display needed.
#include <iostream>
#include <memory>

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QtGlobal>

#include "common/atomicfile.h"
#include "desktop/app.h"
#include "desktop/scenepainter.h"

namespace farvane {

namespace {

QtMessageHandler qtHandler = nullptr;

// Headless runs have no session directory; Qt's note about it would only clutter standard error,
// where a script's own errors go.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg && message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (qtHandler)
        qtHandler(type, context, message);
}

} // namespace

bool saveScreenshot(int& argc, char** argv, const Scene& scene, const std::string& path)
{
    auto fail = [&](const QString& reason) {
        std::cerr << "farvane: cannot write " << path << ": " << reason.toStdString() << "\n";
        return false;
    };

    // Drawing text needs a GUI application; the offscreen platform gives one without a display.
    std::unique_ptr<QGuiApplication> application;
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtHandler = qInstallMessageHandler(quietHandler);
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        return fail(QStringLiteral("no GUI application to draw with"));
    }
    QString fontError;
    if (!loadLabelFont(&fontError)) {
        std::cerr << "farvane: " << fontError.toStdString() << "\n";
        return false;
    }

    const QImage image = renderScene(scene, 1.0);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return fail(QStringLiteral("the PNG could not be made"));
    // Written beside the target and renamed over it only when whole: a failure leaves it as it was.
    std::string error;
    if (!writeFileAtomically(path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())), error))
        return fail(QString::fromStdString(error));
    return true;
}

} // namespace farvane
