#include "xlsreader.h"

#include "store/biffwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

struct Record
{
    quint16 type = 0;
    QByteArray data;
    quint16 u16(int at) const { return qFromLittleEndian<quint16>(data.constData() + at); }
    quint32 u32(int at) const { return qFromLittleEndian<quint32>(data.constData() + at); }
    int row() const { return u16(0); }
    int column() const { return u16(2); }
};

// Splits the stream into its records; an empty list when a length runs past the end.
QList<Record> records(const QByteArray& bytes)
{
    QList<Record> out;
    int at = 0;
    while (at + 4 <= bytes.size()) {
        Record r;
        r.type = qFromLittleEndian<quint16>(bytes.constData() + at);
        const int length = qFromLittleEndian<quint16>(bytes.constData() + at + 2);
        if (at + 4 + length > bytes.size())
            return {};
        r.data = bytes.mid(at + 4, length);
        out.append(r);
        at += 4 + length;
    }
    return at == bytes.size() ? out : QList<Record>{};
}

const Record* cellRecord(const QList<Record>& rs, int row, int column)
{
    for (const Record& r : rs)
        if ((r.type == 0x0204 || r.type == 0x0203 || r.type == 0x027E || r.type == 0x0201) && r.row() == row &&
            r.column() == column)
            return &r;
    return nullptr;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A small sheet with every kind of cell: two title levels, a hidden column,
// Chinese texts, numbers, whole numbers, empty values.
biff::Sheet sampleSheet(QList<int>* askedColumns)
{
    biff::Sheet s;
    s.title = QStringLiteral("销 售 报 表");
    s.userName = QStringLiteral("超级管理员");
    s.madeAt = QStringLiteral("2026-03-15 09:08:07");
    s.columns = {
        {true, {QStringLiteral("商 品 信 息"), QStringLiteral(" 名 称")}, QStringLiteral("合计")},
        {false, {QStringLiteral("销 售 信 息"), QStringLiteral("单 号")}, QString()},
        {true, {QStringLiteral("数量")}, QString()},
        {true, {QStringLiteral("ID")}, QString()},
        {true, {QStringLiteral("备注")}, QString()},
        {true, {QStringLiteral("日期")}, QString()},
    };
    const QList<QVariantList> rows{
        {QStringLiteral("羽毛球拍"), QStringLiteral("20260315001"), 2.0, qlonglong(7), QString(),
         QStringLiteral("2026-03-15")},
        {QStringLiteral("O'Neil 篮球😀"), QStringLiteral("20260315002"), -1.5, qlonglong(1) << 40, QVariant(),
         QByteArray("\x01\x02", 2)},
    };
    s.rowCount = int(rows.size());
    s.value = [rows, askedColumns](int row, int column) {
        askedColumns->append(column);
        return rows.at(row).at(column);
    };
    return s;
}

} // namespace

class TestBiffWriter : public QObject
{
    Q_OBJECT

private slots:
    void readsBackCellByCell();
    void recordStream();
    void refusesRowsBeyondTheSheet_data();
    void refusesRowsBeyondTheSheet();
};

// What another spreadsheet reader makes of the file, under the C locale: the
// Chinese texts come back only because the stream names its code page.
void TestBiffWriter::readsBackCellByCell()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sales.xls"));
    QList<int> asked;
    QString error;
    QVERIFY2(biff::writeSheet(path, sampleSheet(&asked), &error), qPrintable(error));
    QVERIFY2(!asked.contains(1), "a hidden column's values are never read");

    const XlsSheet x = readXls(path);
    QVERIFY2(x.ok, qPrintable(x.error));
    QCOMPARE(x.encoding, QStringLiteral("cp936"));
    QCOMPARE(x.rows, 7); // title, user, two title rows, two data rows, totals
    QCOMPARE(x.columns, 6);

    struct Expected
    {
        int row, column, type;
        QVariant value;
    };
    const QList<Expected> expected{
        {0, 3, 1, QStringLiteral("销 售 报 表")},
        {1, 0, 1, QStringLiteral("制表人：超级管理员")},
        {1, 5, 1, QStringLiteral("制表时间：2026-03-15 09:08:07")},
        {2, 0, 1, QStringLiteral("商 品 信 息")},
        {3, 0, 1, QStringLiteral(" 名 称")},
        {2, 2, 1, QStringLiteral("数量")},
        {3, 2, 1, QString()}, // one level fewer: an empty text
        {2, 5, 1, QStringLiteral("日期")},
        {4, 0, 1, QStringLiteral("羽毛球拍")},
        {4, 2, 2, 2.0},
        {4, 3, 2, 7.0},
        {4, 5, 1, QStringLiteral("2026-03-15")},
        {5, 0, 1, QStringLiteral("O'Neil 篮球?")}, // no GBK code for the emoji
        {5, 2, 2, -1.5},
        {5, 3, 2, double(qlonglong(1) << 40)},
        {5, 5, 1, QString()}, // bytes: an empty text
        {6, 0, 1, QStringLiteral("合计")},
        {6, 2, 1, QString()},
        {6, 5, 1, QString()},
    };
    for (const Expected& e : expected) {
        const XlsCell cell = x.at(e.row, e.column);
        const QByteArray where = QByteArray::number(e.row) + "," + QByteArray::number(e.column);
        QVERIFY2(cell.type == e.type, where.constData());
        if (e.type == 2)
            QVERIFY2(qFuzzyCompare(cell.value.toDouble(), e.value.toDouble()), where.constData());
        else
            QVERIFY2(cell.value.toString() == e.value.toString(),
                     (where + " " + cell.value.toString().toUtf8()).constData());
    }
    // The hidden column and the empty values hold nothing.
    for (int row = 2; row <= 6; ++row)
        QVERIFY(x.at(row, 1).value.toString().isEmpty());
    QVERIFY(x.at(4, 4).value.toString().isEmpty());
    QVERIFY(x.at(5, 4).value.toString().isEmpty());
}

