#include "store/memtable.h"

#include "store/database.h"
#include "store/likepattern.h"

#include <sqlite3.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Set on a kind byte when the value's LIKE text is held in Column::likeText.
constexpr quint8 kLikeTextElsewhere = 0x80;
constexpr quint8 kKindMask = 0x7f;

inline quint64 span(quint64 offset, quint64 length)
{
    return (offset << 32) | length;
}
inline std::string_view spanView(const std::string& buffer, quint64 s)
{
    return std::string_view(buffer.data() + (s >> 32), size_t(s & 0xffffffffu));
}

int kindRank(MemTable::Kind k)
{
    switch (k) {
    case MemTable::Kind::Null:
        return 0;
    case MemTable::Kind::Integer:
    case MemTable::Kind::Real:
        return 1;
    case MemTable::Kind::Text:
        return 2;
    case MemTable::Kind::Blob:
        return 3;
    }
    return 0;
}

QString engineText(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

} // namespace

int MemTable::collateTexts(std::string_view a, std::string_view b, bool nocase)
{
    const size_t n = std::min(a.size(), b.size());
    if (!nocase) {
        const int r = n ? std::memcmp(a.data(), b.data(), n) : 0;
        return r != 0 ? r : (a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0);
    }
    // NOCASE folds ASCII letters and, like the engine, stops at a NUL in the first text.
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    for (size_t i = 0; i < n; ++i) {
        if (x[i] == 0 || foldAscii(x[i]) != foldAscii(y[i]))
            return int(foldAscii(x[i])) - int(foldAscii(y[i]));
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// One prepared statement, finalised on every path.
struct MemTable::Stmt
{
    sqlite3* db = nullptr;
    sqlite3_stmt* st = nullptr;

    Stmt(sqlite3* handle, const QString& sql, QString* error)
        : db(handle)
    {
        const QByteArray text = sql.toUtf8();
        if (!db) {
            *error = QStringLiteral("Database is not open");
        } else if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK) {
            *error = engineText(db);
            sqlite3_finalize(st);
            st = nullptr;
        }
    }
    ~Stmt() { sqlite3_finalize(st); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
};

MemTable::MemTable(Database& db, QString table, QStringList likeColumns, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_table(std::move(table))
    , m_likeNames(std::move(likeColumns))
{
}

MemTable::~MemTable() = default;

void MemTable::clear()
{
    m_names.clear();
    m_cols.clear();
    m_rowIds.clear();
    m_live.clear();
    m_byRowId.clear();
    m_loaded = false;
}

bool MemTable::currentDataVersion(qint64* out, QString* error) const
{
    Stmt st(m_db.handle(), QStringLiteral("PRAGMA data_version"), error);
    if (!st.st)
        return false;
    if (sqlite3_step(st.st) != SQLITE_ROW) {
        *error = engineText(st.db);
        return false;
    }
    *out = sqlite3_column_int64(st.st, 0);
    return true;
}

bool MemTable::load(QString* error)
{
    clear();
    ++m_version;
    ++m_loadCount;
    sqlite3* db = m_db.handle();
    Stmt st(db, QStringLiteral("select rowid, * from %1 order by rowid").arg(quoteIdentifier(m_table)), error);
    bool ok = st.st != nullptr;
    // Read the version first: a write that lands during the read is seen next time.
    if (ok)
        ok = currentDataVersion(&m_dataVersion, error);
    if (ok) {
        const int n = sqlite3_column_count(st.st);
        const QByteArray tableName = m_table.toUtf8();
        m_cols.resize(size_t(n - 1));
        for (int i = 1; i < n; ++i) {
            Column& c = m_cols[size_t(i - 1)];
            c.name = QString::fromUtf8(sqlite3_column_name(st.st, i));
            m_names << c.name;
            c.searched = m_likeNames.contains(c.name, Qt::CaseInsensitive);
            const char* collation = nullptr;
            if (sqlite3_table_column_metadata(db, nullptr, tableName.constData(), c.name.toUtf8().constData(), nullptr,
                                              &collation, nullptr, nullptr, nullptr) == SQLITE_OK &&
                collation)
                c.nocase = qstricmp(collation, "NOCASE") == 0;
        }
        for (Column& c : m_cols)
            c.shared = std::make_unique<std::unordered_set<quint64, Column::SpanHash, Column::SpanEqual>>(
                0, Column::SpanHash{&c.bytes}, Column::SpanEqual{&c.bytes});
        int rc;
        while ((rc = sqlite3_step(st.st)) == SQLITE_ROW)
            readInto(st, slotCount(), true);
        for (Column& c : m_cols)
            c.shared.reset();
        if (rc != SQLITE_DONE) {
            *error = engineText(db);
            ok = false;
        }
        // Growth by doubling leaves up to half of each buffer unused.
        for (Column& c : m_cols) {
            c.kinds.shrink_to_fit();
            c.cells.shrink_to_fit();
            c.bytes.shrink_to_fit();
            c.lower.shrink_to_fit();
        }
        m_rowIds.shrink_to_fit();
        m_live.shrink_to_fit();
        m_byRowId.shrink_to_fit();
    }
    if (!ok)
        clear();
    m_loaded = ok;
    m_loadedHandle = ok ? db : nullptr;
    if (ok) {
        m_db.trackWrites(m_table);
        m_db.takeWrittenRows(m_table); // the rows read include them
    }
    // Reading every row filled the engine's page cache with pages nobody reads
    // again soon, and left freed load buffers behind: give both back, so that
    // a large table costs what its copy costs.
    sqlite3_db_release_memory(db);
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    emit reloaded();
    return ok;
}

size_t MemTable::Column::SpanHash::operator()(quint64 s) const
{
    return std::hash<std::string_view>{}(spanView(*bytes, s));
}

bool MemTable::Column::SpanEqual::operator()(quint64 a, quint64 b) const
{
    return spanView(*bytes, a) == spanView(*bytes, b);
}

quint64 MemTable::appendText(Column& col, const char* data, size_t n)
{
    // Texts longer than this are rarely repeated; hashing them would only cost time.
    constexpr size_t kLongestShared = 64;
    const quint64 offset = col.bytes.size();
    col.bytes.append(data, n);
    const quint64 s = span(offset, n);
    if (col.shared && n <= kLongestShared) {
        const auto [it, inserted] = col.shared->insert(s);
        if (!inserted) {
            col.bytes.resize(offset); // the same text is stored already: share it
            return *it;
        }
    }
    if (col.searched) {
        // Same offsets as `bytes`: a shared span is shared in both.
        col.lower.resize(col.bytes.size());
        for (size_t i = offset; i < col.bytes.size(); ++i)
            col.lower[i] = asciiLower(col.bytes[i]);
    }
    return s;
}

void MemTable::setCell(Column& col, int pos, Stmt& st, int index, bool append)
{
    const int type = sqlite3_column_type(st.st, index);
    if (col.kinds.empty()) {
        if (type == SQLITE_NULL)
            return; // the column stays all NULL
        col.kinds.assign(size_t(slotCount()), quint8(Kind::Null));
        col.cells.assign(size_t(slotCount()), 0);
        append = false;
    } else if (append) {
        col.kinds.push_back(quint8(Kind::Null));
        col.cells.push_back(0);
    }
    const size_t p = size_t(pos);
    const quint8 oldByte = col.kinds[p];
    const Kind oldKind = Kind(oldByte & kKindMask);
    if (oldByte & kLikeTextElsewhere)
        col.likeText.erase(pos);
    Kind kind = Kind::Null;
    quint64 cell = 0;
    switch (type) {
    case SQLITE_INTEGER:
        kind = Kind::Integer;
        cell = quint64(sqlite3_column_int64(st.st, index));
        break;
    case SQLITE_FLOAT:
        kind = Kind::Real;
        cell = std::bit_cast<quint64>(sqlite3_column_double(st.st, index));
        break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        kind = type == SQLITE_TEXT ? Kind::Text : Kind::Blob;
        // Texts and blobs both as the engine's text of them, as a row set reads them.
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(st.st, index));
        const size_t n = size_t(sqlite3_column_bytes(st.st, index));
        const std::string_view bytes(data ? data : "", data ? n : 0);
        if ((oldKind == Kind::Text || oldKind == Kind::Blob) && !(oldByte & kLikeTextElsewhere) &&
            spanView(col.bytes, col.cells[p]) == bytes)
            cell = col.cells[p]; // unchanged text: keep it where it is
        else
            cell = appendText(col, bytes.data(), bytes.size());
        break;
    }
    default:
        break;
    }
    quint8 kindByte = quint8(kind);
    if (col.searched && kind != Kind::Null) {
        if (kind == Kind::Integer || kind == Kind::Real) {
            // LIKE sees a number as the engine renders it.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st.st, index));
            const size_t n = size_t(sqlite3_column_bytes(st.st, index));
            col.likeText[pos] = appendText(col, text ? text : "", text ? n : 0);
            kindByte |= kLikeTextElsewhere;
        } else if (!isRegularUtf8(spanView(col.bytes, cell))) {
            col.likeText[pos] = cell;
            kindByte |= kLikeTextElsewhere;
        }
    }
    col.kinds[p] = kindByte;
    col.cells[p] = cell;
}

bool MemTable::readInto(Stmt& st, int pos, bool append)
{
    if (append) {
        m_rowIds.push_back(sqlite3_column_int64(st.st, 0));
        m_live.push_back(1);
        const qint64 id = m_rowIds.back();
        if (m_byRowId.empty() || m_rowIds[size_t(m_byRowId.back())] < id) {
            m_byRowId.push_back(pos);
        } else {
            const auto at = std::lower_bound(m_byRowId.begin(), m_byRowId.end(), id,
                                             [this](int p, qint64 v) { return m_rowIds[size_t(p)] < v; });
            m_byRowId.insert(at, pos);
        }
    }
    for (size_t c = 0; c < m_cols.size(); ++c)
        setCell(m_cols[c], pos, st, int(c) + 1, append);
    return true;
}

bool MemTable::refreshRow(qint64 rowId, QString* error)
{
    if (!m_loaded || m_loadedHandle != m_db.handle())
        return load(error);
    Stmt st(m_db.handle(), QStringLiteral("select rowid, * from %1 where rowid=?").arg(quoteIdentifier(m_table)),
            error);
    if (!st.st)
        return false;
    if (sqlite3_column_count(st.st) != int(m_cols.size()) + 1)
        return load(error); // the table's columns changed
    sqlite3_bind_int64(st.st, 1, rowId);
    const int rc = sqlite3_step(st.st);
    if (rc == SQLITE_DONE) {
        removeRow(rowId);
        return true;
    }
    if (rc != SQLITE_ROW) {
        *error = engineText(st.db);
        return false;
    }
    ++m_version;
    const int pos = position(rowId);
    if (pos < 0) {
        const int at = slotCount();
        readInto(st, at, true);
        emit rowAppended(at);
    } else {
        emit rowAboutToChange(pos);
        readInto(st, pos, false);
        emit rowChanged(pos);
    }
    return true;
}

bool MemTable::removeRow(qint64 rowId)
{
    const int pos = position(rowId);
    if (pos < 0)
        return false;
    ++m_version;
    m_live[size_t(pos)] = 0;
    const auto at = std::lower_bound(m_byRowId.begin(), m_byRowId.end(), rowId,
                                     [this](int p, qint64 v) { return m_rowIds[size_t(p)] < v; });
    m_byRowId.erase(at);
    emit rowRemoved(pos);
    return true;
}

bool MemTable::reloadIfChangedElsewhere(QString* error, bool* reloaded)
{
    if (reloaded)
        *reloaded = false;
    // Rows this connection wrote by statements that did not say so.
    std::vector<qint64> written = m_db.takeWrittenRows(m_table);
    if (m_loaded && m_loadedHandle == m_db.handle() && !written.empty()) {
        std::sort(written.begin(), written.end());
        written.erase(std::unique(written.begin(), written.end()), written.end());
        for (const qint64 id : written)
            if (!refreshRow(id, error))
                return false;
    }
    if (m_loaded && m_loadedHandle == m_db.handle()) {
        qint64 now = 0;
        if (!currentDataVersion(&now, error))
            return false;
        if (now == m_dataVersion)
            return true;
    }
    if (reloaded)
        *reloaded = true;
    return load(error);
}

int MemTable::columnIndex(const QString& name) const
{
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

int MemTable::position(qint64 rowId) const
{
    const auto at = std::lower_bound(m_byRowId.begin(), m_byRowId.end(), rowId,
                                     [this](int p, qint64 v) { return m_rowIds[size_t(p)] < v; });
    return at != m_byRowId.end() && m_rowIds[size_t(*at)] == rowId ? *at : -1;
}

MemTable::Kind MemTable::kind(int pos, int column) const
{
    const Column& c = m_cols[size_t(column)];
    return c.kinds.empty() ? Kind::Null : Kind(c.kinds[size_t(pos)] & kKindMask);
}

double MemTable::number(int pos, int column) const
{
    const Column& c = m_cols[size_t(column)];
    switch (kind(pos, column)) {
    case Kind::Real:
        return std::bit_cast<double>(c.cells[size_t(pos)]);
    case Kind::Integer:
        return double(qint64(c.cells[size_t(pos)]));
    default:
        return 0;
    }
}

qint64 MemTable::integer(int pos, int column) const
{
    const Column& c = m_cols[size_t(column)];
    switch (kind(pos, column)) {
    case Kind::Real:
        return qint64(std::bit_cast<double>(c.cells[size_t(pos)]));
    case Kind::Integer:
        return qint64(c.cells[size_t(pos)]);
    default:
        return 0;
    }
}

std::string_view MemTable::utf8(int pos, int column) const
{
    const Kind k = kind(pos, column);
    if (k != Kind::Text && k != Kind::Blob)
        return {};
    const Column& c = m_cols[size_t(column)];
    return spanView(c.bytes, c.cells[size_t(pos)]);
}

QVariant MemTable::value(int pos, int column) const
{
    switch (kind(pos, column)) {
    case Kind::Null:
        return QVariant();
    case Kind::Integer:
        return QVariant(integer(pos, column));
    case Kind::Real:
        return QVariant(number(pos, column));
    case Kind::Text:
    case Kind::Blob: {
        const std::string_view s = utf8(pos, column);
        return QVariant(QString::fromUtf8(s.data(), qsizetype(s.size())));
    }
    }
    return QVariant();
}

bool MemTable::like(int pos, int column, const LikePattern& pattern) const
{
    const Column& c = m_cols[size_t(column)];
    if (c.kinds.empty())
        return false;
    const quint8 byte = c.kinds[size_t(pos)];
    const Kind k = Kind(byte & kKindMask);
    if (k == Kind::Null)
        return false;
    if (!c.searched) {
        // Only texts can be matched without the engine's rendering of numbers.
        Q_ASSERT(k == Kind::Text || k == Kind::Blob);
        return pattern.matchesRaw(spanView(c.bytes, c.cells[size_t(pos)]));
    }
    if (!(byte & kLikeTextElsewhere)) {
        const quint64 s = c.cells[size_t(pos)];
        return pattern.isRegular() ? pattern.matchesLower(spanView(c.lower, s))
                                   : pattern.matchesRaw(spanView(c.bytes, s));
    }
    const quint64 s = c.likeText.at(pos);
    if ((k == Kind::Integer || k == Kind::Real) && pattern.isRegular())
        return pattern.matchesLower(spanView(c.lower, s));
    return pattern.matchesRaw(spanView(c.bytes, s));
}

namespace {

// Whether `needle` (at least one byte) occurs in the m bytes at h.
inline bool containsBytes(const char* h, size_t n, std::string_view needle)
{
    const size_t m = needle.size();
    if (n < m)
        return false;
    if (m == 1)
        return std::memchr(h, needle.front(), n) != nullptr;
    if (n > 64)
        return memmem(h, n, needle.data(), m) != nullptr;
    // Short values (initials, codes): a plain loop beats a library call.
    // First and last byte before the rest: codes share their first digits.
    const char first = needle.front();
    const char last = needle.back();
    const char* rest = needle.data() + 1;
    for (const char* q = h; q + m <= h + n; ++q)
        if (*q == first && q[m - 1] == last && std::memcmp(q + 1, rest, m - 2) == 0)
            return true;
    return false;
}

} // namespace

void MemTable::filterLike(std::vector<int>& positions, int column, const LikePattern& pattern) const
{
    const Column& c = m_cols[size_t(column)];
    if (c.kinds.empty()) {
        positions.clear();
        return;
    }
    std::string_view literal;
    size_t out = 0;
    if (!c.searched || !pattern.isContains(&literal)) {
        for (const int p : positions) {
            positions[out] = p;
            out += like(p, column, pattern) ? 1 : 0;
        }
        positions.resize(out);
        return;
    }
    const quint8* kinds = c.kinds.data();
    const quint64* cells = c.cells.data();
    const char* lower = c.lower.data();
    for (const int p : positions) {
        const quint8 k = kinds[p];
        bool keep;
        if (k == quint8(Kind::Text) || k == quint8(Kind::Blob)) {
            const quint64 s = cells[p];
            keep = containsBytes(lower + (s >> 32), size_t(s & 0xffffffffu), literal);
        } else {
            keep = (k & kLikeTextElsewhere) && like(p, column, pattern);
        }
        positions[out] = p;
        out += keep ? 1 : 0;
    }
    positions.resize(out);
}

int MemTable::compareText(int pos, int column, std::string_view text, bool* isNull) const
{
    *isNull = false;
    switch (kind(pos, column)) {
    case Kind::Null:
        *isNull = true;
        return 0;
    case Kind::Integer:
    case Kind::Real:
        return -1; // numbers sort before texts
    case Kind::Text:
        return collateTexts(utf8(pos, column), text, m_cols[size_t(column)].nocase);
    case Kind::Blob:
        return 1; // blobs sort after texts
    }
    return 0;
}

int MemTable::compareCells(int posA, int posB, int column) const
{
    const Kind ka = kind(posA, column), kb = kind(posB, column);
    const int ra = kindRank(ka), rb = kindRank(kb);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case 1: {
        if (ka == Kind::Integer && kb == Kind::Integer) {
            const qint64 x = integer(posA, column), y = integer(posB, column);
            return x < y ? -1 : x > y ? 1 : 0;
        }
        const double x = number(posA, column), y = number(posB, column);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case 2:
        return collateTexts(utf8(posA, column), utf8(posB, column), m_cols[size_t(column)].nocase);
    case 3:
        return collateTexts(utf8(posA, column), utf8(posB, column), false);
    default:
        return 0;
    }
}

size_t MemTable::memoryBytes() const
{
    size_t total = m_rowIds.capacity() * sizeof(qint64) + m_live.capacity() + m_byRowId.capacity() * sizeof(int);
    for (const Column& c : m_cols) {
        total += c.kinds.capacity() + c.cells.capacity() * sizeof(quint64) + c.bytes.capacity() + c.lower.capacity();
        total += c.likeText.size() * (sizeof(int) + sizeof(quint64) + 2 * sizeof(void*));
    }
    return total;
}
