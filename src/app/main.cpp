// VexaHost - program entry.
#include <QApplication>
#include <QIcon>

#include "app/mainwindow.h"
#include "app/version.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QApplication::setApplicationName(QStringLiteral("VexaHost"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vexa Host"));
    QApplication::setApplicationVersion(QLatin1String(vexa::kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("vexahost"));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/images/vexahost-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    vexa::MainWindow window;
    window.show();
    return app.exec();
}
