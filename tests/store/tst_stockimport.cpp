#include "hostileworkbooks.h"
#include "processmemory.h"
#include "testdb.h"

#include "core/numbers.h"
#include "formats/workbook.h"
#include "store/db/database.h"
#include "store/memory/memtable.h"
#include "store/ops/stockimport.h"
#include "store/ops/tdmfm.h"
#include "text/pinyininitials.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using stockimport::Outcome;

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(TARVIK_SOURCE_DIR "/tests/fixtures/workbooks/") + QLatin1String(name);
}

QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = QDir(folder).filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qWarning("cannot write %s", qPrintable(path));
    return path;
}

const QByteArray kHeader = "a,b,c,d,e,f,g,a1,a2,a3,a4,a5,a6,a7,a8,z,day1\n";

// The stock rows of the database in rowid order, each as its 17 columns'
// values in table order, numbers in the general form ("" for NULL).
QList<QStringList> storedRows(const QString& dbPath)
{
    Database db;
    QString error;
    QueryResult r;
    QStringList columns;
    for (const QString& c : stockimport::tableColumns())
        columns << QLatin1Char('[') + c + QLatin1Char(']');
    if (!db.open(dbPath, false, &error) ||
        !db.query(
            Statement{QStringLiteral("SELECT %1 FROM data ORDER BY rowid").arg(columns.join(QLatin1Char(','))), {}}, &r,
            &error))
        qWarning("%s", qPrintable(error));
    QList<QStringList> rows;
    for (const auto& row : std::as_const(r.rows)) {
        QStringList values;
        for (const QVariant& v : row)
            values << num::general(v);
        rows << values;
    }
    return rows;
}

QStringList row(std::initializer_list<const char*> values)
{
    QStringList l;
    for (const char* v : values)
        l << QString::fromUtf8(v);
    return l;
}

} // namespace

class TestStockImport : public QObject
{
    Q_OBJECT
private slots:
    void importsWorkbooks_data();
    void importsWorkbooks();
    void readsWhatFreeXlCannot();
    void refusesBadWorkbooks_data();
    void refusesBadWorkbooks();
    void damagedWorkbooksAreRefused();
    void refusesBadDatabases();
    void refusesDatabasesRestoreRefuses_data();
    void refusesDatabasesRestoreRefuses();
    void refusesHostileWorkbooksInBoundedMemory_data();
    void refusesHostileWorkbooksInBoundedMemory();
    void readsCsvInUtf8AndGbk_data();
    void readsCsvInUtf8AndGbk();
    void importIntoOpenDatabaseShowsInStockList();
    void excelDayCounts_data();
    void excelDayCounts();
};

void TestStockImport::importsWorkbooks_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("xls") << fixture("stock.xls");
    QTest::newRow("xlsx") << fixture("stock.xlsx");
}

// Columns in another order, a title in capitals, an unknown column, a notes
// sheet before `korvel`, formulas with number and text results, dates in two
// display forms and as text, numbers in text columns and text in number
// columns, an empty row.
void TestStockImport::importsWorkbooks()
{
    QFETCH(QString, path);
    TestShop shop;
    workbook::Book book;
    QString error;
    QVERIFY2(workbook::read(path, stockimport::selection(), &book, &error), qPrintable(error));
    QCOMPARE(book.sheets.size(), 2);
    QCOMPARE(book.sheets.at(0).name, QStringLiteral("说明"));

    const stockimport::Result r = stockimport::run(path, shop.dbPath(), nullptr);
    QCOMPARE(r.detail, QString());
    QCOMPARE(r.outcome, Outcome::Imported);
    QCOMPARE(r.rows, 3);
    QVERIFY(!r.intoOpenDatabase);
    // a, b, c, d, e, f, g, 1..8, z, day1
    const QList<QStringList> expected{
        row({"李宁羽毛球拍", "N90 III", "6901234567890", "球拍", "lnymqp", "N90!II", "李宁体育", "12.5", "4", "50",
             "25", "0", "0", "4", "50", "批次球拍", "2026-03-15"}),
        row({"乒乓球拍", "", "PP-01", "乒乓", "custom", "", "", "0.1", "3", "0.3", "9.9", "1", "9.9", "2", "0.2", "",
             "2026-01-05"}),
        row({"篮球", "7号", "1001", "球类", "lq", "7h", "斯伯丁", "88", "100000", "8800000", "120", "", "", "100000",
             "8800000", "含税", "2026-02-01"}),
    };
    QCOMPARE(storedRows(shop.dbPath()), expected);
    QCOMPARE(PinyinInitials(QStringLiteral("N90 III")), QStringLiteral("N90!II"));
}

