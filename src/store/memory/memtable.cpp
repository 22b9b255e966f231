#include "store/memory/memtable.h"

#include "store/db/database.h"
#include "store/db/preparedstatement.h"
#include "store/memory/likepattern.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Set on a kind byte when the value's LIKE text is held in Column::likeText.
constexpr quint8 kLikeTextElsewhere = 0x80;
constexpr quint8 kKindMask = 0x7f;
// A column with more entries than this, more than one for every two rows,
// keeps one entry per row: numbering them would cost more than it saves.
constexpr size_t kDirectAbove = 65536;
// Bytes the lower-cased copy holds beyond its last text.
constexpr size_t kLowerPadding = 16;
// Texts longer than this are rarely repeated; sharing them would only cost time.
constexpr size_t kLongestShared = 64;

inline quint64 span(quint64 offset, quint64 length)
{
    return (offset << 32) | length;
}
inline std::string_view spanView(const std::string& buffer, quint64 s)
{
    return std::string_view(buffer.data() + (s >> 32), size_t(s & 0xffffffffu));
}

inline quint32 mixHash(quint64 x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    x ^= x >> 33;
    return quint32(x);
}
inline quint32 hashNumber(quint64 cell, quint8 kind)
{
    return mixHash(cell ^ (quint64(kind) << 59));
}
inline quint32 hashText(std::string_view t, quint8 kind)
{
    quint64 h = (quint64(t.size()) << 8 | kind) * 0x9e3779b97f4a7c15ull;
    size_t i = 0;
    for (; i + 8 <= t.size(); i += 8) {
        quint64 w;
        std::memcpy(&w, t.data() + i, 8);
        h = (h ^ w) * 0x9fb21c651e98df25ull;
        h ^= h >> 29;
    }
    if (i < t.size()) {
        quint64 w = 0;
        std::memcpy(&w, t.data() + i, t.size() - i);
        h = (h ^ w) * 0x9fb21c651e98df25ull;
    }
    return mixHash(h);
}

// A bit, of 64, for each pair of adjacent bytes of `t`.
inline quint64 pairBits(std::string_view t)
{
    quint64 bits = 0;
    for (size_t i = 1; i < t.size(); ++i) {
        const quint32 pair = quint32(quint8(t[i - 1])) << 8 | quint8(t[i]);
        bits |= quint64(1) << ((pair * 0x9e3779b1u) >> 26);
    }
    return bits;
}

QString engineText(sqlite3* db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// The current row of a statement on the file.
struct FileRow
{
    sqlite3_stmt* st;

    qint64 rowId() const { return sqlite3_column_int64(st, 0); }
    ValueKind kind(int i) const
    {
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_INTEGER:
            return ValueKind::Integer;
        case SQLITE_FLOAT:
            return ValueKind::Real;
        case SQLITE_TEXT:
            return ValueKind::Text;
        case SQLITE_BLOB:
            return ValueKind::Blob;
        default:
            return ValueKind::Null;
        }
    }
    qint64 integer(int i) const { return sqlite3_column_int64(st, i); }
    double real(int i) const { return sqlite3_column_double(st, i); }
    // Texts and blobs both as the engine's text of them, as a row set reads them.
    std::string_view text(int i) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        return data ? std::string_view(data, size_t(sqlite3_column_bytes(st, i))) : std::string_view();
    }
    // A number as the engine renders it for LIKE.
    std::string_view rendered(int i, char (&)[40]) const { return text(i); }
};

// One row of a batch read from the server.
struct ServerRow
{
    const RowBatch& batch;
    int row;

    qint64 rowId() const { return batch.integer(row, 0); }
    ValueKind kind(int i) const
    {
        switch (batch.kind(row, i)) {
        case RowBatch::Kind::Integer:
            return ValueKind::Integer;
        case RowBatch::Kind::Real:
            return ValueKind::Real;
        case RowBatch::Kind::Text:
            return ValueKind::Text;
        default:
            return ValueKind::Null;
        }
    }
    qint64 integer(int i) const { return batch.integer(row, i); }
    double real(int i) const { return batch.real(row, i); }
    std::string_view text(int i) const { return batch.text(row, i); }
    // LIKE matches a number in the file engine's text of it, here too: the
    // copy filters by the same rules whichever engine it was read from.
    std::string_view rendered(int i, char (&buffer)[40]) const
    {
        if (kind(i) == ValueKind::Integer)
            sqlite3_snprintf(int(sizeof buffer), buffer, "%lld", static_cast<long long>(integer(i)));
        else
            sqlite3_snprintf(int(sizeof buffer), buffer, "%!.15g", real(i));
        return std::string_view(buffer);
    }
};

// Rows read from the server in one batch while loading: bounded memory
// whatever the size of the table.
constexpr int kServerBatchRows = 10000;

} // namespace

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
    m_stamps.clear();
    m_byRowId.clear();
    m_loaded = false;
}

bool MemTable::currentDataVersion(qint64* out, QString* error) const
{
    PreparedStatement st(m_db.handle(), "PRAGMA data_version", error);
    if (!st.isValid())
        return false;
    if (sqlite3_step(st.get()) != SQLITE_ROW) {
        *error = st.engineError();
        return false;
    }
    *out = sqlite3_column_int64(st.get(), 0);
    return true;
}

