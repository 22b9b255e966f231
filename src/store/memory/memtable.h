#pragma once

#include "store/memory/valueorder.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstring>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class Database;
class LikePattern;
class PreparedStatement;
struct sqlite3;

// A compact, column-oriented copy of one table's rows, held so that a search
// filters memory instead of running a statement over the encrypted file.
//
// Every value keeps the storage class the engine gave it (NULL, integer, real,
// text, blob), because comparisons and LIKE depend on it. A column holds each
// distinct value once, as an entry, and each row only the number of its entry
// in 1, 2 or 4 bytes, as few as the count of entries needs: a sale table
// repeats its values (a few thousand names, prices, days over a million rows).
// A column whose values hardly repeat (an autonumber) keeps one entry per row
// instead, numbered by position. Texts are UTF-8 in one buffer per column; the
// columns named as searched also keep an ASCII-lower-cased copy for LIKE.
// Rows live at positions 0..slotCount()-1: a
// removed row leaves its position empty (isLive() false) so that position
// lists held by others stay valid until the next load, which renumbers
// everything (see loadCount()).
//
// The copy is kept current by the program's own writes (refreshRow after an
// insert or update, removeRow after a delete) and re-read when another
// connection wrote the file (reloadIfChangedElsewhere). On a server the
// connection tells of every row committed, by any till, and the owner
// refreshes them; values are read as the file gives them (numbers as reals,
// the key as an integer, texts as texts comparing as the file's NOCASE ones).
class MemTable final : public QObject
{
    Q_OBJECT
public:
    using Kind = ValueKind;

    // `likeColumns` are the columns searched with LIKE; they get a lower-cased copy.
    MemTable(Database& db, QString table, QStringList likeColumns, QObject* parent = nullptr);
    ~MemTable() override;

    // Told during a load: the rows read so far and the rows expected (the
    // largest row identity, so a table with gaps ends below it). Called with 0
    // before the first row, then every loadProgressStep() rows. The table is
    // not readable meanwhile (isLoaded() false, views closed), and a load,
    // refresh or reload asked for from inside the call is refused.
    using LoadProgress = std::function<void(qint64 read, qint64 expected)>;
    void setLoadProgress(LoadProgress progress) { m_progress = std::move(progress); }
    static constexpr int loadProgressStep() { return 4096; }
    // A flag another thread may set to stop a load: it then fails at its
    // next row (the table is left empty). Null: loads run to their end.
    void setLoadStop(const std::atomic<bool>* stop) { m_stop = stop; }
    bool isLoading() const { return m_loading; }

    // Reads every row of the table in one statement. On failure the table is
    // left empty and *error holds the engine's text.
    bool load(QString* error);
    // Re-reads one row after the program inserted or changed it: appended when
    // new, replaced in place when known, removed when it no longer exists.
    bool refreshRow(qint64 rowId, QString* error);
    // Forgets a row the program deleted; false when the row is unknown.
    bool removeRow(qint64 rowId);
    // Reloads when another connection committed a change to the file since the
    // last load (or the connection itself was replaced). *reloaded says whether
    // it did. Rows this connection wrote without a refreshRow are read again first.
    bool reloadIfChangedElsewhere(QString* error, bool* reloaded = nullptr);

    // A load made elsewhere: another MemTable of the same table reads the rows
    // on a connection of its own (in a worker thread) and hands them over with
    // adopt(). From beginLoadElsewhere() on, the rows the program is told were
    // written (noteWritten()) are kept and read again after the handover;
    // meanwhile the table holds what it held before (nothing before its first
    // load) and refreshRow() keeps that current as usual. The file's version
    // is taken here, so a write of another program that the other connection
    // may have missed shows in changedElsewhere() after the handover.
    bool beginLoadElsewhere(QString* error);
    bool isLoadingElsewhere() const { return m_elsewhere; }
    void noteWritten(const std::vector<qint64>& rows);
    // Takes every row `loaded` read (it is left empty and not loaded), as if
    // this table had read them when beginLoadElsewhere() was called, then
    // reads the rows noted since; aboutToReload() and reloaded() frame it, as
    // a load. False with the engine's text when a noted row cannot be read.
    bool adopt(MemTable& loaded, QString* error);
    // The load elsewhere failed or was given up: the table stays as it was
    // (reloaded() tells those waiting).
    void abandonLoadElsewhere();
    // Whether another connection may have written the table since the rows
    // held were read: the file's version moved, or the connection was made
    // anew. A loaded table only.
    bool changedElsewhere(bool* changed, QString* error);
    // The columns searched with LIKE, as given.
    const QStringList& likeColumns() const { return m_likeNames; }
    const LoadProgress& loadProgress() const { return m_progress; }