// FreeXL 1.0.6 gives no sheets at all for this workbook (one sheet holds a
// lone empty text) and reads formula cells as empty.
void TestStockImport::readsWhatFreeXlCannot()
{
    TestShop shop;
    workbook::Book book;
    QString error;
    QVERIFY2(workbook::read(fixture("emptystring.xls"), stockimport::selection(), &book, &error), qPrintable(error));
    QCOMPARE(book.sheets.size(), 2);
    const stockimport::Result r = stockimport::run(fixture("emptystring.xls"), shop.dbPath(), nullptr);
    QCOMPARE(r.outcome, Outcome::Imported);
    const QList<QStringList> rows = storedRows(shop.dbPath());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(9), QStringLiteral("25")); // a3 = a1 * a2, a formula
}

void TestStockImport::refusesBadWorkbooks_data()
{
    QTest::addColumn<QString>("path");
    // Written to `path` in a temporary folder when not empty; an .xlsx file gets
    // it as the rows below the title row.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    const QByteArray none;
    // Rows 2 to 6 are good: without one transaction they would land.
    QTest::newRow("bad number in row 7") << fixture("badrow7.xls") << none
                                         << QStringLiteral("工作表 korvel 第 7 行 a2 列的“十个”不是数字");
    QTest::newRow("formula error") << fixture("formulaerror.xls") << none
                                   << QStringLiteral("工作表 korvel 第 3 行 a3 列是公式错误 #DIV/0!");
    QTest::newRow("10,000-character name")
        << fixture("longname.xls") << none << QStringLiteral("第 3 行 a 列的文字有 10000 个字符，最多 255 个");
    QTest::newRow("encrypted") << fixture("encrypted.xls") << none << QStringLiteral("已加密");
    QTest::newRow("empty sheet") << fixture("empty.xls") << none << QStringLiteral("工作表 korvel 是空的");
    QTest::newRow("no sheet korvel") << fixture("nokorvel.xls") << none
                                     << QStringLiteral("工作簿中没有名为 korvel 的工作表（有：Sheet1）");
    QTest::newRow("empty file") << QStringLiteral("empty.xls") << QByteArray() << QStringLiteral("文件是空的");
    QTest::newRow("text named .xls") << QStringLiteral("notes.xls") << QByteArray("a,b\n1,2\n")
                                     << QStringLiteral("不是 Excel 工作簿");
    QTest::newRow("zip that is no workbook")
        << QStringLiteral("x.xlsx") << QByteArray("PK\x03\x04 broken", 12) << QStringLiteral("工作簿已损坏");
    QTest::newRow("missing file") << QStringLiteral("/nonexistent/stock.xls") << none << QStringLiteral("无法打开文件");
    QTest::newRow("column missing") << QStringLiteral("nodate.csv")
                                    << QByteArray("a,b,c,d,e,f,g,a1,a2,a3,a4,a5,a6,a7,a8,z\n")
                                    << QStringLiteral("工作表 nodate 第 1 行缺少列名：day1");
    QTest::newRow("bad date") << QStringLiteral("date.csv") << kHeader + "球,,1,类,,,,1,1,1,1,,,1,1,,2026/1/5\n"
                              << QStringLiteral("第 2 行 day1 列的“2026/1/5”不是“年-月-日”");
    QTest::newRow("titles in row 2, bad number in row 3")
        << QStringLiteral("row3.csv") << QByteArray(",,\n") + kHeader + "球,,1,类,,,,1,二,1,1,,,1,1,,2026-01-05\n"
        << QStringLiteral("工作表 row3 第 3 行 a2 列的“二”不是数字");
    // Numbers are held to the stock-in panel's rule.
    QTest::newRow("negative quantity") << QStringLiteral("neg.csv")
                                       << kHeader + "球,,1,类,,,,1,-5,1,1,,,1,1,,2026-01-05\n"
                                       << QStringLiteral("工作表 neg 第 2 行 a2 列的数值“-5”超出允许范围");
    QTest::newRow("16 significant digits")
        << QStringLiteral("digits.csv") << kHeader + "球,,1,类,,,,1.234567890123456,1,1,1,,,1,1,,2026-01-05\n"
        << QStringLiteral("第 2 行 a1 列的数值“1.234567890123456”超出允许范围");
    QTest::newRow("negative number cell")
        << QStringLiteral("neg.xlsx")
        << QByteArray("<row r=\"2\"><c t=\"inlineStr\"><is><t>球</t></is></c><c/><c><v>1</v></c><c t=\"inlineStr\"><is>"
                      "<t>类</t></is></c><c/><c/><c/><c><v>1</v></c><c><v>1</v></c><c><v>1</v></c><c><v>1</v></c>"
                      "<c/><c/><c><v>-3</v></c><c><v>1</v></c><c/><c t=\"inlineStr\"><is><t>2026-01-05</t></is></c>"
                      "</row>")
        << QStringLiteral("工作表 korvel 第 2 行 a7 列的数值“-3”超出允许范围");
    // The message stays on one line.
    QTest::newRow("line break in a bad cell")
        << QStringLiteral("break.csv") << kHeader + "球,,1,类,,,,1,\"1\n2\",1,1,,,1,1,,2026-01-05\n"
        << QStringLiteral("工作表 break 第 2 行 a2 列的“1↵2”不是数字");
    QByteArray many = kHeader;
    for (int i = 0; i < 100000; ++i)
        many += "球,,1,类,,,,1,1,1,1,,,1,1,,2026-01-05\n";
    QTest::newRow("100,000 rows") << QStringLiteral("many.csv") << many
                                  << QStringLiteral("工作表 many 的数据多于 65535 行，一次最多导入 65535 行");
}