void MemTable::beginColumns()
{
    for (Column& c : m_cols) {
        c.entryIndex = std::make_unique<Column::LoadIndex>();
        c.kinds.assign(1, quint8(Kind::Null));
        if (c.searched)
            c.pairs.assign(1, 0);
        c.cells.assign(1, 0);
    }
}

void MemTable::endLoad()
{
    for (Column& c : m_cols) {
        c.entryIndex.reset();
        c.textIndex.reset();
        c.sharedSpans = {};
    }
    // Growth by doubling leaves up to half of each buffer unused.
    for (Column& c : m_cols) {
        c.codes.shrink_to_fit();
        c.kinds.shrink_to_fit();
        c.pairs.shrink_to_fit();
        c.cells.shrink_to_fit();
        c.bytes.shrink_to_fit();
        c.lower.shrink_to_fit();
    }
    m_rowIds.shrink_to_fit();
    m_live.shrink_to_fit();
    m_byRowId.shrink_to_fit();
}

bool MemTable::load(QString* error)
{
    if (m_loading) {
        *error = QStringLiteral("The table %1 is being read").arg(m_table);
        return false;
    }
    m_loading = true;
    emit aboutToReload();
    clear();
    ++m_version;
    ++m_loadCount;
    m_loadStamp = m_version;
    const bool ok = m_db.engine() == Database::Engine::Server ? loadFromServer(error) : loadFromFile(error);
    if (!ok)
        clear();
    m_loaded = ok;
    m_loadedConnection = ok ? m_db.connectionSerial() : 0;
    if (ok) {
        m_db.trackWrites(m_table);
        m_db.takeWrittenRows(m_table); // the rows read include them
    }
    // Reading every row filled the engine's page cache with pages nobody reads
    // again soon, and left freed load buffers behind: give both back, so that
    // a large table costs what its copy costs.
    m_db.releaseCache();
    m_loading = false;
    emit reloaded();
    return ok;
}

bool MemTable::beginLoadElsewhere(QString* error)
{
    if (m_loading) {
        *error = QStringLiteral("The table %1 is being read").arg(m_table);
        return false;
    }
    qint64 version = -1;
    if (m_db.engine() == Database::Engine::File && !currentDataVersion(&version, error))
        return false;
    m_elsewhere = true;
    m_elsewhereVersion = version;
    m_elsewhereConnection = m_db.connectionSerial();
    m_noted.clear();
    return true;
}

void MemTable::noteWritten(const std::vector<qint64>& rows)
{
    if (m_elsewhere)
        m_noted.insert(m_noted.end(), rows.begin(), rows.end());
}

bool MemTable::adopt(MemTable& loaded, QString* error)
{
    m_elsewhere = false;
    emit aboutToReload();
    clear();
    ++m_version;
    ++m_loadCount;
    m_loadStamp = m_version;
    m_names = std::move(loaded.m_names);
    m_cols = std::move(loaded.m_cols);
    m_source = std::move(loaded.m_source);
    m_rowIds = std::move(loaded.m_rowIds);
    m_live = std::move(loaded.m_live);
    m_byRowId = std::move(loaded.m_byRowId);
    loaded.clear();
    m_loaded = true;
    m_dataVersion = m_elsewhereVersion;
    m_loadedConnection = m_elsewhereConnection;
    // The rows written since the other connection began may be missing from
    // its rows or older there: read again here, before anyone reads the table.
    std::vector<qint64> noted = std::move(m_noted);
    m_noted.clear();
    std::sort(noted.begin(), noted.end());
    noted.erase(std::unique(noted.begin(), noted.end()), noted.end());
    bool ok = true;
    if (m_loadedConnection == m_db.connectionSerial())
        for (const qint64 id : noted)
            if (!(ok = refreshRow(id, error)))
                break;
    emit reloaded();
    return ok;
}

void MemTable::abandonLoadElsewhere()
{
    m_elsewhere = false;
    m_noted.clear();
    emit reloaded();
}

bool MemTable::changedElsewhere(bool* changed, QString* error)
{
    *changed = true;
    if (!m_loaded || m_loadedConnection != m_db.connectionSerial())
        return true;
    if (m_db.engine() == Database::Engine::Server) {
        // Every row committed is told to the connection; only a new one may have missed some.
        qint64 unused = 0;
        if (!m_db.dataVersion(&unused, error))
            return false;
        *changed = m_loadedConnection != m_db.connectionSerial();
        return true;
    }
    qint64 now = 0;
    if (!currentDataVersion(&now, error))
        return false;
    *changed = now != m_dataVersion;
    return true;
}

bool MemTable::stopped(QString* error) const
{
    if (!m_stop || !m_stop->load(std::memory_order_relaxed))
        return false;
    *error = QStringLiteral("The read of table %1 was stopped").arg(m_table);
    return true;
}

