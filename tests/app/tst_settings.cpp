#include "settings/layoutfile.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString fileText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return u"<unreadable>"_s;
    return QString::fromUtf8(f.readAll());
}

void putFile(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text.toUtf8());
}

ColumnState column(const QString& field, int position, int width = 64)
{
    ColumnState c;
    c.field = field;
    c.position = position;
    c.width = width;
    return c;
}

// Five plain columns a … e in that order, the grid as designed.
GridLayout designed()
{
    GridLayout g;
    for (const QString& f : {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s})
        g.columns.append(column(f, int(g.columns.size())));
    g.rowHeight = 18;
    g.textLines = 1;
    return g;
}

QString order(const GridLayout& g)
{
    QString out;
    for (qsizetype i = 0; i < g.columns.size(); ++i) {
        out += g.columns[i].field;
        if (g.columns[i].position != i)
            out += u"!"_s; // position must follow the order
    }
    return out;
}

} // namespace

class TestSettings final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void configFolder_data();
    void configFolder();
    void readNeverCreatesTheStore();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void writesReplaceOneValueAndReadsAreNotCached();
    void writeFailureIsReported();
    void writingTheStoredValueLeavesTheFileAlone();

    void alarmNumberFallsBackToItsDefault_data();
    void alarmNumberFallsBackToItsDefault();
    void layoutRoundTripAndFileForm();
    void saveKeepsTheRestOfTheFile();
    void restoreFieldRules();
    void restoreIgnoresOutOfRangeAndRepeatedKeys_data();
    void restoreIgnoresOutOfRangeAndRepeatedKeys();
    void restorePositionsInTurn_data();
    void restorePositionsInTurn();
    void restoreWithoutFileOrSectionChangesNothing_data();
    void restoreWithoutFileOrSectionChangesNothing();
    void saveFailureIsReported();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_oldHome;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_oldHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(u"config"_s).toUtf8());
}

void TestSettings::cleanup()
{
    qputenv("HOME", m_oldHome);
    qunsetenv("XDG_CONFIG_HOME");
    m_dir.reset();
}

void TestSettings::configFolder_data()
{
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("expected"); // relative to the temporary folder

    QTest::newRow("XDG_CONFIG_HOME set") << u"<tmp>/cfg"_s << u"cfg/pelmora"_s;
    QTest::newRow("empty: home") << QString() << u"home/.config/pelmora"_s;
    QTest::newRow("relative is ignored") << u"cfg"_s << u"home/.config/pelmora"_s;
}

void TestSettings::configFolder()
{
    QFETCH(QString, xdg);
    QFETCH(QString, expected);
    const QString tmp = m_dir->path();
    qputenv("HOME", (tmp + u"/home"_s).toUtf8());
    qputenv("XDG_CONFIG_HOME", xdg.replace(u"<tmp>"_s, tmp).toUtf8());

    QCOMPARE(SettingsStore::folderPath(), tmp + u'/' + expected);
    QCOMPARE(SettingsStore::filePath(), tmp + u'/' + expected + u"/jxc.ini"_s);
    QCOMPARE(layoutFilePath(), tmp + u'/' + expected + u"/lorvin.ini"_s);
}

void TestSettings::readNeverCreatesTheStore()
{
    QVERIFY(!SettingsStore::keyExists());
    QCOMPARE(SettingsStore::read(settingkeys::skin), QString());
    QVERIFY(!SettingsStore::keyExists());
    QVERIFY(!QFileInfo::exists(SettingsStore::folderPath()));

    QVERIFY(SettingsStore::write(settingkeys::saleDate, u"2014-03-15"_s));
    QVERIFY(SettingsStore::keyExists());
    QVERIFY(QFileInfo(SettingsStore::filePath()).isFile());
    QCOMPARE(SettingsStore::read(settingkeys::saleDate), u"2014-03-15"_s);
    QCOMPARE(SettingsStore::read(settingkeys::skin), QString());
}

void TestSettings::valuesRoundTrip_data()
{
    QTest::addColumn<QString>("value");

    QTest::newRow("plain") << u"3"_s;
    QTest::newRow("chinese") << u"体育用品商店 欢迎光临！"_s;
    QTest::newRow("equals signs") << u"a=b==c="_s;
    QTest::newRow("windows path") << u"D:\\beifen.mdb"_s;
    QTest::newRow("escape-like text") << u"\\n is not a line end \\\\"_s;
    QTest::newRow("line ends") << u"line 1\nline 2\r\nline 3\n"_s;
    QTest::newRow("blanks kept") << u"  spaced  "_s;
    QTest::newRow("empty") << QString();
}