void TestStockImport::refusesBadWorkbooks()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    TestShop shop;
    if (path.endsWith(QLatin1String(".xlsx"))) {
        path = QDir(shop.folder()).filePath(path);
        QVERIFY(hostile::writeXlsx(path, hostile::xlsxTitleRow() + content, {}, 0));
    } else if (!QDir::isAbsolutePath(path)) {
        path = writeFile(shop.folder(), path, content);
    }
    const stockimport::Result r = stockimport::run(path, shop.dbPath(), nullptr);
    QCOMPARE(r.outcome, Outcome::ImportFailed);
    QVERIFY2(r.detail.contains(message), qPrintable(r.detail));
    QVERIFY2(!r.detail.contains(QLatin1Char('\n')), qPrintable(r.detail));
    QVERIFY(storedRows(shop.dbPath()).isEmpty());
}

// Cut short or with bytes changed, a workbook is read or refused, never read
// past its end.
void TestStockImport::damagedWorkbooksAreRefused()
{
    QTemporaryDir dir;
    QRandomGenerator random(10);
    int refused = 0;
    for (const char* name : {"stock.xls", "stock.xlsx", "longname.xls"}) {
        QFile f(fixture(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray good = f.readAll();
        for (int i = 0; i < 300; ++i) {
            QByteArray bad = good;
            if (i % 3 == 0) {
                bad.truncate(random.bounded(int(good.size())));
            } else {
                for (int n = 0; n < 1 + i % 8; ++n)
                    bad[random.bounded(int(bad.size()))] = char(random.bounded(256));
            }
            const QString path = writeFile(dir.path(), QString::fromLatin1(name), bad);
            workbook::Book book;
            QString error;
            if (!workbook::read(path, stockimport::selection(), &book, &error)) {
                QVERIFY(!error.isEmpty());
                ++refused;
            }
        }
    }
    QVERIFY(refused > 0);
}

void TestStockImport::refusesBadDatabases()
{
    TestShop shop;
    const QString book = fixture("stock.xls");
    stockimport::Result r = stockimport::run(book, shop.folder() + QStringLiteral("/none.mdb"), nullptr);
    QCOMPARE(r.outcome, Outcome::ConnectFailed);
    QVERIFY(!QFile::exists(shop.folder() + QStringLiteral("/none.mdb"))); // never created

    r = stockimport::run(book, writeFile(shop.folder(), QStringLiteral("text.mdb"), "not a database"), nullptr);
    QCOMPARE(r.outcome, Outcome::ConnectFailed);

    // Opens with the password but has no stock table.
    const QString other = shop.folder() + QStringLiteral("/other.mdb");
    {
        Database db;
        QString error;
        QVERIFY(db.open(other, true, &error));
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE t (x)"), &error));
    }
    r = stockimport::run(book, other, nullptr);
    QCOMPARE(r.outcome, Outcome::ConnectFailed);
    QVERIFY2(r.detail.startsWith(QStringLiteral("table data is missing")), qPrintable(r.detail));
}

// A database that `check` and restore refuse takes no rows either.
void TestStockImport::refusesDatabasesRestoreRefuses_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("message");
    QTest::newRow("integrity") << "index"
                               << "integrity check failed";
    QTest::newRow("newer schema") << "version"
                                  << "newer version of the program (schema 99)";
}

void TestStockImport::refusesDatabasesRestoreRefuses()
{
    QFETCH(QString, damage);
    QFETCH(QString, message);
    TestShop shop;
    {
        Database db;
        QString error;
        QVERIFY(db.open(shop.dbPath(), false, &error));
        if (damage == QLatin1String("index")) {
            // The index is declared on another column than the one it was built
            // from: its entries no longer match the rows.
            QVERIFY(db.exec(QStringLiteral("insert into data (a, day1) values ('x', '2026-01-05')"), &error));
            QVERIFY(db.exec(QStringLiteral("PRAGMA writable_schema = ON"), &error));
            QVERIFY(db.exec(QStringLiteral("update sqlite_master set sql='CREATE INDEX data_day1 ON data(a)' "
                                           "where name='data_day1'"),
                            &error));
        } else {
            QVERIFY(db.exec(QStringLiteral("PRAGMA user_version = 99"), &error));
        }
    }
    const int before = int(storedRows(shop.dbPath()).size());
    const stockimport::Result r = stockimport::run(fixture("stock.xls"), shop.dbPath(), nullptr);
    QCOMPARE(r.outcome, Outcome::ConnectFailed);
    QVERIFY2(r.detail.contains(message), qPrintable(r.detail));
    QCOMPARE(storedRows(shop.dbPath()).size(), before);
}

// Small files that ask for huge sheets are refused without holding them:
// the whole process stays below 300 MB.
void TestStockImport::refusesHostileWorkbooksInBoundedMemory_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("message");
    QTest::newRow("xls, numbers at column 65535") << "xls"
                                                  << "超出 Excel 97-2003 工作表的 256 列";
    QTest::newRow("xlsx, a cell at column AMJ on each of 1,000,000 rows") << "amj"
                                                                          << "第 1 行缺少列名";
    QTest::newRow("xlsx, 1,000,000 tiny rows") << "tiny"
                                               << "的数据多于 65535 行";
    QTest::newRow("xlsx, 15,000,000 tiny rows") << "tinier"
                                                << "展开后超过 128 MB";
    QTest::newRow("xlsx, a row past the last") << "lastrow"
                                               << "超出 Excel 工作表的范围";
}

