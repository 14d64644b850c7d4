// Sixteen tags in the field and an inventory on Repeat for a few seconds:
// the Tag Log window of the real main window shows each tag once, read once
// per inventory answered. Then one of them, chosen there, read whole in the
// Tag Memory window.
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "e2efixture.h"
#include "core/codecs/iso15693.h"
#include "core/session/taglogmodel.h"
#include "ui/memory/tagmemorywindow.h"

using namespace vexa;
using namespace vexa::test;

class tst_E2eTagLog : public QObject, public E2eFixture
{
    Q_OBJECT
private slots:
    void cleanup() { closeAll(); }
    void repeatedInventoryOfSixteenTags();
};

void tst_E2eTagLog::repeatedInventoryOfSixteenTags()
{
    QVERIFY(startSim({QStringLiteral("--no-tags")}));
    QStringList uids;
    for (int i = 0; i < 16; ++i) {
        uids << QStringLiteral("E00401%1").arg(0xA0000000u + uint(i) * 0x01010101u, 10, 16, QLatin1Char('0')).toUpper();
        // The first holds a URI as NDEF (CC E1 40 0E 01, then 03 09 D1 01 05
        // 55 04 "x.io" FE) and a locked block.
        QVERIFY(m_sim->control(QStringLiteral("tag add iso15693 ") + uids.constLast() +
                               (i ? QString() : QStringLiteral(" data=010E40E1,01D10903,78045505,FE6F692E lock=2"))));
    }
    MainWindow &w = makeWindow();
    QVERIFY(showWindow());
    QVERIFY(waitForStartExchange());

    QTest::keyClick(&w, Qt::Key_F7);
    auto &table = control<QTableView>(w, QStringLiteral("tagLogTable"));
    QTRY_VERIFY(table.isVisible());

    control<QTabWidget>(w, QStringLiteral("PageControl1")).setCurrentIndex(0);
    control<QWidget>(w, QStringLiteral("grpBxIsoCmd")).findChildren<QRadioButton *>().at(iso15693::Inventory)->click();
    m_sim->forgetTraffic();
    control<QAction>(w, QStringLiteral("ContinuousMode1")).trigger();
    auto &go = control<QAction>(w, QStringLiteral("Send1"));
    go.trigger();
    QVERIFY(m_sim->waitForRequests(25, 3 * kTimeoutMs)); // a few seconds of Repeat
    go.trigger(); // Pause: the answer in flight is still reported
    QVERIFY(waitUntilIdle());
    const int answered = int(m_sim->requests().size());

    QAbstractItemModel &model = *table.model();
    QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 16, kTimeoutMs);
    QStringList shown;
    for (int row = 0; row < 16; ++row) {
        QTRY_COMPARE_WITH_TIMEOUT(model.index(row, TagLogModel::ReadsColumn).data().toString(), QString::number(answered),
                                  kTimeoutMs);
        shown << model.index(row, TagLogModel::TagColumn).data().toString();
        QCOMPARE(model.index(row, TagLogModel::FamilyColumn).data().toString(), QStringLiteral("ISO/IEC 15693"));
    }
    shown.sort();
    uids.sort();
    QCOMPARE(shown, uids);
    QTRY_COMPARE(control<QLabel>(w, QStringLiteral("tagLogStatus")).text(),
                 QStringLiteral("16 tags, %1 reads").arg(16 * answered));

    // The tag chosen in the log is the one Tag Memory reads.
    for (int row = 0; row < 16; ++row)
        if (model.index(row, TagLogModel::TagColumn).data().toString() == uids.constFirst())
            table.setCurrentIndex(model.index(row, 0));
    control<QAction>(w, QStringLiteral("ContinuousMode1")).trigger(); // Repeat off
    control<QAction>(w, QStringLiteral("TagMemory1")).trigger();
    auto &memory = control<TagMemoryWindow>(w, QStringLiteral("TagMemoryWindow"));
    QTRY_VERIFY(memory.isVisible());
    QCOMPARE(memory.uid(), uids.constFirst());
    auto &readAll = control<QPushButton>(memory, QStringLiteral("btnTagMemoryRead"));
    QTRY_VERIFY(readAll.isEnabled());
    // With the Tag-it page in view: the job's answers still read as ISO/IEC 15693.
    control<QTabWidget>(w, QStringLiteral("PageControl1")).setCurrentIndex(2);
    readAll.click();
    QTRY_VERIFY_WITH_TIMEOUT(!memory.jobRunning(), 6 * kTimeoutMs);
    MemoryGridModel &grid = memory.grid();
    QCOMPARE(grid.rowCount(), 28);
    QCOMPARE(grid.index(1, MemoryGridModel::ValueColumn).data().toString(), QStringLiteral("01D10903"));
    QCOMPARE(grid.index(2, MemoryGridModel::LockColumn).data().toString(), QStringLiteral("locked"));
    QVERIFY(control<QPlainTextEdit>(memory, QStringLiteral("tagMemoryNdef")).toPlainText().contains("URI: https://x.io"));
}

QTEST_MAIN(tst_E2eTagLog)
#include "tst_e2e_taglog.moc"
