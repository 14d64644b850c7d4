// The settings that survive between runs: their text, their file and their
// mapping through QSettings. Never touches the real store.
#include <QtTest>

#include <QSettings>
#include <QTemporaryDir>

#include <sys/stat.h>

#include "core/settings/settingsstore.h"
#include "core/util/regularfile.h"

using namespace vexa;

namespace {
StoredSettings unusual()
{
    StoredSettings s;
    s.comMethod = 1;
    s.portNumber = 3;
    s.baudRate = 9600;
    s.debugOn = true;
    s.left = 40;
    s.top = -12;
    s.height = 512;
    s.width = 700;
    s.options.isoConfig = 0x9C;
    s.options.isoAfiValue = 0x0A;
    s.options.isoAfiCategory = 5;
    s.options.isoBlockLength = 1;
    s.options.useAfi = true;
    s.options.audioOn = false;
    s.options.ledOn = false;
    s.options.addressReader = true;
    s.options.readerSerialNumber = QStringLiteral("4000123");
    s.tagLog = {true, -30, 25, 800, 400, {90, 150, 60}, 4, true};
    return s;
}

void compareSettings(const StoredSettings &a, const StoredSettings &b)
{
    QCOMPARE(settingsToValues(a).size(), settingsToValues(b).size());
    const SettingsValues va = settingsToValues(a), vb = settingsToValues(b);
    for (int i = 0; i < va.size(); ++i)
        QCOMPARE(va[i].name + QLatin1Char('=') + va[i].value, vb[i].name + QLatin1Char('=') + vb[i].value);
}

StoredSettings fromText(const char *text)
{
    const ParsedSettings parsed = parseSettingsText(QByteArray(text));
    if (!parsed.error.isEmpty())
        qWarning() << "unexpected parse error" << parsed.error;
    return settingsFromValues(parsed.values);
}
} // namespace

class tst_SettingsStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void fileTextUsesExactNames();
    void roundTripThroughText();
    void roundTripThroughFile();
    void roundTripThroughQSettings();
    void firstRun();
    void nonNumericValuesGiveDefaults_data();
    void nonNumericValuesGiveDefaults();
    void handWrittenNames_data();
    void handWrittenNames();
    void lowByteAndNibbles();
    void damagedFile_data();
    void damagedFile();
    void unreadableFile();
    void unwritablePlace();
    void pathFollowsXdgConfigHome();
    void oddFileLeftAlone_data();
    void oddFileLeftAlone();
    void readUpToTheBound_data();
    void readUpToTheBound();

private:
    QTemporaryDir m_config;
};

void tst_SettingsStore::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
}

void tst_SettingsStore::fileTextUsesExactNames()
{
    const QByteArray expected = "[Com]\n"
                                "Com Method=0\n"
                                "Port Number=1\n"
                                "\n"
                                "[Baud]\n"
                                "Baud rate=38400\n"
                                "\n"
                                "[Settings]\n"
                                "DebugOn=0\n"
                                "Left=0\n"
                                "Top=0\n"
                                "AudioOn=1\n"
                                "LEDOn=1\n"
                                "address rdr=0\n"
                                "rdr serial number=\n"
                                "Height=583\n"
                                "Width=678\n"
                                "\n"
                                "[Iso Cgf]\n"
                                "ISO Config=2\n"
                                "ISO AFI Val=0\n"
                                "ISO AFI Cat=0\n"
                                "ISO Blk Len=0\n"
                                "use AFI=0\n"
                                "\n"
                                "[Tag Log]\n"
                                "Visible=0\n"
                                "Window Left=0\n"
                                "Window Top=0\n"
                                "Window Width=0\n"
                                "Window Height=0\n"
                                "Column Widths=\n"
                                "Sort Column=2\n"
                                "Sort Descending=0\n";
    QCOMPARE(settingsText(settingsToValues(StoredSettings{})), expected);
}

void tst_SettingsStore::roundTripThroughText()
{
    const StoredSettings s = unusual();
    const ParsedSettings parsed = parseSettingsText(settingsText(settingsToValues(s)));
    QVERIFY(parsed.error.isEmpty());
    compareSettings(settingsFromValues(parsed.values), s);
}

void tst_SettingsStore::roundTripThroughFile()
{
    const QString path = m_config.filePath(QStringLiteral("round/VexaHost.conf"));
    QCOMPARE(saveSettingsFile(path, unusual()), QString());
    const LoadedSettings loaded = loadSettingsFile(path);
    QCOMPARE(loaded.problem, QString());
    compareSettings(loaded.settings, unusual());
    // Replaced as a whole: no temporary file is left beside it.
    QCOMPARE(QDir(m_config.filePath(QStringLiteral("round"))).entryList(QDir::Files), QStringList{"VexaHost.conf"});
}

