#include "filebytes.h"
#include "xlsreader.h"

#include "formats/biffwriter.h"

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

// The text of a text cell record: its length in UTF-16 units, the option
// flags (bit 0: UTF-16, else Latin-1), then the characters.
QString labelText(const Record& r)
{
    const int units = r.u16(6);
    const bool utf16 = r.data.at(8) & 0x01;
    if (r.data.size() != 9 + units * (utf16 ? 2 : 1))
        return QStringLiteral("<length %1 does not match>").arg(units);
    if (!utf16)
        return QString::fromLatin1(r.data.constData() + 9, units);
    QString text;
    for (int i = 0; i < units; ++i)
        text.append(QChar(r.u16(9 + 2 * i)));
    return text;
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
        {true, {}, QString(), true}, // beyond the grid: no title, no total
    };
    const QList<QVariantList> rows{
        {QStringLiteral("羽毛球拍"), QStringLiteral("20260315001"), 2.0, qlonglong(7), QString(),
         QStringLiteral("2026-03-15"), 123.45},
        {QStringLiteral("O'Neil 篮球😀"), QStringLiteral("20260315002"), -1.5, qlonglong(1) << 40, QVariant(),
         QByteArray("\x01\x02", 2), QStringLiteral("ymq")},
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
    void textsReadBackExactly();
    void recordStream();
    void refusesRowsBeyondTheSheet_data();
    void refusesRowsBeyondTheSheet();
};

// What another spreadsheet reader makes of the file, under the C locale.
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
    QCOMPARE(x.encoding, QStringLiteral("utf_16_le"));
    QCOMPARE(x.rows, 7); // title, user, two title rows, two data rows, totals
    QCOMPARE(x.columns, 7);

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
        {5, 0, 1, QStringLiteral("O'Neil 篮球😀")},
        {5, 2, 2, -1.5},
        {5, 3, 2, double(qlonglong(1) << 40)},
        {5, 5, 1, QString()}, // bytes: an empty text
        {6, 0, 1, QStringLiteral("合计")},
        {6, 2, 1, QString()},
        {6, 5, 1, QString()},
        {4, 6, 2, 123.45},
        {5, 6, 1, QStringLiteral("ymq")},
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
    // The field beyond the grid has neither title nor totals cell.
    for (int row : {2, 3, 6})
        QCOMPARE(x.at(row, 6).type, 0);
}

// Texts outside GBK and outside Latin-1, and texts longer than a record of
// 8,224 bytes, come back as they were written.
void TestBiffWriter::textsReadBackExactly()
{
    const QString rare = QStringLiteral("𠀀");
    const QStringList texts{
        QStringLiteral("𠀀跑鞋"),
        QStringLiteral("€"),
        QStringLiteral("café"), // Latin-1: one byte a character
        QStringLiteral("€ 19.90 / 𠀀 / 😀 / 篮球 / ½"),
        rare.repeated(5000), // 10,000 UTF-16 units
        QStringLiteral("a").repeated(9000),
    };
    biff::Sheet s;
    s.title = QStringLiteral("𠀀跑鞋 €");
    s.userName = QStringLiteral("𠀀");
    s.columns = {{true, {QStringLiteral("名称€")}, QStringLiteral("合计𠀀")}};
    s.rowCount = int(texts.size()) + 1;
    s.value = [&](int row, int) {
        // The last text passes a cell's limit: it is cut before the last whole character.
        return QVariant(row < texts.size() ? texts.at(row) : rare.repeated(20000));
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("texts.xls"));
    QString error;
    QVERIFY2(biff::writeSheet(path, s, &error), qPrintable(error));
    const XlsSheet x = readXls(path);
    QVERIFY2(x.ok, qPrintable(x.error));
    QCOMPARE(x.text(0, 3), s.title);
    QCOMPARE(x.text(1, 0), QStringLiteral("制表人：𠀀"));
    QCOMPARE(x.text(2, 0), QStringLiteral("名称€"));
    for (int i = 0; i < texts.size(); ++i)
        QVERIFY2(x.text(3 + i, 0) == texts.at(i), qPrintable(texts.at(i).left(20)));
    QCOMPARE(x.text(3 + int(texts.size()), 0), rare.repeated(biff::kMaxTextUnits / 2));
    QCOMPARE(x.text(4 + int(texts.size()), 0), QStringLiteral("合计𠀀"));

    // And as LibreOffice reads it, heading included.
    const QList<QStringList> lo = readXlsWithLibreOffice(path, dir.path(), &error);
    if (lo.isEmpty())
        QSKIP(qPrintable(QStringLiteral("no LibreOffice read-back: ") + error));
    QCOMPARE(lo.value(0).value(3), s.title);
    QCOMPARE(lo.value(1).value(0), QStringLiteral("制表人：𠀀"));
    QCOMPARE(lo.value(2).value(0), QStringLiteral("名称€"));
    for (int i = 0; i < texts.size(); ++i)
        QVERIFY2(lo.value(3 + i).value(0) == texts.at(i), qPrintable(texts.at(i).left(20)));
    QCOMPARE(lo.value(4 + int(texts.size())).value(0), QStringLiteral("合计𠀀"));
}

