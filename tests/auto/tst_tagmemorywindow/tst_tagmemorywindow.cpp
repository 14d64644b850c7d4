// The Tag Memory window: grid, edits, what its buttons hand the memory job
// and how the job's result (given here) marks the grid; files; accessibility.
#include <QAccessible>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "core/session/memoryjob.h"
#include "core/session/readersession.h"
#include "core/session/taglog.h"
#include "core/session/taglogmodel.h"
#include "core/util/regularfile.h"
#include "controls.h"
#include "fakes.h"
#include "ui/memory/tagmemorywindow.h"
#include "ui/window/mainwindow.h"
#include "ui/window/taglogwindow.h"

using namespace vexa;
using namespace vexa::test;
using Grid = MemoryGridModel;

namespace {

const QByteArray kUid = QByteArray::fromHex("E0040100A1B2C3D4");

// Blocks given as memory-order hex; "" is unread; '!' at the end locked, '?'
// lock state not known.
tagdump::TagDump makeDump(const QStringList &blocks, int blockSize = 4)
{
    tagdump::TagDump dump;
    dump.uid = kUid;
    dump.blockSize = blockSize;
    for (QString b : blocks) {
        tagdump::Block block;
        block.locked = b.endsWith(QLatin1Char('!'));
        if (b.endsWith(QLatin1Char('?')))
            block.locked.reset();
        b.remove(QLatin1Char('!')).remove(QLatin1Char('?'));
        block.data = QByteArray::fromHex(b.toLatin1());
        if (b.isEmpty())
            block.unread = QStringLiteral("no answer");
        dump.blocks << block;
    }
    return dump;
}

QString cell(const Grid &grid, int row, int column, int role = Qt::DisplayRole)
{
    return grid.index(row, column).data(role).toString();
}

} // namespace

class TestTagMemoryWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void gridFromDump_data();
    void gridFromDump();
    void editValidation_data();
    void editValidation();
    void editByKeyboard();
    void writeChangesWritesOnlyChangedBlocks();
    void fileThenVerifyMarksDifferingRows();
    void assistiveTechnology();
    void openedFromTheToolsMenuWithTheTagLogsTag();

private:
    ScriptedPrompt m_prompt;
    std::unique_ptr<ReaderSession> m_session;
    std::unique_ptr<QWidget> m_main;
    TagMemoryWindow *m_window = nullptr;
};

void TestTagMemoryWindow::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QDir::tempPath().toLocal8Bit() + "/tst_tagmemorywindow_config");
    isolateWindowTests();
}

void TestTagMemoryWindow::init()
{
    m_main.reset(); // the last window, before the session it used
    m_prompt = ScriptedPrompt();
    m_session = std::make_unique<ReaderSession>(m_prompt);
    m_main = std::make_unique<QWidget>();
    m_window = new TagMemoryWindow(*m_session, m_prompt, {}, m_main.get());
}

void TestTagMemoryWindow::gridFromDump_data()
{
    QTest::addColumn<QString>("block"); // memory order, as makeDump takes it
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lock");
    QTest::addColumn<QString>("note");
    QTest::addColumn<bool>("editable");
    QTest::newRow("ascii, high byte first") << "48692101" << 4 << "01216948" << "Hi!." << "" << "" << true;
    QTest::newRow("control and high bytes") << "007F20FF" << 4 << "FF207F00" << ".. ." << "" << "" << true;
    QTest::newRow("locked") << "E1400E01!" << 4 << "010E40E1" << ".@.." << "locked" << "" << false;
    QTest::newRow("eight-byte block") << "0102030441424344" << 8 << "4443424104030201" << "....ABCD" << "" << ""
                                      << true;
    QTest::newRow("lock not known") << "11223344?" << 4 << "44332211" << ".\"3D" << "?" << "" << true;
    QTest::newRow("not read") << "" << 4 << "" << "" << "" << "not read: no answer" << false;
}