void TestSettings::valuesRoundTrip()
{
    QFETCH(QString, value);
    QString error;
    QVERIFY(SettingsStore::write(settingkeys::receiptTitle, value, &error));
    QVERIFY(SettingsStore::write(settingkeys::receiptPromotion1, u"after"_s, &error));
    QCOMPARE(SettingsStore::read(settingkeys::receiptTitle), value);
    QCOMPARE(SettingsStore::read(settingkeys::receiptPromotion1), u"after"_s);
    if (qstrcmp(QTest::currentDataTag(), "chinese") == 0) // stored readable, as UTF-8
        QVERIFY(fileText(SettingsStore::filePath()).contains(u"pos1=体育用品商店 欢迎光临！\n"_s));
}

void TestSettings::writesReplaceOneValueAndReadsAreNotCached()
{
    QVERIFY(SettingsStore::write(settingkeys::stockAlarm, u"5"_s));
    QVERIFY(SettingsStore::write(settingkeys::company, u"老店"_s));
    QVERIFY(SettingsStore::write(settingkeys::stockAlarm, u"0"_s));
    QCOMPARE(fileText(SettingsStore::filePath()), u"number=0\ncompany=老店\n"_s);

    // Another hand changes the file: the next read sees it. Names compare
    // case-insensitively, as registry value names do.
    putFile(SettingsStore::filePath(), u"NUMBER = 12\ncompany=新店\n"_s);
    QCOMPARE(SettingsStore::read(settingkeys::stockAlarm), u" 12"_s);
    QCOMPARE(SettingsStore::read(settingkeys::company), u"新店"_s);
    QVERIFY(SettingsStore::write(settingkeys::stockAlarm, u"7"_s));
    QCOMPARE(fileText(SettingsStore::filePath()), u"number=7\ncompany=新店\n"_s);
}

void TestSettings::writeFailureIsReported()
{
    // Tests run as root, which file modes do not stop: a regular file where
    // the configuration folder should be does.
    const QString blocker = m_dir->filePath(u"blocker"_s);
    putFile(blocker, u"x"_s);
    qputenv("XDG_CONFIG_HOME", blocker.toUtf8());
    QString error;
    QVERIFY(!SettingsStore::write(settingkeys::skin, u"1"_s, &error));
    QCOMPARE(error, u"Unable to write to %1\nNot a directory"_s.arg(SettingsStore::filePath()));
    QVERIFY(!SettingsStore::keyExists());

    // A settings "file" that cannot be read is not replaced.
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(u"config"_s).toUtf8());
    QVERIFY(QDir().mkpath(SettingsStore::filePath() + u"/inside"_s));
    error.clear();
    QVERIFY(!SettingsStore::write(settingkeys::skin, u"1"_s, &error));
    QCOMPARE(error, u"Unable to write to %1"_s.arg(SettingsStore::filePath()));
    QVERIFY(QFileInfo::exists(SettingsStore::filePath() + u"/inside"_s));
    QCOMPARE(SettingsStore::read(settingkeys::skin), QString());
}