void TestStockImport::refusesHostileWorkbooksInBoundedMemory()
{
    QFETCH(QString, shape);
    QFETCH(QString, message);
    TestShop shop;
    const QString path =
        QDir(shop.folder())
            .filePath(shape == QLatin1String("xls") ? QStringLiteral("hostile.xls") : QStringLiteral("hostile.xlsx"));
    const QByteArray tiny = "<row><c><v>1</v></c></row>";
    if (shape == QLatin1String("xls"))
        QVERIFY(hostile::writeXlsBeyondLastColumn(path, 65536));
    else if (shape == QLatin1String("amj"))
        QVERIFY(hostile::writeXlsx(path, {}, "<row><c r=\"AMJ1\"><v>1</v></c></row>", 1000000));
    else if (shape == QLatin1String("tiny"))
        QVERIFY(hostile::writeXlsx(path, hostile::xlsxTitleRow(), tiny, 1000000));
    else if (shape == QLatin1String("tinier"))
        QVERIFY(hostile::writeXlsx(path, hostile::xlsxTitleRow(), tiny, 15000000));
    else
        QVERIFY(hostile::writeXlsx(path, hostile::xlsxTitleRow() + "<row r=\"1048577\"><c><v>1</v></c></row>", {}, 0));
    QVERIFY(QFileInfo(path).size() < 6 * 1024 * 1024);
    processmemory::resetPeak();
    const stockimport::Result r = stockimport::run(path, shop.dbPath(), nullptr);
    const qint64 peak = processmemory::peakKb() / 1024;
    QCOMPARE(r.outcome, Outcome::ImportFailed);
    QVERIFY2(r.detail.contains(message), qPrintable(r.detail));
    QVERIFY2(peak > 0 && (peak < 300 || !processmemory::kPeakIsTheProgramsOwn),
             qPrintable(QStringLiteral("%1 MB").arg(peak)));
    QVERIFY(storedRows(shop.dbPath()).isEmpty());
}

