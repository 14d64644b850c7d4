// vexa-screenshots - drives the real main window against vexa-sim and saves
// pictures of it for the README. Run by scripts/screenshots.sh under Xvfb so
// that the pictures show what an operator's desktop shows.
//
// Usage: vexa-screenshots OUTPUT_FOLDER
#include <cstdio>
#include <functional>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "core/codecs/iso15693.h"
#include "core/codecs/tagit.h"
#include "simprocess.h"
#include "core/link/readerlink.h"
#include "ui/operatorprompt.h"
#include "ui/pages/commandlist.h"
#include "ui/pages/fieldedit.h"
#include "ui/pages/isopage.h"
#include "ui/pages/tagitpage.h"
#include "ui/window/mainwindow.h"

namespace {

// Screenshots must never wait for a person: any box is noted and answered.
class NotingPrompt : public vexa::OperatorPrompt
{
public:
    void message(Kind, const QString &text) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    bool confirm(const QString &text) override
    {
        std::fprintf(stderr, "confirm: %s\n", qPrintable(text));
        return true;
    }
};

bool waitUntil(const std::function<bool()> &condition, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool exchange(vexa::MainWindow &w, const std::function<void()> &send)
{
    send();
    return waitUntil([&] { return !w.link().busy(); });
}

bool save(QWidget &widget, const QString &folder, const QString &name)
{
    QTest::qWait(200); // let the last repaint reach the screen
    const QString path = QDir(folder).filePath(name);
    if (!widget.grab().save(path, "PNG")) {
        std::fprintf(stderr, "vexa-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    vexa::test::SimProcess sim;
    if (!sim.start()) {
        std::fprintf(stderr, "vexa-screenshots: vexa-sim did not start\n");
        return 1;
    }
    NotingPrompt prompt;
    vexa::MainWindow w(&prompt);
    w.show();
    if (!waitUntil([&] { return w.statusPanels[0]->text() == QLatin1String("COM1") && !w.startingUp() && !w.link().busy(); })) {
        std::fprintf(stderr, "vexa-screenshots: the window did not reach the simulated reader\n");
        return 1;
    }

    bool ok = exchange(w, [&] { w.versionButton->click(); });
    w.pageTabs->setCurrentWidget(w.isoPage);
    w.isoPage->commandList->setItemIndex(vexa::iso15693::Inventory);
    w.isoPage->showCommandOptions();
    ok = ok && exchange(w, [&] { w.goButton->click(); });
    w.isoPage->commandList->setItemIndex(vexa::iso15693::ViewOneBlock);
    w.isoPage->showCommandOptions();
    w.isoPage->blockNumberEdit->setText(QStringLiteral("3"));
    ok = ok && exchange(w, [&] { w.goButton->click(); });
    ok = ok && save(w, folder, QStringLiteral("mainwindow-iso15693.png"));

    w.pageTabs->setCurrentWidget(w.tagitPage);
    w.tagitPage->commandList->setItemIndex(vexa::tagit::Inventory);
    w.tagitPage->showCommandOptions();
    ok = ok && exchange(w, [&] { w.goButton->click(); });
    w.tagitPage->commandList->setItemIndex(vexa::tagit::ReadBlock);
    w.tagitPage->showCommandOptions();
    ok = ok && exchange(w, [&] { w.goButton->click(); });
    ok = ok && exchange(w, [&] { w.setupButton->click(); });
    ok = ok && save(w, folder, QStringLiteral("mainwindow-tagit.png"));

    w.close();
    return ok ? 0 : 1;
}