bool MemTable::loadFromFile(QString* error)
{
    sqlite3* db = m_db.handle();
    PreparedStatement st(
        db, QStringLiteral("select rowid, * from %1 order by rowid").arg(quoteIdentifier(m_table)).toUtf8(), error);
    bool ok = st.isValid();
    // Read the version first: a write that lands during the read is seen next time.
    if (ok)
        ok = currentDataVersion(&m_dataVersion, error);
    if (!ok)
        return false;
    const int n = sqlite3_column_count(st.get());
    const QByteArray tableName = m_table.toUtf8();
    m_cols.resize(size_t(n - 1));
    m_source.clear();
    for (int i = 1; i < n; ++i) {
        Column& c = m_cols[size_t(i - 1)];
        c.name = QString::fromUtf8(sqlite3_column_name(st.get(), i));
        m_names << c.name;
        m_source.push_back(i);
        c.searched = m_likeNames.contains(c.name, Qt::CaseInsensitive);
        const char* collation = nullptr;
        if (sqlite3_table_column_metadata(db, nullptr, tableName.constData(), c.name.toUtf8().constData(), nullptr,
                                          &collation, nullptr, nullptr, nullptr) == SQLITE_OK &&
            collation)
            c.nocase = qstricmp(collation, "NOCASE") == 0;
    }
    beginColumns();
    qint64 expected = 0;
    if (m_progress) {
        // The last row identity, from the end of the table's tree: no scan.
        PreparedStatement last(db, QStringLiteral("select max(rowid) from %1").arg(quoteIdentifier(m_table)).toUtf8(),
                               error);
        if (last.isValid() && sqlite3_step(last.get()) == SQLITE_ROW)
            expected = std::max<qint64>(0, sqlite3_column_int64(last.get(), 0));
        m_progress(0, expected);
    }
    int rc;
    const FileRow row{st.get()};
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        if (stopped(error))
            return false;
        readInto(row, slotCount(), true);
        if (m_progress && slotCount() % loadProgressStep() == 0)
            m_progress(slotCount(), std::max<qint64>(expected, slotCount()));
    }
    endLoad();
    if (rc != SQLITE_DONE) {
        *error = engineText(db);
        return false;
    }
    return true;
}

bool MemTable::loadFromServer(QString* error)
{
    qint64 expected = 0;
    if (m_progress) {
        QueryResult last;
        if (!m_db.query(Statement{QStringLiteral("select max(rowid) from %1").arg(quoteIdentifier(m_table)), {}}, &last,
                        error))
            return false;
        expected = last.rows.isEmpty() ? 0 : std::max<qint64>(0, last.rows.at(0).at(0).toLongLong());
        m_progress(0, expected);
    }
    bool first = true;
    const auto take = [&](const RowBatch& batch) {
        if (first) {
            first = false;
            // The server's tables end in their `rowid`, which `*` repeats.
            for (int i = 1; i < batch.columns(); ++i) {
                const QString name = batch.columnName(i);
                if (name == QLatin1String("rowid"))
                    continue;
                Column c;
                c.name = name;
                c.searched = m_likeNames.contains(name, Qt::CaseInsensitive);
                // The file's texts compare as NOCASE; the copy keeps that rule.
                c.nocase = batch.isTextColumn(i);
                m_names << name;
                m_source.push_back(i);
                m_cols.push_back(std::move(c));
            }
            beginColumns();
        }
        for (int r = 0; r < batch.rows(); ++r) {
            if (stopped(error))
                return false;
            readInto(ServerRow{batch, r}, slotCount(), true);
            if (m_progress && slotCount() % loadProgressStep() == 0)
                m_progress(slotCount(), std::max<qint64>(expected, slotCount()));
        }
        return true;
    };
    m_source.clear();
    const bool ok = m_db.readRows(
        Statement{QStringLiteral("select rowid, * from %1 order by rowid").arg(quoteIdentifier(m_table)), {}},
        kServerBatchRows, take, error);
    endLoad();
    return ok && !stopped(error);
}

template <class Same> quint32 MemTable::Column::LoadIndex::findOrAdd(quint32 hash, quint32 fresh, Same same)
{
    if (2 * (used + 1) > cells.size()) {
        // At most half full, so that a miss ends after a few slots.
        std::vector<quint64> wider(std::max<size_t>(1024, 2 * cells.size()), 0);
        const size_t mask = wider.size() - 1;
        for (const quint64 s : cells)
            if (s) {
                size_t i = size_t(s >> 32) & mask;
                while (wider[i])
                    i = (i + 1) & mask;
                wider[i] = s;
            }
        cells = std::move(wider);
    }
    const size_t mask = cells.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const quint64 s = cells[i];
        if (s == 0) {
            cells[i] = quint64(hash) << 32 | (quint64(fresh) + 1);
            ++used;
            return fresh;
        }
        if (quint32(s >> 32) == hash && same(quint32(s) - 1))
            return quint32(s) - 1;
    }
}