    QString table() const { return m_table; }
    bool isLoaded() const { return m_loaded; }
    const QStringList& columns() const { return m_names; }
    int columnIndex(const QString& name) const; // case-insensitive, -1 when absent
    // True when the column compares texts with the NOCASE collation.
    bool isNoCase(int column) const { return m_cols[size_t(column)].nocase; }

    int slotCount() const { return int(m_rowIds.size()); }
    int rowCount() const { return int(m_byRowId.size()); }
    bool isLive(int pos) const { return m_live[size_t(pos)] != 0; }
    qint64 rowId(int pos) const { return m_rowIds[size_t(pos)]; }
    // Position of a live row, -1 when unknown.
    int position(qint64 rowId) const;
    // The live positions in row-identity order: the order of a table scan.
    const std::vector<int>& positionsInRowIdOrder() const { return m_byRowId; }

    Kind kind(int pos, int column) const;
    // Integer and real values as a double; 0 for the other kinds.
    double number(int pos, int column) const;
    qint64 integer(int pos, int column) const;
    // Bytes of a text or blob; empty for the other kinds.
    std::string_view utf8(int pos, int column) const;
    // The value as a row set reads it: null, qint64, double or QString.
    QVariant value(int pos, int column) const;

    // The engine's `column LIKE pattern` for one row (NULL counts as false).
    bool like(int pos, int column, const LikePattern& pattern) const;
    // The live positions, in row-identity order, whose value the engine's
    // `column = ?` with the text bound calls equal: a text, equal under the
    // column's collation (NULL, numbers and blobs never are). Each distinct
    // value is compared once.
    std::vector<int> positionsEqualTo(int column, std::string_view text) const;
    // Keeps the positions whose value matches: like() over a list, each
    // distinct value matched once.
    void filterLike(std::vector<int>& positions, int column, const LikePattern& pattern) const;
    // Entries: rows with the same entry number hold the same value (rows with
    // different ones may still hold equal values). Numbers are below
    // entryCount(column); they stay valid until the next load.
    quint32 entry(int pos, int column) const { return m_cols[size_t(column)].code(size_t(pos)); }
    quint32 entryCount(int column) const { return quint32(m_cols[size_t(column)].kinds.size()); }
    // The value of an entry, as value() reads it.
    QVariant entryValue(int column, quint32 entry) const;
    // Calls f(entry) with the entry of each position in turn: entry() over a
    // list without deciding the width of the numbers for every row.
    template <typename F> void forEachEntry(int column, const std::vector<int>& positions, F f) const
    {
        const Column& c = m_cols[size_t(column)];
        const quint8* codes = c.codes.data();
        switch (c.width) {
        case 1:
            for (const int p : positions)
                f(quint32(codes[p]));
            break;
        case 2:
            for (const int p : positions) {
                quint16 v;
                std::memcpy(&v, codes + 2 * size_t(p), 2);
                f(quint32(v));
            }
            break;
        case 4:
            for (const int p : positions) {
                quint32 v;
                std::memcpy(&v, codes + 4 * size_t(p), 4);
                f(v);
            }
            break;
        default:
            for (const int p : positions)
                f(c.direct ? quint32(p) : 0u);
            break;
        }
    }
    // Bytes of every row of the column: the entry numbers (kind and value of
    // the entries included), for measurements.
    size_t columnBytes(int column) const;
    // The engine's comparison of the value with a bound text under the column's
    // collation: <0, 0, >0; NULL gives `isNull`.
    int compareText(int pos, int column, std::string_view text, bool* isNull) const;
    // The engine's comparison of the value with the number 0 (`value > 0`,
    // `value <> 0`, `value < 0`): <0, 0, >0; a text or blob is greater than
    // any number; NULL gives `isNull`.
    int compareWithZero(int pos, int column, bool* isNull) const;
    // The engine's order of two values of one column (NULL, numbers, texts by
    // the column's collation, blobs).
    int compareCells(int posA, int posB, int column) const;