void TestBiffWriter::recordStream()
{
    QList<int> asked;
    QString error;
    const QByteArray bytes = biff::sheetBytes(sampleSheet(&asked), &error);
    const QList<Record> rs = records(bytes);
    QVERIFY(rs.size() > 3);
    QCOMPARE(rs.at(0).type, quint16(0x0809));
    QCOMPARE(rs.at(0).data, QByteArray("\x00\x00\x10\x00\x00\x00\x00\x00", 8));
    // The code page follows the begin of file, before any text.
    QCOMPARE(rs.at(1).type, quint16(0x0042));
    QCOMPARE(rs.at(1).u16(0), quint16(936));
    QCOMPARE(rs.last().type, quint16(0x000A));
    QVERIFY(rs.last().data.isEmpty());

    struct Kind
    {
        int row, column;
        quint16 type;
    };
    // A whole number is an integer cell, 2.0 stays a number cell, empty values
    // and hidden columns are blank cells.
    for (const Kind& k : {Kind{4, 3, 0x027E}, Kind{4, 2, 0x0203}, Kind{5, 3, 0x0203}, Kind{4, 4, 0x0201},
                          Kind{5, 4, 0x0201}, Kind{4, 1, 0x0201}, Kind{5, 1, 0x0201}}) {
        const Record* r = cellRecord(rs, k.row, k.column);
        QVERIFY(r);
        QCOMPARE(r->type, k.type);
    }
    QCOMPARE(cellRecord(rs, 4, 3)->u32(6), quint32(7 * 4 + 2));
    QCOMPARE(cellRecord(rs, 4, 4)->u16(4), quint16(23));
    const Record* text = cellRecord(rs, 4, 0);
    QCOMPARE(text->u16(4), quint16(0));
    QCOMPARE(text->data.mid(8), biff::toGbk(QStringLiteral("羽毛球拍")));
    QCOMPARE(text->u16(6), quint16(8));
}

void TestBiffWriter::refusesRowsBeyondTheSheet_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("fits");
    // One title level: two leading rows and one title row before the data,
    // so the totals row of 65,532 data rows is the sheet's last row.
    QTest::newRow("totals on the last row") << 65532 << true;
    QTest::newRow("one row more") << 65533 << false;
}

void TestBiffWriter::refusesRowsBeyondTheSheet()
{
    QFETCH(int, rows);
    QFETCH(bool, fits);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xls"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    biff::Sheet s;
    s.columns = {{true, {QStringLiteral("名称")}, QStringLiteral("总计")}};
    s.rowCount = rows;
    int asked = 0;
    s.value = [&asked](int, int) {
        ++asked;
        return QVariant(QStringLiteral("x"));
    };
    QString error;
    QCOMPARE(biff::writeSheet(path, s, &error), fits);
    if (!fits) {
        QCOMPARE(error, biff::tooManyRowsText(rows));
        QVERIFY(error.contains(QStringLiteral("65536")));
        QCOMPARE(asked, 0);
        QCOMPARE(readFile(path), QByteArray("old")); // nothing written
        return;
    }
    const QList<Record> rs = records(readFile(path));
    QVERIFY(rs.size() > 2);
    const Record& totals = rs.at(rs.size() - 2);
    QCOMPARE(totals.type, quint16(0x0204));
    QCOMPARE(totals.row(), biff::kLastRow);
    QCOMPARE(totals.data.mid(8), biff::toGbk(QStringLiteral("总计")));
}

QTEST_GUILESS_MAIN(TestBiffWriter)
#include "tst_biffwriter.moc"