void tst_SettingsStore::roundTripThroughQSettings()
{
    const QString path = m_config.filePath(QStringLiteral("qsettings.ini"));
    {
        QSettings store(path, QSettings::IniFormat);
        writeSettings(store, unusual());
    }
    QSettings store(path, QSettings::IniFormat);
    QCOMPARE(store.value(QStringLiteral("Iso Cgf/ISO AFI Val")).toString(), QStringLiteral("10"));
    QCOMPARE(store.value(QStringLiteral("Settings/rdr serial number")).toString(), QStringLiteral("4000123"));
    compareSettings(readSettings(store), unusual());
}

void tst_SettingsStore::firstRun()
{
    const QString path = m_config.filePath(QStringLiteral("first/Kestrune/VexaHost.conf"));
    const LoadedSettings loaded = loadSettingsFile(path);
    QCOMPARE(loaded.problem, QString());
    compareSettings(loaded.settings, StoredSettings{});
    QCOMPARE(loaded.settings.baudRate, 38400);
    QCOMPARE(loaded.settings.options.isoConfig, uint8_t(2));
    QCOMPARE(saveSettingsFile(path, loaded.settings), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    for (const char *section : {"[Com]\n", "[Baud]\n", "[Settings]\n", "[Iso Cgf]\n"})
        QVERIFY2(text.contains(section), section);
}

void tst_SettingsStore::nonNumericValuesGiveDefaults_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("port letters") << QByteArray("[Com]\nPort Number=abc\n") << "Port Number" << "1";
    QTest::newRow("port empty") << QByteArray("[Com]\nPort Number=\n") << "Port Number" << "1";
    QTest::newRow("baud words") << QByteArray("[Baud]\nBaud rate=fast\n") << "Baud rate" << "38400";
    QTest::newRow("ISO Config hex") << QByteArray("[Iso Cgf]\nISO Config=0x05\n") << "ISO Config" << "2";
    QTest::newRow("AudioOn text") << QByteArray("[Settings]\nAudioOn=yes\n") << "AudioOn" << "1";
    QTest::newRow("Height fraction") << QByteArray("[Settings]\nHeight=500.5\n") << "Height" << "583";
    QTest::newRow("Left too big") << QByteArray("[Settings]\nLeft=99999999999\n") << "Left" << "0";
    QTest::newRow("a number still counts") << QByteArray("[Com]\nPort Number=4\n") << "Port Number" << "4";
    QTest::newRow("column widths not numbers") << QByteArray("[Tag Log]\nColumn Widths=90,wide\n") << "Column Widths" << "";
    QTest::newRow("zero column width") << QByteArray("[Tag Log]\nColumn Widths=90,0,80\n") << "Column Widths" << "";
    QTest::newRow("column widths with blanks") << QByteArray("[Tag Log]\nColumn Widths= 90 , 80\n") << "Column Widths"
                                               << "90,80";
    QTest::newRow("boolean any non-zero") << QByteArray("[Settings]\nLEDOn=0\nDebugOn=7\n") << "DebugOn" << "1";
}

void tst_SettingsStore::nonNumericValuesGiveDefaults()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    const ParsedSettings parsed = parseSettingsText(text);
    QCOMPARE(parsed.error, QString());
    for (const SettingsValue &v : settingsToValues(settingsFromValues(parsed.values)))
        if (v.name == name)
            QCOMPARE(v.value, expected);
}

void tst_SettingsStore::handWrittenNames_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("afiValue");
    QTest::addColumn<QString>("serial");
    QTest::newRow("exact") << QByteArray("[Iso Cgf]\nISO AFI Val=7\n[Settings]\nrdr serial number=12\n") << 7 << "12";
    QTest::newRow("blanks around") << QByteArray("  [ Iso Cgf ]  \n  ISO AFI Val  =  7  \n[Settings]\n rdr serial number = 12 \n")
                                   << 7 << "12";
    QTest::newRow("odd case") << QByteArray("[ISO CGF]\niso afi val=7\n[settings]\nRDR SERIAL NUMBER=12\n") << 7 << "12";
    QTest::newRow("CR LF and comments") << QByteArray("; mine\r\n[Iso Cgf]\r\nISO AFI Val=7\r\n# end\r\n[Settings]\r\nrdr serial number=12\r\n")
                                        << 7 << "12";
    QTest::newRow("last one wins") << QByteArray("[Iso Cgf]\nISO AFI Val=3\nISO AFI Val=7\n[Settings]\nrdr serial number=12\n")
                                   << 7 << "12";
    QTest::newRow("wrong section") << QByteArray("[Settings]\nISO AFI Val=7\nrdr serial number=12\n") << 0 << "12";
    QTest::newRow("inner blanks differ") << QByteArray("[Iso Cgf]\nISO  AFI Val=7\n[Settings]\nrdr serial number=12\n")
                                         << 0 << "12";
}