void TestStockImport::readsCsvInUtf8AndGbk_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("rows");
    const QByteArray utf8Row = "李宁,\"拍,红\",1,球拍,,,,\"1.5\",2,3,4,,,2,3,\"说\"\"明\",2026-01-05\r\n";
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + kHeader + utf8Row << 1;
    // 李宁 and 拍 in GBK.
    QTest::newRow("GBK") << kHeader + "\xC0\xEE\xC4\xFE,\"\xC5\xC4,\xBA\xEC\",1,\xC7\xF2\xC5\xC4,,,,1.5,2,3,4,,,2,3,"
                                      "\"\xCB\xB5\"\"\xC3\xF7\",2026-01-05\n"
                         << 1;
    QTest::newRow("titles only") << kHeader << 0;
}

void TestStockImport::readsCsvInUtf8AndGbk()
{
    QFETCH(QByteArray, content);
    QFETCH(int, rows);
    TestShop shop;
    const stockimport::Result r =
        stockimport::run(writeFile(shop.folder(), QStringLiteral("stock.csv"), content), shop.dbPath(), nullptr);
    QCOMPARE(r.detail, QString());
    QCOMPARE(r.outcome, Outcome::Imported);
    QCOMPARE(r.rows, rows);
    const QList<QStringList> stored = storedRows(shop.dbPath());
    QCOMPARE(stored.size(), rows);
    if (rows)
        QCOMPARE(stored.at(0), row({"李宁", "拍,红", "1", "球拍", "ln", "p,h", "", "1.5", "2", "3", "4", "", "", "2",
                                    "3", "说\"明", "2026-01-05"}));
}

void TestStockImport::importIntoOpenDatabaseShowsInStockList()
{
    TestShop shop;
    shop.addStock(QStringLiteral("篮球"), QString(), QStringLiteral("1"), QStringLiteral("球类"), 50, 10, 90);
    Tdmfm& dm = shop.dm();
    QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown));
    QCOMPARE(dm.stock().list().rowCount(), 1);
    // The same file by another name.
    const QString sameFile = shop.folder() + QStringLiteral("/./data.mdb");
    for (int round = 1; round <= 2; ++round) { // a second import adds the rows again
        const stockimport::Result r = stockimport::run(fixture("stock.xls"), sameFile, &dm);
        QCOMPARE(r.outcome, Outcome::Imported);
        QVERIFY(r.intoOpenDatabase);
        QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown));
        QCOMPARE(dm.stock().list().rowCount(), 1 + 3 * round);
    }
    // Many rows at once come into the list too.
    QByteArray many = kHeader;
    for (int i = 0; i < 100; ++i)
        many += "球,,1,类,,,,1,1,1,1,,,1,1,,2026-01-05\n";
    const stockimport::Result r =
        stockimport::run(writeFile(shop.folder(), QStringLiteral("many.csv"), many), shop.dbPath(), &dm);
    QCOMPARE(r.rows, 100);
    QVERIFY(dm.stock().showAll(stockq::ZeroStock::Shown));
    QCOMPARE(dm.stock().list().rowCount(), 107);
    // Found by the initials computed for the imported rows.
    stockq::Conditions c;
    c.nameInitials = QStringLiteral("lnym");
    QVERIFY(dm.stock().search(stockq::ZeroStock::Shown, c));
    QCOMPARE(dm.stock().list().rowCount(), 2);
}

void TestStockImport::excelDayCounts_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<bool>("system1904");
    QTest::addColumn<QDate>("date");
    QTest::newRow("first day") << 1.0 << false << QDate(1900, 1, 1);
    QTest::newRow("before the day that never was") << 59.0 << false << QDate(1900, 2, 28);
    QTest::newRow("1900-02-29 does not exist") << 60.0 << false << QDate();
    QTest::newRow("after it") << 61.0 << false << QDate(1900, 3, 1);
    QTest::newRow("a time of day is dropped") << 46096.75 << false << QDate(2026, 3, 15);
    QTest::newRow("time alone") << 0.5 << false << QDate();
    QTest::newRow("1904 system") << 0.0 << true << QDate(1904, 1, 1);
    QTest::newRow("1904 system later") << 44634.0 << true << QDate(2026, 3, 15);
}

void TestStockImport::excelDayCounts()
{
    QFETCH(double, serial);
    QFETCH(bool, system1904);
    QFETCH(QDate, date);
    QCOMPARE(workbook::dateOfSerial(serial, system1904), date);
}

QTEST_GUILESS_MAIN(TestStockImport)
#include "tst_stockimport.moc"
