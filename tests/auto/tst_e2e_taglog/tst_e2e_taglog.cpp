// Sixteen tags in the field and an inventory on Repeat for a few seconds:
// the Tag Log window of the real main window shows each tag once, read once
// per inventory answered.
#include <QAction>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/taglogwindow.h"
#include "fakes.h"
#include "link/readerlink.h"
#include "session/taglogmodel.h"
#include "simprocess.h"
#include "tags/iso15693.h"

using namespace vexa;
using namespace vexa::test;

namespace {
constexpr int kTimeoutMs = 10'000;
}

class tst_E2eTagLog : public QObject
{
    Q_OBJECT
private slots:
    void repeatedInventoryOfSixteenTags();
};

void tst_E2eTagLog::repeatedInventoryOfSixteenTags()
{
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--no-tags")}));
    QStringList uids;
    for (int i = 0; i < 16; ++i) {
        uids << QStringLiteral("E00401%1").arg(0xA0000000u + uint(i) * 0x01010101u, 10, 16, QLatin1Char('0')).toUpper();
        QVERIFY(sim.control(QStringLiteral("tag add iso15693 ") + uids.constLast()));
    }
    ScriptedPrompt prompt;
    MainWindow w(&prompt);
    w.show();
    QVERIFY(sim.waitForRequests(2, kTimeoutMs)); // the start's rate and setup
    QTRY_VERIFY_WITH_TIMEOUT(!w.startingUp() && !w.session().link().busy(), kTimeoutMs);

    QTest::keyClick(&w, Qt::Key_F7);
    auto *table = w.findChild<QTableView *>(QStringLiteral("tagLogTable"));
    QVERIFY(table);
    QTRY_VERIFY(table->isVisible());

    w.findChild<QTabWidget *>(QStringLiteral("PageControl1"))->setCurrentIndex(0);
    w.findChild<QWidget *>(QStringLiteral("grpBxIsoCmd"))
        ->findChildren<QRadioButton *>()
        .at(iso15693::Inventory)
        ->click();
    sim.forgetTraffic();
    w.findChild<QAction *>(QStringLiteral("ContinuousMode1"))->trigger();
    QAction *go = w.findChild<QAction *>(QStringLiteral("Send1"));
    go->trigger();
    QVERIFY(sim.waitForRequests(25, 3 * kTimeoutMs)); // a few seconds of Repeat
    go->trigger(); // Pause: the answer in flight is still reported
    QTRY_VERIFY_WITH_TIMEOUT(!w.session().link().busy(), kTimeoutMs);
    const int answered = int(sim.requests().size());

    QTRY_COMPARE_WITH_TIMEOUT(table->model()->rowCount(), 16, kTimeoutMs);
    QStringList shown;
    for (int row = 0; row < 16; ++row) {
        const QModelIndex reads = table->model()->index(row, TagLogModel::ReadsColumn);
        QTRY_COMPARE_WITH_TIMEOUT(reads.data().toString(), QString::number(answered), kTimeoutMs);
        shown << table->model()->index(row, TagLogModel::TagColumn).data().toString();
        QCOMPARE(table->model()->index(row, TagLogModel::FamilyColumn).data().toString(),
                 QStringLiteral("ISO/IEC 15693"));
    }
    shown.sort();
    uids.sort();
    QCOMPARE(shown, uids);
    QTRY_COMPARE(w.findChild<QLabel *>(QStringLiteral("tagLogStatus"))->text(),
                 QStringLiteral("16 tags, %1 reads").arg(16 * answered));
    w.close();
}

QTEST_MAIN(tst_E2eTagLog)
#include "tst_e2e_taglog.moc"