    // Changes with every change of the rows (load, refresh, removal).
    quint64 version() const { return m_version; }
    // The version() at which the row at `pos` was last read (loaded, appended
    // or re-read); a removal does not change it (see isLive()). Positions whose
    // stamp is above an earlier version() are the rows written since then.
    quint64 rowStamp(int pos) const
    {
        const auto it = m_stamps.find(pos);
        return it == m_stamps.end() ? m_loadStamp : it->second;
    }
    // Changes with every load: positions from before a load mean nothing after it.
    quint64 loadCount() const { return m_loadCount; }
    // Bytes held by the copy (buffers and vectors), for measurements.
    size_t memoryBytes() const;

signals:
    // A load begins: positions read so far mean nothing until reloaded().
    void aboutToReload();
    void reloaded();
    void rowAppended(int pos);
    // Before a known row is re-read: its old values can still be read.
    void rowAboutToChange(int pos);
    void rowChanged(int pos);
    void rowRemoved(int pos);

private:
    struct Column
    {
        QString name;
        bool nocase = false;
        bool searched = false;
        // Entry numbers per row, `width` bytes each (1, 2 or 4); no bytes
        // while every value is NULL (entry 0). A direct column has no numbers:
        // the entry of the row at position p is entry p.
        bool direct = false;
        quint8 width = 0;
        std::vector<quint8> codes;
        // By entry: the kind, and Real: double bits; Integer: the value;
        // Text/Blob: offset << 32 | length. Entry 0 of a column that is not
        // direct is NULL.
        std::vector<quint8> kinds;
        std::vector<quint64> cells;
        std::string bytes;
        std::string lower; // searched columns: same offsets as `bytes`
        // Searched columns, by entry: of a regular text, a bit for each pair
        // of adjacent bytes of its lower-cased text (pairBits); a text that
        // lacks a bit of a needle's pairs does not hold the needle.
        std::vector<quint64> pairs;
        // Searched columns, by entry: values whose LIKE text is not their own
        // regular text (numbers in their engine text form, malformed or
        // NUL-holding texts).
        std::unordered_map<quint32, quint64> likeText;
        // While loading: numbers found by a value's hash in open addressing,
        // one slot per number (hash << 32 | number + 1; 0 when free).
        struct LoadIndex
        {
            std::vector<quint64> cells;
            size_t used = 0;
            // The number under `hash` that `same` accepts; otherwise `fresh`
            // is stored under it and returned.
            template <class Same> quint32 findOrAdd(quint32 hash, quint32 fresh, Same same);
        };
        // Of a column that numbers its values: the entry of each (kind, value).
        // After the load a new value gets a new entry.
        std::unique_ptr<LoadIndex> entryIndex;
        // Of a direct column: the short texts stored so far (in `sharedSpans`),
        // so that a value repeated in many rows is stored once and shared.
        std::unique_ptr<LoadIndex> textIndex;
        std::vector<quint64> sharedSpans;
        quint32 lastEntry = 0; // while loading: the entry of the previous row

        quint32 code(size_t pos) const
        {
            switch (width) {
            case 1:
                return codes[pos];
            case 2: {
                quint16 v;
                std::memcpy(&v, codes.data() + 2 * pos, 2);
                return v;
            }
            case 4: {
                quint32 v;
                std::memcpy(&v, codes.data() + 4 * pos, 4);
                return v;
            }
            default:
                return direct ? quint32(pos) : 0;
            }
        }
        void setCode(size_t pos, quint32 entry);
        void makeDirect();
    };

    // `Row` reads the cells of one row of the file's or the server's result.
    template <class Row> void readInto(const Row& row, int pos, bool append);
    // A row read again by its identity: rewritten where the table holds it,
    // appended where it does not, with the signals of either.
    template <class Row> void placeRow(const Row& row, qint64 rowId);
    bool likeEntry(const Column& c, quint32 entry, const LikePattern& pattern) const;
    template <class Row> void setCell(Column& col, int pos, const Row& row, int index, bool append);
    void beginColumns();
    void endLoad();
    bool loadFromFile(QString* error);
    bool stopped(QString* error) const;
    bool loadFromServer(QString* error);
    bool refreshFromServer(qint64 rowId, QString* error);
    quint64 appendText(Column& col, const char* data, size_t n);
    bool currentDataVersion(qint64* out, QString* error) const;
    void clear();

    Database& m_db;
    QString m_table;
    QStringList m_likeNames;
    QStringList m_names;
    std::vector<Column> m_cols;
    // Of each column: where the statements that read the table hold it.
    std::vector<int> m_source;
    std::vector<qint64> m_rowIds;
    std::vector<quint8> m_live;
    quint64 m_loadStamp = 0;                   // version() of the load: the stamp of its rows
    std::unordered_map<int, quint64> m_stamps; // rows read since: version() of their last read
    std::vector<int> m_byRowId;                // live positions sorted by row identity
    bool m_loaded = false;
    quint64 m_version = 0;
    quint64 m_loadCount = 0;
    qint64 m_dataVersion = -1;
    quint64 m_loadedConnection = 0; // Database::connectionSerial() of the load
    LoadProgress m_progress;
    const std::atomic<bool>* m_stop = nullptr;
    bool m_loading = false;
    // A load elsewhere: the file's version and the connection when it began,
    // and the rows written since.
    bool m_elsewhere = false;
    qint64 m_elsewhereVersion = -1;
    quint64 m_elsewhereConnection = 0;
    std::vector<qint64> m_noted;
};