void tst_SettingsStore::handWrittenNames()
{
    QFETCH(QByteArray, text);
    QFETCH(int, afiValue);
    QFETCH(QString, serial);
    const ParsedSettings parsed = parseSettingsText(text);
    QCOMPARE(parsed.error, QString());
    const StoredSettings s = settingsFromValues(parsed.values);
    QCOMPARE(int(s.options.isoAfiValue), afiValue);
    QCOMPARE(s.options.readerSerialNumber, serial);
}

void tst_SettingsStore::lowByteAndNibbles()
{
    const StoredSettings s = fromText("[Iso Cgf]\nISO Config=258\nISO AFI Val=31\nISO AFI Cat=20\nISO Blk Len=1\n"
                                      "[Settings]\naddress rdr=1\n");
    QCOMPARE(int(s.options.isoConfig), 2);       // low byte of 258
    QCOMPARE(int(s.options.isoAfiValue), 0x0F);  // a nibble: 31 would spill into the family
    QCOMPARE(int(s.options.isoAfiCategory), 4);  // 20 has no item in the family list
    QCOMPARE(s.options.isoBlockLength, 1);
    QCOMPARE(s.options.isoBlockBytes(), 8);
    QVERIFY(s.options.addressReader);
}

void tst_SettingsStore::damagedFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("binary") << QByteArray("\x7f" "ELF\x02\x01\x01\x00\x00garbage", 16);
    QTest::newRow("not UTF-8") << QByteArray("[Com]\nPort Number=\xff\xfe\n");
    QTest::newRow("unclosed section") << QByteArray("[Com\nPort Number=2\n");
    QTest::newRow("stray text") << QByteArray("[Com]\nPort Number 2\n");
    QTest::newRow("value without a name") << QByteArray("[Com]\n=2\n");
    QTest::newRow("cut in half") << QByteArray("[Com]\nCom Method=0\nPort Num");
    QTest::newRow("huge") << QByteArray(70000, 'x');
}

void tst_SettingsStore::damagedFile()
{
    QFETCH(QByteArray, bytes);
    const QString path = m_config.filePath(QStringLiteral("damaged/VexaHost.conf"));
    QVERIFY(QDir().mkpath(m_config.filePath(QStringLiteral("damaged"))));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    StoredSettings defaults;
    defaults.portNumber = 1;
    const LoadedSettings loaded = loadSettingsFile(path, defaults);
    QVERIFY2(loaded.problem.contains(QStringLiteral("damaged")), qPrintable(loaded.problem));
    QVERIFY(loaded.problem.contains(path));
    compareSettings(loaded.settings, defaults);

    // The next save replaces it with a sound file.
    QCOMPARE(saveSettingsFile(path, unusual()), QString());
    const LoadedSettings again = loadSettingsFile(path);
    QCOMPARE(again.problem, QString());
    compareSettings(again.settings, unusual());
}

void tst_SettingsStore::unreadableFile()
{
    // A folder where the file should be cannot be read by anyone, root included.
    const QString path = m_config.filePath(QStringLiteral("unreadable/VexaHost.conf"));
    QVERIFY(QDir().mkpath(path));
    const LoadedSettings loaded = loadSettingsFile(path);
    QVERIFY2(loaded.problem.contains(QStringLiteral("cannot read")), qPrintable(loaded.problem));
    compareSettings(loaded.settings, StoredSettings{});
    const QString saved = saveSettingsFile(path, unusual());
    QVERIFY2(saved.contains(QStringLiteral("not saved")), qPrintable(saved));
}

