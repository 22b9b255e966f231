#include "store/ops/stockimport.h"

#include "core/blanks.h"
#include "core/numbers.h"
#include "formats/workbook.h"
#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/preparedstatement.h"
#include "store/db/schema.h"
#include "store/memory/memtable.h"
#include "store/ops/tdmfm.h"
#include "text/pinyininitials.h"

#include <QFileInfo>
#include <QHash>

#include <sqlite3.h>

#include <algorithm>

namespace stockimport {

namespace {

using workbook::Cell;

enum class Kind { Text, Number, Date };

struct Column
{
    QLatin1StringView sheetName;
    QLatin1StringView tableName;
    Kind kind;
};

// In the order of the columns of `data`.
const Column kColumns[] = {
    {QLatin1StringView("a"), stockcol::name, Kind::Text},
    {QLatin1StringView("b"), stockcol::model, Kind::Text},
    {QLatin1StringView("c"), stockcol::code, Kind::Text},
    {QLatin1StringView("d"), stockcol::category, Kind::Text},
    {QLatin1StringView("e"), stockcol::nameInitials, Kind::Text},
    {QLatin1StringView("f"), stockcol::modelInitials, Kind::Text},
    {QLatin1StringView("g"), stockcol::supplier, Kind::Text},
    {QLatin1StringView("a1"), stockcol::purchasePrice, Kind::Number},
    {QLatin1StringView("a2"), stockcol::quantityIn, Kind::Number},
    {QLatin1StringView("a3"), stockcol::purchaseAmount, Kind::Number},
    {QLatin1StringView("a4"), stockcol::salePrice, Kind::Number},
    {QLatin1StringView("a5"), stockcol::soldQuantity, Kind::Number},
    {QLatin1StringView("a6"), stockcol::salesAmount, Kind::Number},
    {QLatin1StringView("a7"), stockcol::stockQuantity, Kind::Number},
    {QLatin1StringView("a8"), stockcol::stockAmount, Kind::Number},
    {QLatin1StringView("z"), stockcol::remark, Kind::Text},
    {QLatin1StringView("day1"), stockcol::stockInDate, Kind::Date},
};
constexpr int kColumnCount = int(std::size(kColumns));
constexpr int kName = 0, kModel = 1, kNameInitials = 4, kModelInitials = 5;

const QString kSheet = QStringLiteral("korvel");

QString shown(const QString& text)
{
    constexpr int kShown = 30;
    return text.size() > kShown ? text.left(kShown) + QStringLiteral("…") : text;
}

// Where a value stands, for the messages: "工作表 korvel 第 7 行 a2 列".
QString place(const QString& sheet, int row, const Column& c)
{
    return QStringLiteral("工作表 %1 第 %2 行 %3 列").arg(sheet).arg(row + 1).arg(c.sheetName);
}

// The stored value of one cell, or nullopt with *error.
// `where` names the cell for a message; it is only called on a bad value.
template <typename Where>
std::optional<QVariant> valueOf(const Cell& cell, const Column& c, const Where& where, QString* error)
{
    if (cell.kind == Cell::Kind::Error) {
        *error = QStringLiteral("%1是公式错误 %2").arg(where(), cell.text);
        return std::nullopt;
    }
    switch (c.kind) {
    case Kind::Text: {
        QString text;
        switch (cell.kind) {
        case Cell::Kind::Text:
            text = trimControlsAndSpaces(cell.text);
            break;
        case Cell::Kind::Number:
            text = num::general(static_cast<long double>(cell.number));
            break;
        case Cell::Kind::Date:
            text = num::dateText(cell.date);
            break;
        default:
            break;
        }
        // A text cut while it was read says how long it was.
        const qsizetype length = cell.fullLength >= 0 ? cell.fullLength : text.size();
        if (length > kMaxTextLength) {
            *error = QStringLiteral("%1的文字有 %2 个字符，最多 %3 个").arg(where()).arg(length).arg(kMaxTextLength);
            return std::nullopt;
        }
        return QVariant(text);
    }
    case Kind::Number: {
        // Every number is held to the rule of the stock-in panel's fields. A
        // number cell gives the 15 significant digits it is shown with (a
        // saved 0.1 * 3 is 0.30000000000000004).
        QString text;
        if (cell.kind == Cell::Kind::Empty)
            return QVariant();
        if (cell.kind == Cell::Kind::Number) {
            text = num::general(static_cast<long double>(cell.number));
        } else if (cell.kind == Cell::Kind::Text) {
            if (trimControlsAndSpaces(cell.text).isEmpty())
                return QVariant();
            text = cell.text;
        } else {
            text = num::dateText(cell.date);
        }
        if (cell.kind == Cell::Kind::Date || !num::toDecimal(text)) {
            *error = QStringLiteral("%1的“%2”不是数字").arg(where(), shown(text));
            return std::nullopt;
        }
        const std::optional<long double> value = num::toStorable(text, QString());
        if (!value) {
            *error = num::outOfRangeText(where(), shown(trimControlsAndSpaces(text)));
            return std::nullopt;
        }
        return QVariant(static_cast<double>(*value));
    }
    case Kind::Date: {
        if (cell.kind == Cell::Kind::Empty)
            return QVariant();
        if (cell.kind == Cell::Kind::Date && cell.date.isValid())
            return QVariant(num::dateText(cell.date));
        if (cell.kind == Cell::Kind::Text) {
            const QString text = trimControlsAndSpaces(cell.text);
            if (text.isEmpty())
                return QVariant();
            if (num::parseDate(text))
                return QVariant(text);
        }
        // A number, or a date cell that holds a time of day alone.
        const QString bad =
            cell.kind == Cell::Kind::Text ? cell.text : num::general(static_cast<long double>(cell.number));
        *error = QStringLiteral("%1的“%2”不是“年-月-日”（如 2014-03-15）形式的日期").arg(where(), shown(bad));
        return std::nullopt;
    }
    }
    return QVariant();
}

bool isTextEmpty(const QVariant& v)
{
    return v.isNull() || v.toString().isEmpty();
}

// Writes the rows through one prepared statement inside one transaction.
bool writeRows(Database& db, const std::vector<QVariantList>& rows, QString* error)
{
    QStringList names, marks;
    for (const Column& c : kColumns) {
        names << quoteIdentifier(c.tableName);
        marks << QStringLiteral("?");
    }
    const QByteArray sql = QStringLiteral("INSERT INTO data (%1) VALUES (%2)")
                               .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')))
                               .toUtf8();
    Transaction t(db, Transaction::Lock::Immediate);
    if (!t.begun()) {
        *error = t.error();
        return false;
    }
    if (db.engine() == Database::Engine::Server) {
        // A round trip per row would make a full sheet take many seconds: the
        // rows go in statements of a few hundred rows each.
        constexpr size_t kRowsPerStatement = 500;
        for (size_t first = 0; first < rows.size(); first += kRowsPerStatement) {
            const size_t end = std::min(rows.size(), first + kRowsPerStatement);
            QStringList tuples;
            QVariantList params;
            params.reserve(qsizetype((end - first) * kColumnCount));
            const QString tuple = QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
            for (size_t r = first; r < end; ++r) {
                tuples << tuple;
                params << rows[r];
            }
            const Statement insert{QStringLiteral("INSERT INTO data (%1) VALUES %2")
                                       .arg(names.join(QLatin1Char(',')), tuples.join(QLatin1Char(','))),
                                   params};
            if (!db.exec(insert, error))
                return false;
        }
        return t.commit(error);
    }
    sqlite3* h = db.handle();
    const PreparedStatement prepared(h, sql, error);
    if (!prepared.isValid())
        return false;
    sqlite3_stmt* st = prepared.get();
    for (const QVariantList& row : rows) {
        for (int i = 0; i < kColumnCount; ++i) {
            const QVariant& v = row.at(i);
            int rc;
            if (v.isNull()) {
                rc = sqlite3_bind_null(st, i + 1);
            } else if (v.typeId() == QMetaType::Double) {
                rc = sqlite3_bind_double(st, i + 1, v.toDouble());
            } else {
                const QByteArray text = v.toString().toUtf8();
                rc = sqlite3_bind_text(st, i + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            }
            if (rc != SQLITE_OK) {
                *error = QString::fromUtf8(sqlite3_errmsg(h));
                return false;
            }
        }
        if (sqlite3_step(st) != SQLITE_DONE) {
            *error = QString::fromUtf8(sqlite3_errmsg(h));
            return false;
        }
        sqlite3_reset(st);
    }
    return t.commit(error);
}

// The text on one line: a cell's text or a file's name may hold line breaks,
// and the message names it on one line.
QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QStringLiteral("↵"));
    for (QChar& ch : text) {
        const char16_t c = ch.unicode();
        if (c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x85 || c == 0x2028 || c == 0x2029)
            ch = QChar(u'↵');
        else if (c < 0x20 || c == 0x7F)
            ch = QChar(u' ');
    }
    return text;
}

bool sameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

} // namespace