void TestSettings::writingTheStoredValueLeavesTheFileAlone()
{
    const auto inode = [] {
        struct stat st
        {
        };
        return ::stat(QFile::encodeName(SettingsStore::filePath()).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    putFile(SettingsStore::filePath(), u"danhao=12\r\ncompany=老店\r\n"_s);
    const ino_t before = inode();
    QVERIFY(before != 0);
    QVERIFY(SettingsStore::write(settingkeys::saleDaySequence, u"12"_s));
    QCOMPARE(inode(), before);
    QCOMPARE(fileText(SettingsStore::filePath()), u"danhao=12\r\ncompany=老店\r\n"_s);
    // A value that differs by a trailing blank is a new one: the file is replaced.
    QVERIFY(SettingsStore::write(settingkeys::company, u"老店 "_s));
    QVERIFY(inode() != before);
    QCOMPARE(fileText(SettingsStore::filePath()), u"danhao=12\ncompany=老店 \n"_s);
}

void TestSettings::alarmNumberFallsBackToItsDefault_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("alarm");

    QTest::newRow("nothing stored") << QString() << u"5"_s;
    QTest::newRow("number") << u"12"_s << u"12"_s;
    QTest::newRow("zero") << u"0"_s << u"0"_s;
    QTest::newRow("text") << u"abc"_s << u"5"_s;
    QTest::newRow("negative") << u"-5"_s << u"5"_s;
    QTest::newRow("decimal") << u"1.5"_s << u"5"_s;
    QTest::newRow("too long") << u"12345678901234567890"_s << u"5"_s;
}

void TestSettings::alarmNumberFallsBackToItsDefault()
{
    QFETCH(QString, stored);
    QFETCH(QString, alarm);
    if (!stored.isEmpty())
        QVERIFY(SettingsStore::write(settingkeys::stockAlarm, stored));
    QCOMPARE(SettingsStore::readAlarmNumber(), alarm);
}

void TestSettings::layoutRoundTripAndFileForm()
{
    GridLayout saved;
    saved.columns = {column(u"day1"_s, 0, 80), column(u"a"_s, 1, 120), column(u"b"_s, 2, 45)};
    saved.columns[0].sortMarker = 2;
    saved.columns[0].sortIndex = 1;
    saved.columns[1].visible = false;
    saved.columns[2].dropDownRows = 7;
    saved.columns[2].dropDownWidth = 150;
    saved.rowHeight = 22;
    saved.textLines = 2;
    QString error;
    QVERIFY2(saveLayout(settingkeys::layoutSectionStock, settingkeys::layoutGridName, saved, &error),
             qPrintable(error));

    QCOMPARE(fileText(layoutFilePath()), u"[korvel-net]\n"
                                         "DBGridEh1.day1=0,80,2,1,1,0,0\n"
                                         "DBGridEh1.a=1,120,0,0,0,0,0\n"
                                         "DBGridEh1.b=2,45,0,1,0,7,150\n"
                                         "(Default)=22,2\n"_s);

    // The grid as designed has another order and other states.
    GridLayout g;
    g.columns = {column(u"a"_s, 0), column(u"b"_s, 1), column(u"day1"_s, 2)};
    g.rowHeight = 18;
    QVERIFY(restoreLayout(settingkeys::layoutSectionStock, settingkeys::layoutGridName, g));
    QCOMPARE(order(g), u"day1ab"_s);
    for (qsizetype i = 0; i < 3; ++i) {
        const ColumnState& got = g.columns[i];
        const ColumnState& want = saved.columns[i];
        QCOMPARE(got.width, want.width);
        QCOMPARE(got.sortMarker, want.sortMarker);
        QCOMPARE(got.visible, want.visible);
        QCOMPARE(got.sortIndex, want.sortIndex);
        QCOMPARE(got.dropDownRows, want.dropDownRows);
        QCOMPARE(got.dropDownWidth, want.dropDownWidth);
    }
    QCOMPARE(g.rowHeight, 22);
    QCOMPARE(g.textLines, 2);

    // The other grid's section is separate.
    GridLayout sales = designed();
    QVERIFY(!restoreLayout(settingkeys::layoutSectionSales, settingkeys::layoutGridName, sales));
}

void TestSettings::saveKeepsTheRestOfTheFile()
{
    putFile(layoutFilePath(), u"; kept comment\r\n"
                              "[Korvel-Net]\r\n"
                              "DBGridEh1.old=3,50,0,1,0,0,0\r\n"
                              " dbgrideh1.A = 9,9,9,9,9,9,9\r\n"
                              "\r\n"
                              "[korvel-net2]\r\n"
                              "DBGridEh1.a=0,10,0,1,0,0,0\r\n"_s);
    GridLayout g;
    g.columns = {column(u"a"_s, 0, 70), column(u"b"_s, 1, 30)};
    g.rowHeight = 18;
    QString error;
    QVERIFY2(saveLayout(u"korvel-net"_s, u"DBGridEh1"_s, g, &error), qPrintable(error));

    // The key of "a" is replaced in place; new keys follow the section's last
    // entry; the foreign key, the comment, the blank line, the other section
    // and the file's line ends stay.
    QCOMPARE(fileText(layoutFilePath()), u"; kept comment\r\n"
                                         "[Korvel-Net]\r\n"
                                         "DBGridEh1.old=3,50,0,1,0,0,0\r\n"
                                         "DBGridEh1.a=0,70,0,1,0,0,0\r\n"
                                         "DBGridEh1.b=1,30,0,1,0,0,0\r\n"
                                         "(Default)=18,1\r\n"
                                         "\r\n"
                                         "[korvel-net2]\r\n"
                                         "DBGridEh1.a=0,10,0,1,0,0,0\r\n"_s);
}

void TestSettings::restoreFieldRules()
{
    putFile(layoutFilePath(),
            u"[korvel-net2]\n"
            "DBGridEh1.b = 3,100\n"            // fields 3 … 7 missing
            "DBGridEh1.c=x,abc,2,0,,5,-6\n"    // bad position, width, sort index, drop-down width
            "DBGridEh1.d=4,-1,7,1,2,1.5,90\n"  // bad width, sort marker, rows
            "DBGridEh1.e=\"0,33,1,1,0,0,0\"\n" // quoted, as the profile functions allow
            "(Default)=25\n"_s);
    GridLayout g = designed();
    for (ColumnState& c : g.columns) {
        c.sortIndex = 8;
        c.dropDownRows = 3;
        c.dropDownWidth = 40;
    }
    g.columns[0].visible = false; // "a" has no key: it stays hidden
    g.textLines = 2;
    QVERIFY(restoreLayout(u"korvel-net2"_s, u"DBGridEh1"_s, g));

    QCOMPARE(order(g), u"eacbd"_s);
    const auto& a = g.columns[1];
    QCOMPARE(a.field, u"a"_s);
    QCOMPARE(a.width, 64);
    QVERIFY(!a.visible);
    const auto& b = g.columns[3];
    QCOMPARE(b.width, 100);
    QCOMPARE(b.sortMarker, 0);
    QVERIFY(b.visible);
    QCOMPARE(b.sortIndex, 8);
    QCOMPARE(b.dropDownRows, 3);
    QCOMPARE(b.dropDownWidth, 40);
    const auto& c = g.columns[2];
    QCOMPARE(c.width, 64);
    QCOMPARE(c.sortMarker, 2);
    QVERIFY(!c.visible);
    QCOMPARE(c.sortIndex, 8);
    QCOMPARE(c.dropDownRows, 5);
    QCOMPARE(c.dropDownWidth, 40);
    const auto& d = g.columns[4];
    QCOMPARE(d.width, 64);
    QCOMPARE(d.sortMarker, 0);
    QCOMPARE(d.sortIndex, 2);
    QCOMPARE(d.dropDownRows, 3);
    QCOMPARE(d.dropDownWidth, 90);
    const auto& e = g.columns[0];
    QCOMPARE(e.width, 33);
    QCOMPARE(e.sortMarker, 1);
    QCOMPARE(g.rowHeight, 25);
    QCOMPARE(g.textLines, 2);
}

void TestSettings::restoreIgnoresOutOfRangeAndRepeatedKeys_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<int>("width");         // of column b
    QTest::addColumn<int>("dropDownWidth"); // of column b
    QTest::addColumn<int>("rowHeight");
    QTest::addColumn<int>("textLines");

    // designed(): width 64, drop-down width 0, row height 18, one text line.
    QTest::newRow("largest values") << u"DBGridEh1.b=1,4000,0,1,0,1000,4000\n(Default)=500,50\n"_s << 4000 << 4000
                                    << 500 << 50;
    QTest::newRow("row 100000 px tall") << u"(Default)=100000,1\n"_s << 64 << 0 << 18 << 1;
    QTest::newRow("width of int max") << u"DBGridEh1.b=1,2147483647,0,1,0,0,2147483647\n"_s << 64 << 0 << 18 << 1;
    QTest::newRow("beyond int") << u"DBGridEh1.b=1,99999999999\n(Default)=99999999999,99999999999\n"_s << 64 << 0 << 18
                                << 1;
    QTest::newRow("too many text lines") << u"(Default)=20,51\n"_s << 64 << 0 << 20 << 1;
    // As the platform's profile functions read them, the first of repeated keys wins.
    QTest::newRow("repeated key") << u"DBGridEh1.b=1,90\ndbgrideh1.B=1,120\n(Default)=30,2\n(Default)=40,3\n"_s << 90
                                  << 0 << 30 << 2;
}

