#include "store/summary.h"

#include "store/columns.h"
#include "store/columnsum.h"
#include "store/memtable.h"
#include "store/sortranks.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>

namespace summary {

namespace {

const std::array<QLatin1StringView, 4> kArticle{stockcol::name, stockcol::model, stockcol::code, stockcol::category};
const std::array<QLatin1StringView, 6> kSummed{stockcol::quantityIn,  stockcol::purchaseAmount, stockcol::soldQuantity,
                                               stockcol::salesAmount, stockcol::stockQuantity,  stockcol::stockAmount};

} // namespace

const QStringList& columns()
{
    static const QStringList names{QString(stockcol::name),     QString(stockcol::model),   QString(stockcol::code),
                                   QString(stockcol::category), QStringLiteral("进货数量"), QStringLiteral("进货金额"),
                                   QStringLiteral("销售数量"),  QStringLiteral("销售金额"), QStringLiteral("库存数量"),
                                   QStringLiteral("库存金额")};
    return names;
}

QueryResult compute(const MemTable& stock, SortRanks& ranks)
{
    QueryResult out;
    out.columns = columns();
    std::array<int, 4> key{};
    std::array<const std::vector<int>*, 4> rank{};
    for (size_t i = 0; i < kArticle.size(); ++i) {
        key[i] = stock.columnIndex(QString(kArticle[i]));
        if (key[i] < 0)
            return out;
    }
    std::array<int, 6> summed{};
    for (size_t i = 0; i < kSummed.size(); ++i)
        if ((summed[i] = stock.columnIndex(QString(kSummed[i]))) < 0)
            return out;
    // Equal ranks are equal texts under the columns' own comparison, so the
    // ranks both group the rows and order the articles.
    for (size_t i = 0; i < key.size(); ++i)
        rank[i] = &ranks.ranks(key[i]);
    const auto tuple = [&](int pos) {
        return std::array<int, 4>{(*rank[0])[size_t(pos)], (*rank[1])[size_t(pos)], (*rank[2])[size_t(pos)],
                                  (*rank[3])[size_t(pos)]};
    };
    // Stable: within an article the rows stay in row-identity order, so its
    // last row is the last of its run.
    const std::vector<int>& scan = stock.positionsInRowIdOrder();
    std::vector<int> rows = scan;
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return tuple(a) < tuple(b); });
    std::vector<int> groupOf(size_t(stock.slotCount()), -1);
    std::vector<quint8> isLast(size_t(stock.slotCount()), 0);
    int groups = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0 && tuple(rows[i]) != tuple(rows[i - 1])) {
            isLast[size_t(rows[i - 1])] = 1;
            ++groups;
        }
        groupOf[size_t(rows[i])] = groups;
    }
    if (!rows.empty()) {
        isLast[size_t(rows.back())] = 1;
        ++groups;
    }

    // The table is read in its own order from here, each column once front
    // to back, into flat lists by article; the rows are made at the end.
    std::array<std::vector<QVariant>, 4> texts;
    for (size_t k = 0; k < key.size(); ++k) {
        texts[k].resize(size_t(groups));
        // Article texts repeat: each distinct one becomes a QString once.
        std::unordered_map<std::string_view, QString> made;
        const bool share = kArticle[k] != stockcol::code; // codes rarely repeat
        for (const int pos : scan) {
            if (!isLast[size_t(pos)])
                continue;
            QVariant& cell = texts[k][size_t(groupOf[size_t(pos)])];
            if (share && stock.kind(pos, key[k]) == MemTable::Kind::Text) {
                const std::string_view bytes = stock.utf8(pos, key[k]);
                auto it = made.find(bytes);
                if (it == made.end())
                    it = made.emplace(bytes, QString::fromUtf8(bytes.data(), qsizetype(bytes.size()))).first;
                cell = it->second;
            } else {
                cell = stock.value(pos, key[k]);
            }
        }
    }
    // Sums: 1/10000 units per article; the rare value beyond them (and a
    // units total that would overflow) goes to a wide sum of its own.
    struct Sums
    {
        std::vector<qint64> units;
        std::vector<quint8> any;
        std::unordered_map<int, long double> wide;
    };
    std::array<Sums, 6> sums;
    for (size_t i = 0; i < summed.size(); ++i) {
        Sums& s = sums[i];
        s.units.assign(size_t(groups), 0);
        s.any.assign(size_t(groups), 0);
        for (const int pos : scan) {
            const ColumnSum::Part p = ColumnSum::partOf(stock, pos, summed[i]);
            if (p.null)
                continue;
            const auto g = size_t(groupOf[size_t(pos)]);
            s.any[g] = 1;
            qint64 sum = 0;
            if (p.wide)
                s.wide[int(g)] += p.wideValue;
            else if (__builtin_add_overflow(s.units[g], p.units, &sum))
                s.wide[int(g)] += static_cast<long double>(p.units) / 10000.0L;
            else
                s.units[g] = sum;
        }
    }
    const auto total = [&](const Sums& s, int g) {
        if (!s.any[size_t(g)])
            return QVariant();
        long double t = static_cast<long double>(s.units[size_t(g)]) / 10000.0L;
        if (const auto it = s.wide.find(g); it != s.wide.end())
            t += it->second;
        return QVariant(double(t));
    };
    out.rows.reserve(groups);
    for (int g = 0; g < groups; ++g) {
        QVector<QVariant> row;
        row.reserve(10);
        for (auto& column : texts)
            row.append(std::move(column[size_t(g)]));
        for (const Sums& s : sums)
            row.append(total(s, g));
        out.rows.append(std::move(row));
    }
    return out;
}

Statement statement()
{
    return {QStringLiteral("select a,b,c,d, sum([2]) as 进货数量,sum([3]) as 进货金额,sum([5]) as 销售数量,"
                           "sum([6]) as 销售金额, sum([7]) as 库存数量,sum([8]) as 库存金额 from data "
                           "group by a,b,c,d order by a collate pinyin,b collate pinyin,c collate pinyin,"
                           "d collate pinyin"),
            {}};
}

} // namespace summary
