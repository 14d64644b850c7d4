// Sixteen tags in the field and an inventory on Repeat for a few seconds:
// the Tag Log window of the real main window shows each tag once, read once
// per inventory answered.
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include "e2efixture.h"
#include "core/codecs/iso15693.h"
#include "core/session/taglogmodel.h"

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
        QVERIFY(m_sim->control(QStringLiteral("tag add iso15693 ") + uids.constLast()));
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
}

QTEST_MAIN(tst_E2eTagLog)
#include "tst_e2e_taglog.moc"
