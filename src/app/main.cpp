// VexaHost - program entry.
#include <QApplication>
#include <QIcon>

#include "app/mainwindow.h"
#include "app/signalclose.h"
#include "app/version.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QApplication::setApplicationName(QStringLiteral("VexaHost"));
    // No display name: the window system would append it to the title of
    // every dialog and box ("Upgrade firmware — Vexa Host").
    QApplication::setApplicationVersion(QLatin1String(vexa::kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("vexahost"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/images/vexahost-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    vexa::MainWindow window;
    const vexa::SignalClose signalClose(&window);
    window.show();
    return app.exec();
}