void TestTagMemoryWindow::gridFromDump()
{
    QFETCH(QString, block);
    QFETCH(int, blockSize);
    Grid &grid = m_window->grid();
    grid.setDump(makeDump({block}, blockSize), Grid::Source::Tag);
    QTEST(cell(grid, 0, Grid::ValueColumn), "value");
    QTEST(cell(grid, 0, Grid::TextColumn), "text");
    QTEST(cell(grid, 0, Grid::LockColumn), "lock");
    QTEST(cell(grid, 0, Grid::NoteColumn), "note");
    QTEST(bool(grid.flags(grid.index(0, Grid::ValueColumn)) & Qt::ItemIsEditable), "editable");
}

void TestTagMemoryWindow::editValidation_data()
{
    QTest::addColumn<int>("block");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QList<int>>("changed");
    QTest::newRow("whole value") << 1 << "AABBCCDD" << true << "AABBCCDD" << QList<int>{1};
    QTest::newRow("lower case, blanks around") << 1 << " aabbccdd " << true << "AABBCCDD" << QList<int>{1};
    QTest::newRow("as it was: no change") << 1 << "44332211" << true << "44332211" << QList<int>{};
    QTest::newRow("too short") << 1 << "AABBCC" << false << "44332211" << QList<int>{};
    QTest::newRow("too long") << 1 << "AABBCCDDEE" << false << "44332211" << QList<int>{};
    QTest::newRow("not hexadecimal") << 1 << "AABBCCGG" << false << "44332211" << QList<int>{};
    QTest::newRow("inner blank") << 1 << "AABB CCDD" << false << "44332211" << QList<int>{};
    QTest::newRow("locked block") << 0 << "AABBCCDD" << false << "00000000" << QList<int>{};
    QTest::newRow("unread block") << 2 << "AABBCCDD" << false << "" << QList<int>{};
}

void TestTagMemoryWindow::editValidation()
{
    QFETCH(int, block);
    QFETCH(QString, typed);
    Grid &grid = m_window->grid();
    grid.setDump(makeDump({"00000000!", "11223344", ""}), Grid::Source::Tag);
    QSignalSpy refused(&grid, &Grid::editRefused);
    QTEST(grid.setData(grid.index(block, Grid::ValueColumn), typed), "taken");
    QTEST(cell(grid, block, Grid::ValueColumn), "shown");
    QTEST(grid.changedBlocks(), "changed");
    QFETCH(bool, taken);
    QCOMPARE(refused.isEmpty(), taken);
    if (!taken) // the window says why
        QCOMPARE(control<QLabel>(*m_window, "tagMemoryStatus").text(), refused.first().at(1).toString());
}

// Typing into a value cell and Enter: the grid takes it, marks it changed,
// and the NDEF pane follows the edit.
void TestTagMemoryWindow::editByKeyboard()
{
    m_window->grid().setDump(makeDump({"E1400E01", "00000000"}), Grid::Source::Tag);
    m_window->showPlaced();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    auto &table = control<QTableView>(*m_window, "tagMemoryGrid");
    table.setFocus();
    table.setCurrentIndex(m_window->grid().index(1, Grid::ValueColumn));
    QTest::keyClick(&table, Qt::Key_F2);
    QTRY_VERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
    QTest::keyClicks(QApplication::focusWidget(), "00fe0003"); // memory 03 00 FE 00: an empty message
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(m_window->grid().changedBlocks(), QList<int>{1});
    QCOMPARE(cell(m_window->grid(), 1, Grid::NoteColumn), QStringLiteral("changed"));
    QVERIFY(control<QPlainTextEdit>(*m_window, "tagMemoryNdef").toPlainText().contains("Empty NDEF message"));
    QVERIFY(control<QPushButton>(*m_window, "btnTagMemoryWrite").isEnabled());
}