const QStringList& sheetColumns()
{
    static const QStringList list = [] {
        QStringList l;
        for (const Column& c : kColumns)
            l << QString(c.sheetName);
        return l;
    }();
    return list;
}

const QStringList& tableColumns()
{
    static const QStringList list = [] {
        QStringList l;
        for (const Column& c : kColumns)
            l << QString(c.tableName);
        return l;
    }();
    return list;
}

bool checkedRows(const workbook::Book& book, std::vector<QVariantList>* rows, QString* error)
{
    rows->clear();
    const workbook::Sheet* sheet =
        book.format == workbook::Book::Format::Csv ? &book.sheets.first() : book.sheet(kSheet);
    if (!sheet) {
        QStringList names;
        for (const workbook::Sheet& s : book.sheets)
            names << s.name;
        *error = QStringLiteral("工作簿中没有名为 %1 的工作表（有：%2）")
                     .arg(kSheet, names.isEmpty() ? QStringLiteral("无") : names.join(QStringLiteral("、")));
        return false;
    }
    const QString name = sheet->name;
    // The column names stand in the first row that holds anything.
    if (sheet->titleRow < 0) {
        *error =
            QStringLiteral("工作表 %1 是空的：第 1 行应是列名 %2").arg(name, sheetColumns().join(QStringLiteral(", ")));
        return false;
    }
    const int headerRow = sheet->titleRow;
    // Columns by the names in the first row, as places in the rows' kept cells.
    int at[kColumnCount];
    std::fill(std::begin(at), std::end(at), -1);
    for (const workbook::Sheet::Title& title : sheet->titles) {
        for (int i = 0; i < kColumnCount; ++i) {
            if (title.text.compare(kColumns[i].sheetName, Qt::CaseInsensitive) != 0)
                continue;
            if (at[i] >= 0) {
                *error = QStringLiteral("工作表 %1 第 %2 行有两个名为 %3 的列")
                             .arg(name)
                             .arg(headerRow + 1)
                             .arg(kColumns[i].sheetName);
                return false;
            }
            at[i] = int(sheet->columns.indexOf(title.column));
        }
    }
    QStringList missing;
    for (int i = 0; i < kColumnCount; ++i)
        if (at[i] < 0)
            missing << QString(kColumns[i].sheetName);
    if (!missing.isEmpty()) {
        *error = QStringLiteral("工作表 %1 第 %2 行缺少列名：%3")
                     .arg(name)
                     .arg(headerRow + 1)
                     .arg(missing.join(QStringLiteral("、")));
        return false;
    }
    if (sheet->tooManyRows || sheet->rows.size() > kMaxRows) {
        *error = QStringLiteral("工作表 %1 的数据多于 %2 行，一次最多导入 %2 行，请分成几个工作簿导入")
                     .arg(name)
                     .arg(kMaxRows);
        return false;
    }
    // Only rows with a value in a named column were kept.
    rows->reserve(size_t(sheet->rows.size()));
    for (const workbook::Sheet::Row& r : sheet->rows) {
        QVariantList values;
        values.reserve(kColumnCount);
        for (int i = 0; i < kColumnCount; ++i) {
            const Cell& cell = r.cells.at(at[i]);
            const std::optional<QVariant> v = valueOf(
                cell, kColumns[i], [&] { return place(name, r.row, kColumns[i]); }, error);
            if (!v) {
                rows->clear();
                return false;
            }
            values.append(*v);
        }
        if (isTextEmpty(values.at(kNameInitials)))
            values[kNameInitials] = PinyinInitials(values.at(kName).toString());
        if (isTextEmpty(values.at(kModelInitials)))
            values[kModelInitials] = PinyinInitials(values.at(kModel).toString());
        rows->push_back(std::move(values));
    }
    return true;
}

