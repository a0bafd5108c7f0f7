// The orvanta executable: the Qt application around the application object.

#include "app/HarbinorApp.h"
#include "online/UpdateChecker.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QObject>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvanta"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANTA_VERSION));

    CHarbinorApp app;
    app.SetUpdateCheck(online::RunUpdateCheck);
    if (!app.InitInstance()) {
        return app.ExitInstance();
    }
    // Idle processing: once each time the event loop is about to wait.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [&app] { app.OnIdle(0); });
    int code = QApplication::exec();
    int exitCode = app.ExitInstance();
    return code != 0 ? code : exitCode;
}