// Only the edited blocks go to the job, addressed to the tag that was read;
// its result becomes the grid, written rows noted.
void TestTagMemoryWindow::writeChangesWritesOnlyChangedBlocks()
{
    Grid &grid = m_window->grid();
    grid.setDump(makeDump({"00000000", "11111111", "22222222", "33333333"}), Grid::Source::Tag);
    QVERIFY(grid.setValueText(1, "AAAAAAAA"));
    QVERIFY(grid.setValueText(3, "BBBBBBBB"));
    QVERIFY(grid.setValueText(2, "CCCCCCCC"));
    QVERIFY(grid.setValueText(2, "22222222")); // back as it was
    QSignalSpy running(m_window, &TagMemoryWindow::jobRunningChanged);
    control<QPushButton>(*m_window, "btnTagMemoryWrite").click();
    auto *job = m_window->findChild<MemoryJob *>();
    QVERIFY(job && m_window->jobRunning() && running.size() == 1);
    QVERIFY(m_prompt.confirmations.isEmpty()); // no more asked than for one block write
    QCOMPARE(job->input().kind, MemoryJobInput::Kind::Restore);
    QCOMPARE(job->input().tag, QStringLiteral("E0040100A1B2C3D4"));
    QVERIFY(!job->input().restore.anyUid);
    QList<int> carried;
    for (int b = 0; b < job->input().reference.blocks.size(); ++b)
        if (job->input().reference.blocks[b].isRead())
            carried << b;
    QCOMPARE(carried, (QList<int>{1, 3}));
    QVERIFY(!grid.flags(grid.index(0, Grid::ValueColumn)).testFlag(Qt::ItemIsEditable)); // the job has the tag

    MemoryJobResult result;
    result.kind = MemoryJobInput::Kind::Restore;
    result.dump = makeDump({"00000000", "AAAAAAAA", "22222222", "BBBBBBBB"});
    result.written = {1, 3};
    emit job->finished(result);
    QVERIFY(!m_window->jobRunning() && running.size() == 2 && grid.changedBlocks().isEmpty());
    QCOMPARE(cell(grid, 3, Grid::NoteColumn), QStringLiteral("written"));
    QCOMPARE(cell(grid, 3, Grid::ValueColumn), QStringLiteral("BBBBBBBB"));
}

// A dump file is shown as from the file; Verify compares the tag with it and
// marks the rows that differ. Save As writes what the grid shows.
void TestTagMemoryWindow::fileThenVerifyMarksDifferingRows()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("dump.json");
    QVERIFY(replaceFile(path, tagdump::toJson(makeDump({"00000000", "11111111", "22222222"})).bytes).isEmpty());
    QString chosen = path;
    m_window->chooseFile = [&chosen](bool) { return chosen; };
    control<QPushButton>(*m_window, "btnTagMemoryOpen").click();
    Grid &grid = m_window->grid();
    QCOMPARE(grid.source(), Grid::Source::File);
    QVERIFY(control<QLabel>(*m_window, "tagMemorySource").text().contains("dump.json"));
    QCOMPARE(cell(grid, 2, Grid::ValueColumn), QStringLiteral("22222222"));

    control<QPushButton>(*m_window, "btnTagMemoryVerify").click();
    auto *job = m_window->findChild<MemoryJob *>();
    QVERIFY(job);
    QCOMPARE(job->input().kind, MemoryJobInput::Kind::Verify);
    QCOMPARE(job->input().reference, grid.shown());
    MemoryJobResult result;
    result.kind = MemoryJobInput::Kind::Verify;
    result.outcome = MemoryJobResult::Outcome::Differs;
    result.dump = makeDump({"00000000", "11111111", "12345678"});
    result.differing = {2};
    emit job->finished(result);
    QVERIFY(grid.differs(2) && !grid.differs(1));
    QCOMPARE(cell(grid, 2, Grid::NoteColumn), QStringLiteral("the tag holds 78563412"));
    QCOMPARE(cell(grid, 2, Grid::ValueColumn), QStringLiteral("22222222")); // still the file's

    // Writing a file's values to a tag is asked first; No writes nothing.
    QVERIFY(grid.setValueText(1, "AAAAAAAA"));
    m_prompt.confirmAnswer = false;
    control<QPushButton>(*m_window, "btnTagMemoryWrite").click();
    QCOMPARE(m_prompt.confirmations.size(), 1);
    QVERIFY(!m_window->jobRunning());

    chosen = dir.filePath("saved.json");
    control<QPushButton>(*m_window, "btnTagMemorySave").click();
    QCOMPARE(tagdump::fromJson(readRegularFile(chosen, 1 << 20).bytes).dump, grid.shown());
    chosen = dir.filePath("broken.json"); // not there
    control<QPushButton>(*m_window, "btnTagMemoryOpen").click();
    QCOMPARE(m_prompt.messages.size(), 1);
    QCOMPARE(grid.source(), Grid::Source::File); // the grid stays
}