void MemTable::Column::setCode(size_t pos, quint32 entry)
{
    const quint8 need = entry < 0x100 ? 1 : entry < 0x10000 ? 2 : 4;
    const auto store = [](std::vector<quint8>& to, quint8 w, size_t p, quint32 v) {
        switch (w) {
        case 1:
            to[p] = quint8(v);
            break;
        case 2: {
            const quint16 x = quint16(v);
            std::memcpy(to.data() + 2 * p, &x, 2);
            break;
        }
        default:
            std::memcpy(to.data() + 4 * p, &v, 4);
            break;
        }
    };
    if (need > width) {
        const size_t n = codes.size() / width;
        std::vector<quint8> wider(n * need);
        for (size_t p = 0; p < n; ++p)
            store(wider, need, p, code(p));
        codes = std::move(wider);
        width = need;
    }
    store(codes, width, pos, entry);
}

void MemTable::Column::makeDirect()
{
    const size_t n = width ? codes.size() / width : 0;
    std::vector<quint8> rowKinds(n);
    std::vector<quint64> rowCells(n);
    std::vector<quint64> rowPairs(pairs.empty() ? 0 : n);
    std::unordered_map<quint32, quint64> rowLike;
    for (size_t p = 0; p < n; ++p) {
        const quint32 e = code(p);
        rowKinds[p] = kinds[e];
        if (!rowPairs.empty())
            rowPairs[p] = pairs[e];
        rowCells[p] = cells[e];
        if (kinds[e] & kLikeTextElsewhere)
            rowLike[quint32(p)] = likeText.at(e);
    }
    kinds = std::move(rowKinds);
    pairs = std::move(rowPairs);
    cells = std::move(rowCells);
    likeText = std::move(rowLike);
    codes = {};
    width = 0;
    direct = true;
    if (!entryIndex)
        return;
    // Still loading: rows to come share the texts stored so far.
    entryIndex.reset();
    textIndex = std::make_unique<LoadIndex>();
    for (size_t p = 0; p < n; ++p) {
        const Kind k = Kind(kinds[p] & kKindMask);
        if (k != Kind::Text && k != Kind::Blob)
            continue;
        const std::string_view t = spanView(bytes, cells[p]);
        if (t.size() > kLongestShared)
            continue;
        const quint32 fresh = quint32(sharedSpans.size());
        if (textIndex->findOrAdd(hashText(t, 0), fresh,
                                 [&](quint32 i) { return spanView(bytes, sharedSpans[i]) == t; }) == fresh)
            sharedSpans.push_back(cells[p]);
    }
}

quint64 MemTable::appendText(Column& col, const char* data, size_t n)
{
    const std::string_view t(data, n);
    quint32 fresh = 0;
    const bool share = col.textIndex && n <= kLongestShared;
    if (share) {
        fresh = quint32(col.sharedSpans.size());
        const quint32 i = col.textIndex->findOrAdd(
            hashText(t, 0), fresh, [&](quint32 k) { return spanView(col.bytes, col.sharedSpans[k]) == t; });
        if (i != fresh)
            return col.sharedSpans[i]; // the same text is stored already: share it
    }
    const quint64 offset = col.bytes.size();
    col.bytes.append(data, n);
    const quint64 s = span(offset, n);
    if (share)
        col.sharedSpans.push_back(s);
    if (col.searched) {
        // Same offsets as `bytes`: a shared span is shared in both.
        // Zeros after the last text let a search read whole 16-byte blocks.
        col.lower.resize(col.bytes.size() + kLowerPadding);
        for (size_t i = offset; i < col.bytes.size(); ++i)
            col.lower[i] = asciiLower(col.bytes[i]);
    }
    return s;
}