void TestSettings::restoreIgnoresOutOfRangeAndRepeatedKeys()
{
    QFETCH(QString, section);
    QFETCH(int, width);
    QFETCH(int, dropDownWidth);
    QFETCH(int, rowHeight);
    QFETCH(int, textLines);
    putFile(layoutFilePath(), u"[korvel-net]\n"_s + section);
    GridLayout g = designed();
    QVERIFY(restoreLayout(u"korvel-net"_s, u"DBGridEh1"_s, g));
    QCOMPARE(order(g), u"abcde"_s);
    QCOMPARE(g.columns[1].width, width);
    QCOMPARE(g.columns[1].dropDownWidth, dropDownWidth);
    QCOMPARE(g.rowHeight, rowHeight);
    QCOMPARE(g.textLines, textLines);
}

void TestSettings::restorePositionsInTurn_data()
{
    QTest::addColumn<QString>("keys");  // field:position pairs stored in the file
    QTest::addColumn<QString>("start"); // current order of the grid
    QTest::addColumn<QString>("expected");

    QTest::newRow("reversed") << u"a:4 b:3 c:2 d:1 e:0"_s << u"abcde"_s << u"edcba"_s;
    QTest::newRow("one key") << u"d:0"_s << u"abcde"_s << u"dabce"_s;
    // p = 0 moves b first (b a c d e), then p = 2 moves a behind c.
    QTest::newRow("in turn") << u"a:2 b:0"_s << u"abcde"_s << u"bcade"_s;
    QTest::newRow("out of range stays") << u"a:9 e:-1 c:0"_s << u"abcde"_s << u"cabde"_s;
    QTest::newRow("current order by position") << u"c:1"_s << u"edcba"_s << u"ecdba"_s;
}