void TestTagMemoryWindow::assistiveTechnology()
{
    m_window->grid().setDump(makeDump({"48692101!", "11223344"}), Grid::Source::Tag);
    m_window->showPlaced();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const auto name = [](QObject *o) { return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name); };
    const std::pair<const char *, const char *> buttons[] = {
        {"btnTagMemoryRead", "Read All"}, {"btnTagMemoryOpen", "Open..."},         {"btnTagMemorySave", "Save As..."},
        {"btnTagMemoryWrite", "Write Changes"}, {"btnTagMemoryVerify", "Verify"}, {"btnTagMemoryCancel", "Cancel"}};
    for (const auto &[object, caption] : buttons) {
        auto *b = &control<QPushButton>(*m_window, object);
        QCOMPARE(name(b), QString::fromLatin1(caption));
        QVERIFY(!QAccessible::queryAccessibleInterface(b)->text(QAccessible::Description).isEmpty());
    }
    QCOMPARE(name(&control<QLineEdit>(*m_window, "tagMemoryUid")), QStringLiteral("UID:"));
    QCOMPARE(name(&control<QPlainTextEdit>(*m_window, "tagMemoryNdef")), QStringLiteral("NDEF message"));
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(&control<QTableView>(*m_window, "tagMemoryGrid"));
    QCOMPARE(table->text(QAccessible::Name), QStringLiteral("Tag memory"));
    QAccessibleTableInterface *cells = table->tableInterface();
    QVERIFY(cells);
    const auto at = [cells](int row, int column, QAccessible::Text t) { return cells->cellAt(row, column)->text(t); };
    QCOMPARE(at(0, Grid::BlockColumn, QAccessible::Name), QStringLiteral("Block 0"));
    QCOMPARE(at(0, Grid::ValueColumn, QAccessible::Name), QStringLiteral("01216948"));
    QCOMPARE(at(0, Grid::ValueColumn, QAccessible::Description), QStringLiteral("Block 0 value, high byte first"));
    QCOMPARE(at(1, Grid::ValueColumn, QAccessible::Description),
             QStringLiteral("Block 1 value, high byte first, 8 hexadecimal digits, editable"));
    QCOMPARE(at(0, Grid::TextColumn, QAccessible::Name), QStringLiteral("Hi!."));
    QCOMPARE(at(0, Grid::LockColumn, QAccessible::Name), QStringLiteral("locked"));
    QCOMPARE(at(1, Grid::LockColumn, QAccessible::Name), QStringLiteral("not locked"));
    QCOMPARE(at(1, Grid::NoteColumn, QAccessible::Name), QStringLiteral("no note"));
}

// "Tag Memory" opens it; a tag chosen in the Tag Log is the one it addresses.
void TestTagMemoryWindow::openedFromTheToolsMenuWithTheTagLogsTag()
{
    ScriptedPrompt prompt;
    MainWindow w(&prompt);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.session().tagLog().record(ResponseFamily::Iso15693, {{QStringLiteral("E0040100A1B2C3D4"), {}}},
                                QDateTime::currentMSecsSinceEpoch());
    QTest::keyClick(&w, Qt::Key_F7);
    auto &log = control<TagLogWindow>(w, "TagLogWindow");
    log.model().update();
    auto &logTable = control<QTableView>(log, "tagLogTable");
    logTable.setCurrentIndex(logTable.model()->index(0, 0));
    control<QAction>(w, "TagMemory1").trigger();
    auto &memory = control<TagMemoryWindow>(w, "TagMemoryWindow");
    QTRY_VERIFY(memory.isVisible());
    QCOMPARE(memory.uid(), QStringLiteral("E0040100A1B2C3D4"));
    w.close();
}

QTEST_MAIN(TestTagMemoryWindow)
#include "tst_tagmemorywindow.moc"