template <class Row> void MemTable::setCell(Column& col, int pos, const Row& row, int index, bool append)
{
    const Kind type = row.kind(index);
    const size_t p = size_t(pos);
    if (col.direct) {
        if (append) {
            col.kinds.push_back(quint8(Kind::Null));
            col.cells.push_back(0);
            if (col.searched)
                col.pairs.push_back(0);
        }
    } else if (col.width == 0) {
        if (type == Kind::Null)
            return; // the column stays all NULL
        col.width = 1;
        col.codes.assign(size_t(slotCount()), 0); // every row so far: entry 0, NULL
    } else if (append) {
        col.codes.resize(col.codes.size() + col.width, 0);
    }
    const quint32 old = col.code(p);
    const Kind oldKind = Kind(col.kinds[old] & kKindMask);
    Kind kind = Kind::Null;
    quint64 cell = 0;
    std::string_view text;
    switch (type) {
    case Kind::Integer:
        kind = Kind::Integer;
        cell = quint64(row.integer(index));
        break;
    case Kind::Real:
        kind = Kind::Real;
        cell = std::bit_cast<quint64>(row.real(index));
        break;
    case Kind::Text:
    case Kind::Blob: {
        kind = type;
        text = row.text(index);
        if (!text.data())
            text = std::string_view("", 0);
        break;
    }
    default:
        break;
    }
    if (kind == oldKind) {
        // The value the row holds already: its entry stays.
        if (kind == Kind::Null)
            return;
        if ((kind == Kind::Integer || kind == Kind::Real) && col.cells[old] == cell)
            return;
        if ((kind == Kind::Text || kind == Kind::Blob) && spanView(col.bytes, col.cells[old]) == text)
            return;
    }
    const bool isText = kind == Kind::Text || kind == Kind::Blob;
    if (col.entryIndex && kind != Kind::Null) {
        // While loading: rows in a row often repeat a value (the lines of one
        // sale, one day's sales), so the previous row's entry is tried first.
        const quint32 last = col.lastEntry;
        const bool same = Kind(col.kinds[last] & kKindMask) == kind &&
                          (isText ? spanView(col.bytes, col.cells[last]) == text : col.cells[last] == cell);
        if (same) {
            col.setCode(p, last);
            return;
        }
    }

    quint32 entry = 0;
    bool isNew = false;
    if (col.direct) {
        if (isText)
            cell = appendText(col, text.data(), text.size());
        entry = quint32(p);
        if (col.kinds[p] & kLikeTextElsewhere)
            col.likeText.erase(entry);
        col.kinds[p] = quint8(kind);
        col.cells[p] = cell;
        isNew = true;
    } else if (kind != Kind::Null) {
        const quint32 fresh = quint32(col.kinds.size());
        entry = fresh;
        if (col.entryIndex) {
            const quint32 hash = isText ? hashText(text, quint8(kind)) : hashNumber(cell, quint8(kind));
            entry = col.entryIndex->findOrAdd(hash, fresh, [&](quint32 e) {
                return Kind(col.kinds[e] & kKindMask) == kind &&
                       (isText ? spanView(col.bytes, col.cells[e]) == text : col.cells[e] == cell);
            });
        }
        isNew = entry == fresh;
        if (isNew) {
            if (isText)
                cell = appendText(col, text.data(), text.size());
            col.kinds.push_back(quint8(kind));
            col.cells.push_back(cell);
            if (col.searched)
                col.pairs.push_back(0);
        }
    }
    if (isNew && col.searched)
        col.pairs[entry] = isText ? pairBits(spanView(col.lower, cell)) : 0;
    if (isNew && col.searched && kind != Kind::Null) {
        if (kind == Kind::Integer || kind == Kind::Real) {
            // LIKE sees a number as the engine renders it.
            char buffer[40];
            const std::string_view rendered = row.rendered(index, buffer);
            col.likeText[entry] = appendText(col, rendered.data() ? rendered.data() : "", rendered.size());
            col.kinds[entry] |= kLikeTextElsewhere;
        } else if (!isRegularUtf8(spanView(col.bytes, cell))) {
            col.likeText[entry] = cell;
            col.kinds[entry] |= kLikeTextElsewhere;
        }
    }
    if (!col.direct) {
        col.setCode(p, entry);
        col.lastEntry = entry;
        if (col.entryIndex && col.kinds.size() > kDirectAbove && col.kinds.size() > size_t(slotCount()) / 2)
            col.makeDirect();
    }
}