void tst_SettingsStore::unwritablePlace()
{
    // The folder cannot be made: a plain file stands where it should be.
    const QString blocker = m_config.filePath(QStringLiteral("blocker"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QString path = blocker + QStringLiteral("/Kestrune/VexaHost.conf");
    const QString saved = saveSettingsFile(path, unusual());
    QVERIFY2(saved.contains(QStringLiteral("not saved")), qPrintable(saved));
    const LoadedSettings loaded = loadSettingsFile(path);
    compareSettings(loaded.settings, StoredSettings{});
}

void tst_SettingsStore::pathFollowsXdgConfigHome()
{
    QCOMPARE(settingsFilePath(), m_config.path() + QStringLiteral("/Kestrune/VexaHost.conf"));
    QCOMPARE(saveSettings(unusual()), QString());
    QVERIFY(QFile::exists(m_config.path() + QStringLiteral("/Kestrune/VexaHost.conf")));
    compareSettings(loadSettings().settings, unusual());
}

void tst_SettingsStore::oddFileLeftAlone_data()
{
    // What stands at the settings path, made with `ln -s` or `mkfifo`, and
    // what the load says about it (empty: read as any file).
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("named pipe without writer") << "fifo" << "named pipe";
    QTest::newRow("link to a named pipe") << "link to fifo" << "named pipe";
    QTest::newRow("link to an endless device") << "link to /dev/zero" << "device";
    QTest::newRow("link to a regular file") << "link to file" << "";
}

void tst_SettingsStore::oddFileLeftAlone()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("VexaHost.conf"));
    const QString target = dir.filePath(QStringLiteral("target"));
    if (kind.endsWith(QLatin1String("fifo")))
        QCOMPARE(::mkfifo(QFile::encodeName(kind == QLatin1String("fifo") ? path : target).constData(), 0600), 0);
    if (kind == QLatin1String("link to file"))
        QCOMPARE(saveSettingsFile(target, unusual()), QString());
    if (kind.startsWith(QLatin1String("link")))
        QVERIFY(QFile::link(kind.endsWith(QLatin1String("/dev/zero")) ? QStringLiteral("/dev/zero") : target, path));
    struct stat before = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);

    // A pipe without a writer would hold an ordinary open for ever.
    const LoadedSettings loaded = loadSettingsFile(path);
    StoredSettings later = unusual();
    later.left = 77;
    const QString saved = saveSettingsFile(path, later);
    if (reason.isEmpty()) {
        QCOMPARE(loaded.problem, QString());
        compareSettings(loaded.settings, unusual());
        QCOMPARE(saved, QString());
        compareSettings(loadSettingsFile(target).settings, later); // written through the link
    } else {
        QVERIFY2(loaded.problem.contains(path) && loaded.problem.contains(reason), qPrintable(loaded.problem));
        compareSettings(loaded.settings, StoredSettings{});
        QVERIFY2(saved.contains(path) && saved.contains(reason), qPrintable(saved));
    }
    // Whatever stood there still stands, the link still a link.
    QCOMPARE(QFileInfo(path).isSymLink(), kind.startsWith(QLatin1String("link")));
    struct stat after = {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    // And nothing was left beside it: the path, and the link's target here.
    const bool targetHere = kind == QLatin1String("link to fifo") || kind == QLatin1String("link to file");
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden).size(), targetHere ? 2 : 1);
}

void tst_SettingsStore::readUpToTheBound_data()
{
    // A file of `size` bytes read with the bound `bound`; empty `path` makes
    // a file of that size, otherwise the path is read as it is.
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("bound");
    QTest::addColumn<bool>("read");
    QTest::newRow("empty") << QString() << qint64(0) << qint64(16) << true;
    QTest::newRow("exactly the bound") << QString() << qint64(16) << qint64(16) << true;
    QTest::newRow("one byte over") << QString() << qint64(17) << qint64(16) << false;
    QTest::newRow("grows past the first buffer") << QString() << qint64(300000) << qint64(1 << 20) << true;
    QTest::newRow("far over, refused by its size") << QString() << qint64(300000) << qint64(4096) << false;
    // Says it is empty and is not: the size said is not trusted.
    QTest::newRow("size said is 0") << QStringLiteral("/proc/self/maps") << qint64(-1) << qint64(1 << 20) << true;
}

void tst_SettingsStore::readUpToTheBound()
{
    QFETCH(QString, path);
    QFETCH(qint64, size);
    QFETCH(qint64, bound);
    QFETCH(bool, read);
    QTemporaryDir dir;
    QByteArray bytes;
    if (path.isEmpty()) {
        path = dir.filePath(QStringLiteral("file"));
        for (qint64 i = 0; i < size; ++i)
            bytes.append(char('a' + i % 26));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == size);
    }
    const RegularFileRead got = readRegularFile(path, bound);
    QCOMPARE(got.status, read ? RegularFileRead::Status::Read : RegularFileRead::Status::TooLarge);
    if (!read) {
        QVERIFY(got.bytes.isEmpty());
        QVERIFY2(got.reason.contains(QString::number(bound)), qPrintable(got.reason));
    } else if (size >= 0) {
        QCOMPARE(got.bytes, bytes);
    } else {
        QVERIFY(got.bytes.size() > 0);
    }
}

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