void TestSettings::restorePositionsInTurn()
{
    QFETCH(QString, keys);
    QFETCH(QString, start);
    QFETCH(QString, expected);
    QString text = u"[korvel-net]\n"_s;
    for (const QString& pair : keys.split(u' ')) {
        const QStringList kv = pair.split(u':');
        text += u"DBGridEh1.%1=%2,64,0,1,0,0,0\n"_s.arg(kv[0], kv[1]);
    }
    putFile(layoutFilePath(), text);

    // The list is given in field order a … e; position says the current order.
    GridLayout g = designed();
    for (ColumnState& c : g.columns)
        c.position = int(start.indexOf(c.field));
    QVERIFY(restoreLayout(u"korvel-net"_s, u"DBGridEh1"_s, g));
    QCOMPARE(order(g), expected);
}

void TestSettings::restoreWithoutFileOrSectionChangesNothing_data()
{
    QTest::addColumn<QString>("content"); // "<none>": no file, "<dir>": a folder in its place

    QTest::newRow("no file") << u"<none>"_s;
    QTest::newRow("unreadable") << u"<dir>"_s;
    QTest::newRow("other section only") << u"[korvel-net2]\nDBGridEh1.a=4,1,1,0,1,1,1\n(Default)=40,3\n"_s;
    QTest::newRow("keys before any section") << u"DBGridEh1.a=4,1,1,0,1,1,1\n[x]\n"_s;
}

void TestSettings::restoreWithoutFileOrSectionChangesNothing()
{
    QFETCH(QString, content);
    if (content == u"<dir>"_s)
        QVERIFY(QDir().mkpath(layoutFilePath()));
    else if (content != u"<none>"_s)
        putFile(layoutFilePath(), content);

    GridLayout g = designed();
    g.columns[1].position = 3; // even the current order is left alone
    QVERIFY(!restoreLayout(u"korvel-net"_s, u"DBGridEh1"_s, g));
    QCOMPARE(g.columns.size(), 5);
    QCOMPARE(g.columns[0].field, u"a"_s);
    QCOMPARE(g.columns[0].width, 64);
    QVERIFY(g.columns[0].visible);
    QCOMPARE(g.columns[1].position, 3);
    QCOMPARE(g.rowHeight, 18);
}

void TestSettings::saveFailureIsReported()
{
    // A regular file where the folder should be (root ignores file modes).
    const QString blocker = m_dir->filePath(u"blocker"_s);
    putFile(blocker, u"x"_s);
    qputenv("XDG_CONFIG_HOME", blocker.toUtf8());
    QString error;
    QVERIFY(!saveLayout(u"korvel-net"_s, u"DBGridEh1"_s, designed(), &error));
    QCOMPARE(error, u"Unable to write to %1\nNot a directory"_s.arg(layoutFilePath()));
    QCOMPARE(fileText(blocker), u"x"_s);

    // The path is a folder: neither replaced nor written into.
    qputenv("XDG_CONFIG_HOME", m_dir->filePath(u"config"_s).toUtf8());
    QVERIFY(QDir().mkpath(layoutFilePath()));
    error.clear();
    QVERIFY(!saveLayout(u"korvel-net"_s, u"DBGridEh1"_s, designed(), &error));
    QCOMPARE(error, u"Unable to write to %1"_s.arg(layoutFilePath()));
    QVERIFY(QFileInfo(layoutFilePath()).isDir());
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