template <class Row> void MemTable::readInto(const Row& row, int pos, bool append)
{
    if (append) {
        m_rowIds.push_back(row.rowId());
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
    // Rows read by the load carry its stamp; rows read since, their own.
    if (m_version != m_loadStamp)
        m_stamps[pos] = m_version;
    for (size_t c = 0; c < m_cols.size(); ++c)
        setCell(m_cols[c], pos, row, m_source[c], append);
}

bool MemTable::refreshRow(qint64 rowId, QString* error)
{
    if (m_loading) {
        *error = QStringLiteral("The table %1 is being read").arg(m_table);
        return false;
    }
    if (m_elsewhere)
        m_noted.push_back(rowId);
    if (m_elsewhere && !m_loaded)
        return true; // read with the rows the load elsewhere brings
    if (!m_loaded || m_loadedConnection != m_db.connectionSerial())
        return load(error);
    if (m_db.engine() == Database::Engine::Server)
        return refreshFromServer(rowId, error);
    PreparedStatement st(m_db.handle(),
                         QStringLiteral("select rowid, * from %1 where rowid=?").arg(quoteIdentifier(m_table)).toUtf8(),
                         error);
    if (!st.isValid())
        return false;
    if (sqlite3_column_count(st.get()) != int(m_cols.size()) + 1)
        return load(error); // the table's columns changed
    sqlite3_bind_int64(st.get(), 1, rowId);
    const int rc = sqlite3_step(st.get());
    if (rc == SQLITE_DONE) {
        removeRow(rowId);
        return true;
    }
    if (rc != SQLITE_ROW) {
        *error = st.engineError();
        return false;
    }
    placeRow(FileRow{st.get()}, rowId);
    return true;
}

template <class Row> void MemTable::placeRow(const Row& row, qint64 rowId)
{
    ++m_version;
    const int pos = position(rowId);
    if (pos < 0) {
        const int at = slotCount();
        readInto(row, at, true);
        emit rowAppended(at);
    } else {
        emit rowAboutToChange(pos);
        readInto(row, pos, false);
        emit rowChanged(pos);
    }
}

bool MemTable::refreshFromServer(qint64 rowId, QString* error)
{
    bool reload = false;
    bool gone = false;
    const auto take = [&](const RowBatch& batch) {
        if (batch.columns() != int(m_cols.size()) + 2) {
            reload = true; // the table's columns changed
            return false;
        }
        if (batch.rows() == 0) {
            gone = true;
            return false;
        }
        placeRow(ServerRow{batch, 0}, rowId);
        return true;
    };
    if (!m_db.readRows(
            Statement{QStringLiteral("select rowid, * from %1 where rowid=?").arg(quoteIdentifier(m_table)), {rowId}},
            0, take, error))
        return false;
    if (reload)
        return load(error);
    if (gone)
        removeRow(rowId);
    return true;
}

bool MemTable::removeRow(qint64 rowId)
{
    if (m_loading)
        return false;
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
    if (m_loading) {
        *error = QStringLiteral("The table %1 is being read").arg(m_table);
        return false;
    }
    // On a server: a connection found broken is made anew here, and the
    // table read whole below.
    if (m_db.engine() == Database::Engine::Server) {
        qint64 unused = 0;
        if (!m_db.dataVersion(&unused, error))
            return false;
    }
    // Rows this connection wrote by statements that did not say so.
    std::vector<qint64> written = m_db.takeWrittenRows(m_table);
    if (m_elsewhere) {
        // The load elsewhere brings what other connections wrote; the rows
        // written here are read now where the table is loaded, and again after it.
        for (const qint64 id : written)
            if (!refreshRow(id, error))
                return false;
        if (!m_loaded) {
            *error = QStringLiteral("The table %1 is being read").arg(m_table);
            return false;
        }
        return true;
    }
    if (m_loaded && m_loadedConnection == m_db.connectionSerial() && !written.empty()) {
        std::sort(written.begin(), written.end());
        written.erase(std::unique(written.begin(), written.end()), written.end());
        for (const qint64 id : written)
            if (!refreshRow(id, error))
                return false;
    }
    // On a server the connection tells of every row committed, and those
    // were read above; a connection made anew (after one was lost) may have
    // missed some, so the table is read whole then.
    if (m_loaded && m_loadedConnection == m_db.connectionSerial() && m_db.engine() == Database::Engine::Server)
        return true;
    if (m_loaded && m_loadedConnection == m_db.connectionSerial()) {
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
    return Kind(c.kinds[c.code(size_t(pos))] & kKindMask);
}

double MemTable::number(int pos, int column) const
{
    const Column& c = m_cols[size_t(column)];
    const quint32 e = c.code(size_t(pos));
    switch (Kind(c.kinds[e] & kKindMask)) {
    case Kind::Real:
        return std::bit_cast<double>(c.cells[e]);
    case Kind::Integer:
        return double(qint64(c.cells[e]));
    default:
        return 0;
    }
}

qint64 MemTable::integer(int pos, int column) const
{
    const Column& c = m_cols[size_t(column)];
    const quint32 e = c.code(size_t(pos));
    switch (Kind(c.kinds[e] & kKindMask)) {
    case Kind::Real:
        return qint64(std::bit_cast<double>(c.cells[e]));
    case Kind::Integer:
        return qint64(c.cells[e]);
    default:
        return 0;
    }
}

std::string_view MemTable::utf8(int pos, int column) const
{
    const Column& c = m_cols[size_t(column)];
    const quint32 e = c.code(size_t(pos));
    const Kind k = Kind(c.kinds[e] & kKindMask);
    if (k != Kind::Text && k != Kind::Blob)
        return {};
    return spanView(c.bytes, c.cells[e]);
}

QVariant MemTable::value(int pos, int column) const
{
    return entryValue(column, m_cols[size_t(column)].code(size_t(pos)));
}

QVariant MemTable::entryValue(int column, quint32 entry) const
{
    const Column& c = m_cols[size_t(column)];
    const quint64 cell = c.cells[entry];
    switch (Kind(c.kinds[entry] & kKindMask)) {
    case Kind::Null:
        return QVariant();
    case Kind::Integer:
        return QVariant(qint64(cell));
    case Kind::Real:
        return QVariant(std::bit_cast<double>(cell));
    case Kind::Text:
    case Kind::Blob: {
        const std::string_view s = spanView(c.bytes, cell);
        return QVariant(QString::fromUtf8(s.data(), qsizetype(s.size())));
    }
    }
    return QVariant();
}

bool MemTable::like(int pos, int column, const LikePattern& pattern) const
{
    const Column& c = m_cols[size_t(column)];
    return likeEntry(c, c.code(size_t(pos)), pattern);
}

bool MemTable::likeEntry(const Column& c, quint32 e, const LikePattern& pattern) const
{
    const quint8 byte = c.kinds[e];
    const Kind k = Kind(byte & kKindMask);
    if (k == Kind::Null)
        return false;
    if (!c.searched) {
        // Only texts can be matched without the engine's rendering of numbers.
        Q_ASSERT(k == Kind::Text || k == Kind::Blob);
        return pattern.matchesRaw(spanView(c.bytes, c.cells[e]));
    }
    if (!(byte & kLikeTextElsewhere)) {
        const quint64 s = c.cells[e];
        return pattern.isRegular() ? pattern.matchesLower(spanView(c.lower, s))
                                   : pattern.matchesRaw(spanView(c.bytes, s));
    }
    const quint64 s = c.likeText.at(e);
    if ((k == Kind::Integer || k == Kind::Real) && pattern.isRegular())
        return pattern.matchesLower(spanView(c.lower, s));
    return pattern.matchesRaw(spanView(c.bytes, s));
}

namespace {

// One text (at least one byte) searched for in many values, each of which may
// be read 15 bytes beyond its end.
class NeedleSearch
{
public:
    explicit NeedleSearch(std::string_view needle)
        : m_needle(needle)
    {
#if defined(__SSE2__)
        m_first = _mm_set1_epi8(needle.front());
        m_second = _mm_set1_epi8(needle.size() > 1 ? needle[1] : 0);
        m_last = _mm_set1_epi8(needle.back());
#endif
    }

    Q_ALWAYS_INLINE bool in(const char* h, size_t n) const
    {
        const size_t m = m_needle.size();
        if (n < m)
            return false;
        if (m == 1)
            return std::memchr(h, m_needle.front(), n) != nullptr;
        if (n > 64)
            return memmem(h, n, m_needle.data(), m) != nullptr;
#if defined(__SSE2__)
        // Short values (initials, codes): the needle's first, second and last
        // bytes tested at 16 places at once, the rest only where all three match.
        const size_t starts = n - m + 1;
        for (size_t i = 0; i < starts; i += 16) {
            const auto at = [&](size_t k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + k)); };
            const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(at(0), m_first), _mm_cmpeq_epi8(at(1), m_second));
            unsigned bits = unsigned(_mm_movemask_epi8(_mm_and_si128(both, _mm_cmpeq_epi8(at(m - 1), m_last))));
            if (starts - i < 16)
                bits &= (1u << (starts - i)) - 1;
            for (; bits; bits &= bits - 1)
                if (m <= 3 || std::memcmp(h + i + size_t(std::countr_zero(bits)) + 2, m_needle.data() + 2, m - 3) == 0)
                    return true;
        }
        return false;
#else
        for (const char* q = h; q + m <= h + n; ++q)
            if (*q == m_needle.front() && q[m - 1] == m_needle.back() &&
                std::memcmp(q + 1, m_needle.data() + 1, m - 2) == 0)
                return true;
        return false;
#endif
    }

private:
    std::string_view m_needle;
#if defined(__SSE2__)
    __m128i m_first, m_second, m_last;
#endif
};

} // namespace

