#include "store/stockimport.h"

#include "core/blanks.h"
#include "core/numbers.h"
#include "store/columns.h"
#include "store/database.h"
#include "store/memtable.h"
#include "store/pinyin/pinyininitials.h"
#include "store/tdmfm.h"
#include "store/workbook.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>

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
            text = trimBlanks(cell.text);
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
        if (text.size() > kMaxTextLength) {
            *error =
                QStringLiteral("%1的文字有 %2 个字符，最多 %3 个").arg(where()).arg(text.size()).arg(kMaxTextLength);
            return std::nullopt;
        }
        return QVariant(text);
    }
    case Kind::Number: {
        std::optional<long double> value;
        QString bad;
        if (cell.kind == Cell::Kind::Empty)
            return QVariant();
        if (cell.kind == Cell::Kind::Number) {
            // Held to the 15 significant digits every amount of the program has
            // (a saved 0.1 * 3 is 0.30000000000000004); whole numbers are already.
            const double v = cell.number;
            if (v == std::floor(v) && std::fabs(v) < 1e15) {
                value = v;
            } else {
                bad = num::general(static_cast<long double>(v));
                value = num::toDecimal(bad);
            }
        } else if (cell.kind == Cell::Kind::Text) {
            if (trimBlanks(cell.text).isEmpty())
                return QVariant();
            value = num::toDecimal(cell.text);
            bad = cell.text;
        } else {
            bad = num::dateText(cell.date);
        }
        if (!value) {
            *error = QStringLiteral("%1的“%2”不是数字").arg(where(), shown(bad));
            return std::nullopt;
        }
        if (!num::isStorableResult(*value)) {
            *error = QStringLiteral("%1的数字 %2 超出范围").arg(where(), num::general(*value));
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
            const QString text = trimBlanks(cell.text);
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
bool writeRows(Database& db, const std::vector<QVariantList>& rows, std::vector<qint64>* ids, QString* error)
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
    sqlite3* h = db.handle();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), int(sql.size()), &st, nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(h));
        return false;
    }
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owner(st, sqlite3_finalize);
    ids->reserve(rows.size());
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
        ids->push_back(sqlite3_last_insert_rowid(h));
        sqlite3_reset(st);
    }
    return t.commit(error);
}

// The columns of `data` the import fills must all be there.
bool hasStockTable(Database& db, QString* error)
{
    QueryResult r;
    if (!db.query(Statement{QStringLiteral("PRAGMA table_info(data)"), {}}, &r, error))
        return false;
    QSet<QString> present;
    const int nameAt = int(r.columns.indexOf(QStringLiteral("name")));
    for (const auto& row : std::as_const(r.rows))
        present.insert(row.value(nameAt).toString().toLower());
    if (present.isEmpty()) {
        *error = QStringLiteral("数据库中没有库存表 data");
        return false;
    }
    QStringList missing;
    for (const Column& c : kColumns)
        if (!present.contains(QString(c.tableName)))
            missing << QString(c.tableName);
    if (!missing.isEmpty()) {
        *error = QStringLiteral("数据库的库存表 data 缺少列：%1").arg(missing.join(QStringLiteral("、")));
        return false;
    }
    return true;
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
    int headerRow = 0;
    const auto rowIsEmpty = [&](int r) {
        return std::all_of(sheet->rows.at(r).begin(), sheet->rows.at(r).end(),
                           [](const Cell& c) { return c.isEmpty(); });
    };
    while (headerRow < sheet->rows.size() && rowIsEmpty(headerRow))
        ++headerRow;
    if (headerRow == sheet->rows.size()) {
        *error =
            QStringLiteral("工作表 %1 是空的：第 1 行应是列名 %2").arg(name, sheetColumns().join(QStringLiteral(", ")));
        return false;
    }
    // Columns by the names in the first row.
    int at[kColumnCount];
    std::fill(std::begin(at), std::end(at), -1);
    const QVector<Cell>& header = sheet->rows.at(headerRow);
    for (int col = 0; col < header.size(); ++col) {
        if (header.at(col).kind != Cell::Kind::Text)
            continue;
        const QString title = trimBlanks(header.at(col).text);
        for (int i = 0; i < kColumnCount; ++i) {
            if (title.compare(kColumns[i].sheetName, Qt::CaseInsensitive) != 0)
                continue;
            if (at[i] >= 0) {
                *error = QStringLiteral("工作表 %1 第 %2 行有两个名为 %3 的列")
                             .arg(name)
                             .arg(headerRow + 1)
                             .arg(kColumns[i].sheetName);
                return false;
            }
            at[i] = col;
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
    int filled = 0;
    for (int r = headerRow + 1; r < sheet->rows.size(); ++r) {
        bool any = false;
        for (int i = 0; i < kColumnCount && !any; ++i)
            any = !sheet->cell(r, at[i]).isEmpty();
        if (any)
            ++filled;
    }
    if (filled > kMaxRows) {
        *error = QStringLiteral("工作表 %1 有 %2 行数据，一次最多导入 %3 行，请分成几个工作簿导入")
                     .arg(name)
                     .arg(filled)
                     .arg(kMaxRows);
        return false;
    }
    rows->reserve(size_t(filled));
    for (int r = headerRow + 1; r < sheet->rows.size(); ++r) {
        QVariantList values;
        values.reserve(kColumnCount);
        bool any = false;
        for (int i = 0; i < kColumnCount; ++i) {
            const Cell& cell = sheet->cell(r, at[i]);
            any = any || !cell.isEmpty();
            const std::optional<QVariant> v = valueOf(
                cell, kColumns[i], [&] { return place(name, r, kColumns[i]); }, error);
            if (!v) {
                rows->clear();
                return false;
            }
            values.append(*v);
        }
        if (!any)
            continue;
        if (isTextEmpty(values.at(kNameInitials)))
            values[kNameInitials] = PinyinInitials(values.at(kName).toString());
        if (isTextEmpty(values.at(kModelInitials)))
            values[kModelInitials] = PinyinInitials(values.at(kModel).toString());
        rows->push_back(std::move(values));
    }
    return true;
}

Result run(const QString& workbookPath, const QString& databasePath, Tdmfm* open)
{
    Result result;
    const bool throughOpen = open && open->db().isOpen() && sameFile(open->path(), databasePath);
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
    if (!hasStockTable(*db, &result.detail))
        return result;
    workbook::Book book;
    if (!workbook::read(workbookPath, &book, &result.detail))
        return result;
    std::vector<QVariantList> rows;
    if (!checkedRows(book, &rows, &result.detail))
        return result;
    book = workbook::Book(); // free the cells before the write
    std::vector<qint64> ids;
    if (!writeRows(*db, rows, &ids, &result.detail))
        return result;
    if (throughOpen && open->stockTable().isLoaded()) {
        // Many rows are read faster at once than one by one.
        constexpr size_t kReadOneByOne = 64;
        QString error;
        if (ids.size() <= kReadOneByOne)
            open->stockRowsWritten(QList<qint64>(ids.begin(), ids.end()));
        else if (!open->stockTable().load(&error))
            Tdmfm::report(error);
    }
    result.outcome = Outcome::Imported;
    result.rows = int(rows.size());
    result.intoOpenDatabase = throughOpen;
    return result;
}

} // namespace stockimport
