// VexaHost - program entry.
#include <QApplication>

#include "app/mainwindow.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kestrune"));
    QApplication::setApplicationName(QStringLiteral("VexaHost"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vexa Host"));
    QApplication::setApplicationVersion(QStringLiteral("4.07"));

    vexa::MainWindow window;
    window.show();
    return app.exec();
}