void TestBiffWriter::recordStream()
{
    QList<int> asked;
    QString error;
    const QByteArray bytes = biff::sheetBytes(sampleSheet(&asked), &error);
    const QList<Record> rs = records(bytes);
    QVERIFY(rs.size() > 6);
    // The workbook part: begin of file (BIFF8), code page 1200 (UTF-16), the
    // sheet's name and the position of its begin of file, end of file.
    QCOMPARE(rs.at(0).type, quint16(0x0809));
    QCOMPARE(rs.at(0).data.size(), 16);
    QCOMPARE(rs.at(0).u16(0), quint16(0x0600));
    QCOMPARE(rs.at(0).u16(2), quint16(0x0005));
    QCOMPARE(rs.at(1).type, quint16(0x0042));
    QCOMPARE(rs.at(1).u16(0), quint16(1200));
    const Record& sheet = rs.at(2);
    QCOMPARE(sheet.type, quint16(0x0085));
    const quint32 sheetAt = sheet.u32(0);
    QCOMPARE(sheet.data.mid(6), QByteArray("\x04\x01\x00\x95\x2E\x55\xA5\x62\x68\x88", 10)); // 销售报表
    QCOMPARE(rs.at(3).type, quint16(0x000A));
    QCOMPARE(bytes.mid(sheetAt, 8), QByteArray("\x09\x08\x10\x00\x00\x06\x10\x00", 8));
    QCOMPARE(rs.at(4).type, quint16(0x0809));
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
    QCOMPARE(text->data.mid(6), QByteArray("\x04\x00\x01\xBD\x7F\xDB\x6B\x03\x74\xCD\x62", 11)); // 羽毛球拍
    QCOMPARE(labelText(*cellRecord(rs, 5, 0)), QStringLiteral("O'Neil 篮球😀"));
    const Record* latin1 = cellRecord(rs, 4, 5);
    QCOMPARE(latin1->data.mid(6), QByteArray("\x0A\x00\x00"
                                             "2026-03-15",
                                             13));
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
        QCOMPARE(bytesOf(path), QByteArray("old")); // nothing written
        return;
    }
    const QList<Record> rs = records(bytesOf(path));
    QVERIFY(rs.size() > 2);
    const Record& totals = rs.at(rs.size() - 2);
    QCOMPARE(totals.type, quint16(0x0204));
    QCOMPARE(totals.row(), biff::kLastRow);
    QCOMPARE(labelText(totals), QStringLiteral("总计"));
}

QTEST_GUILESS_MAIN(TestBiffWriter)
#include "tst_biffwriter.moc"