workbook::Selection selection()
{
    return {kSheet, sheetColumns(), kMaxRows};
}

namespace {

Result importInto(const QString& workbookPath, const QString& databasePath, Tdmfm* open, const Runner& readAside)
{
    Result result;
    // A shop on a server is named as the import window shows it (or by what names it).
    const bool throughOpen = open && open->db().isOpen() &&
                             (open->location().isServer() ? databasePath == open->location().describe() ||
                                                                databasePath == open->location().target()
                                                          : sameFile(open->path(), databasePath));
    Database own;
    Database* db = throughOpen ? &open->db() : &own;
    if (!throughOpen) {
        if (!QFileInfo(databasePath).isFile()) {
            result.outcome = Outcome::ConnectFailed;
            result.detail = QStringLiteral("数据库文件 %1 不存在").arg(databasePath);
            return result;
        }
        if (!own.open(databasePath, false, &result.detail)) {
            result.outcome = Outcome::ConnectFailed;
            return result;
        }
    }
    // The checks a backup must pass before it is restored: rows are only
    // added to a database the program can go on working with. (A server's
    // shop was checked when the program opened it.)
    const QStringList problems = db->engine() == Database::Engine::Server ? QStringList() : schema::check(*db);
    if (!problems.isEmpty()) {
        result.outcome = Outcome::ConnectFailed;
        result.detail = problems.join(QStringLiteral("; "));
        return result;
    }
    std::vector<QVariantList> rows;
    bool checked = false;
    const auto read = [&] {
        workbook::Book book;
        checked = workbook::read(workbookPath, selection(), &book, &result.detail) &&
                  checkedRows(book, &rows, &result.detail);
        // The cells are freed here, before the write.
    };
    if (!readAside) {
        read();
    } else if (!readAside(read)) {
        result.outcome = Outcome::Cancelled;
        return result;
    }
    if (!checked)
        return result;
    if (!writeRows(*db, rows, &result.detail))
        return result;
    // Written through the open connection, the commit published the rows to
    // its stock table.
    result.outcome = Outcome::Imported;
    result.rows = int(rows.size());
    result.intoOpenDatabase = throughOpen;
    return result;
}

} // namespace

Result run(const QString& workbookPath, const QString& databasePath, Tdmfm* open, const Runner& readAside)
{
    Result result = importInto(workbookPath, databasePath, open, readAside);
    result.detail = oneLine(result.detail);
    return result;
}

} // namespace stockimport