void MemTable::filterLike(std::vector<int>& positions, int column, const LikePattern& pattern) const
{
    const Column& c = m_cols[size_t(column)];
    std::string_view literal;
    const bool contains = c.searched && pattern.isContains(&literal) && !literal.empty();
    const quint8* kinds = c.kinds.data();
    const quint64* cells = c.cells.data();
    const NeedleSearch needle(contains ? literal : std::string_view(" "));
    const quint64 need = contains ? pairBits(literal) : 0;
    const quint64* pairs = c.pairs.data();
    // Inlined into each loop below: for a column of codes it runs once per row.
    const auto matches = [&](quint32 e) __attribute__((always_inline))
    {
        const quint8 k = kinds[e];
        if (contains && (k == quint8(Kind::Text) || k == quint8(Kind::Blob))) {
            // A regular text: "%text%" is a search of its lower-cased bytes,
            // where it has every pair of bytes of the text.
            if ((pairs[e] & need) != need)
                return false;
            const std::string_view text = spanView(c.lower, cells[e]);
            return needle.in(text.data(), text.size());
        }
        return likeEntry(c, e, pattern);
    };
    size_t out = 0;
    if (c.direct) {
        for (const int p : positions) {
            positions[out] = p;
            out += matches(quint32(p)) ? 1 : 0;
        }
        positions.resize(out);
        return;
    }
    // Each entry is matched once: all of them first when there are no more
    // entries than rows to test, otherwise when the first row holding one is.
    constexpr quint8 kUnknown = 2;
    const bool eager = c.kinds.size() <= positions.size();
    std::vector<quint8> memo(c.kinds.size(), kUnknown);
    if (eager)
        for (quint32 e = 0; e < quint32(memo.size()); ++e)
            memo[e] = matches(e) ? 1 : 0;
    const auto keep = [&](auto codeOf) {
        quint8* known = memo.data();
        int* kept = positions.data();
        const int* end = positions.data() + positions.size();
        if (eager) {
            const int* p = positions.data();
            // Four rows' verdicts are read before any is written, so the
            // reads do not wait on one another.
            for (; end - p >= 4; p += 4) {
                const int r0 = p[0], r1 = p[1], r2 = p[2], r3 = p[3];
                const quint8 k0 = known[codeOf(size_t(r0))], k1 = known[codeOf(size_t(r1))];
                const quint8 k2 = known[codeOf(size_t(r2))], k3 = known[codeOf(size_t(r3))];
                *kept = r0;
                kept += k0;
                *kept = r1;
                kept += k1;
                *kept = r2;
                kept += k2;
                *kept = r3;
                kept += k3;
            }
            for (; p != end; ++p) {
                *kept = *p;
                kept += known[codeOf(size_t(*p))];
            }
        } else {
            for (const int* p = positions.data(); p != end; ++p) {
                const quint32 e = codeOf(size_t(*p));
                quint8 m = known[e];
                if (m == kUnknown)
                    m = known[e] = matches(e) ? 1 : 0;
                *kept = *p;
                kept += m;
            }
        }
        out = size_t(kept - positions.data());
    };
    const quint8* codes = c.codes.data();
    switch (c.width) {
    case 1:
        keep([codes](size_t p) { return quint32(codes[p]); });
        break;
    case 2:
        keep([codes](size_t p) {
            quint16 v;
            std::memcpy(&v, codes + 2 * p, 2);
            return quint32(v);
        });
        break;
    case 4:
        keep([codes](size_t p) {
            quint32 v;
            std::memcpy(&v, codes + 4 * p, 4);
            return v;
        });
        break;
    default:
        keep([](size_t) { return quint32(0); });
        break;
    }
    positions.resize(out);
}

std::vector<int> MemTable::positionsEqualTo(int column, std::string_view text) const
{
    const Column& c = m_cols[size_t(column)];
    // Folding keeps lengths, so texts of other lengths differ, unless a NUL
    // ends the comparison early.
    const bool anyLength = text.find('\0') != std::string_view::npos;
    const auto equal = [&](quint32 e) {
        if (Kind(c.kinds[e] & kKindMask) != Kind::Text)
            return false;
        const std::string_view v = spanView(c.bytes, c.cells[e]);
        return (anyLength || v.size() == text.size()) && valueorder::collateTexts(v, text, c.nocase) == 0;
    };
    std::vector<int> out;
    if (c.direct) {
        for (const int p : m_byRowId)
            if (equal(quint32(p)))
                out.push_back(p);
        return out;
    }
    std::vector<quint8> match(c.kinds.size(), 0);
    bool any = false;
    for (quint32 e = 0; e < quint32(match.size()); ++e)
        any |= (match[e] = equal(e) ? 1 : 0) != 0;
    if (!any)
        return out;
    size_t i = 0;
    forEachEntry(column, m_byRowId, [&](quint32 e) {
        if (match[e])
            out.push_back(m_byRowId[i]);
        ++i;
    });
    return out;
}

int MemTable::compareText(int pos, int column, std::string_view text, bool* isNull) const
{
    const Kind k = kind(pos, column);
    *isNull = k == Kind::Null;
    if (*isNull)
        return 0;
    // Numbers sort before every text, blobs after.
    const int rank = storageClassRank(k);
    if (rank != valueorder::kTextRank)
        return rank < valueorder::kTextRank ? -1 : 1;
    return valueorder::collateTexts(utf8(pos, column), text, m_cols[size_t(column)].nocase);
}

int MemTable::compareWithZero(int pos, int column, bool* isNull) const
{
    const Kind k = kind(pos, column);
    *isNull = k == Kind::Null;
    switch (k) {
    case Kind::Null:
        return 0;
    case Kind::Integer: {
        const qint64 v = integer(pos, column);
        return v > 0 ? 1 : v < 0 ? -1 : 0;
    }
    case Kind::Real: {
        const double v = number(pos, column);
        return v > 0 ? 1 : v < 0 ? -1 : 0;
    }
    default:
        return 1; // texts and blobs sort after every number
    }
}

int MemTable::compareCells(int posA, int posB, int column) const
{
    const Kind ka = kind(posA, column), kb = kind(posB, column);
    const int ra = storageClassRank(ka), rb = storageClassRank(kb);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    switch (ra) {
    case valueorder::kNumberRank: {
        if (ka == Kind::Integer && kb == Kind::Integer) {
            const qint64 x = integer(posA, column), y = integer(posB, column);
            return x < y ? -1 : x > y ? 1 : 0;
        }
        const double x = number(posA, column), y = number(posB, column);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case valueorder::kTextRank:
        return valueorder::collateTexts(utf8(posA, column), utf8(posB, column), m_cols[size_t(column)].nocase);
    case valueorder::kBlobRank:
        return valueorder::collateTexts(utf8(posA, column), utf8(posB, column), false);
    default:
        return 0;
    }
}

size_t MemTable::columnBytes(int column) const
{
    const Column& c = m_cols[size_t(column)];
    return c.codes.capacity() + c.kinds.capacity() + (c.cells.capacity() + c.pairs.capacity()) * sizeof(quint64) +
           c.bytes.capacity() + c.lower.capacity() +
           c.likeText.size() * (sizeof(quint32) + sizeof(quint64) + 2 * sizeof(void*));
}

size_t MemTable::memoryBytes() const
{
    size_t total = m_rowIds.capacity() * sizeof(qint64) + m_live.capacity() + m_byRowId.capacity() * sizeof(int) +
                   m_stamps.size() * (sizeof(int) + sizeof(quint64) + 2 * sizeof(void*));
    for (size_t c = 0; c < m_cols.size(); ++c)
        total += columnBytes(int(c));
    return total;
}
