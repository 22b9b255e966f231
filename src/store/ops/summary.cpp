#include "store/ops/summary.h"

#include "store/db/columns.h"
#include "store/memory/columnsum.h"
#include "store/memory/memtable.h"
#include "store/memory/sortranks.h"

#include <algorithm>
#include <array>
#include <numeric>
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

ColumnTable compute(const MemTable& stock, SortRanks& ranks)
{
    const auto table = [](int rows) {
        ColumnTable t(rows);
        const QStringList& names = columns();
        for (int c = 0; c < names.size(); ++c) {
            if (c < int(kArticle.size()))
                t.addValueColumn(names.at(c));
            else
                t.addNumberColumn(names.at(c));
        }
        return t;
    };
    std::array<int, 4> key{};
    std::array<const std::vector<int>*, 4> rank{};
    for (size_t i = 0; i < kArticle.size(); ++i) {
        key[i] = stock.columnIndex(QString(kArticle[i]));
        if (key[i] < 0)
            return table(0);
    }
    std::array<int, 6> summed{};
    for (size_t i = 0; i < kSummed.size(); ++i)
        if ((summed[i] = stock.columnIndex(QString(kSummed[i]))) < 0)
            return table(0);
    // Equal ranks are equal texts under the columns' own comparison, so the
    // ranks both group the rows and order the articles.
    for (size_t i = 0; i < key.size(); ++i)
        rank[i] = &ranks.ranks(key[i]);
    // Sorted by the four ranks, stably from the scan, so that within an
    // article the rows stay in row-identity order and its last row is the
    // last of its run: one counting sort per rank, the last rank first.
    const std::vector<int>& scan = stock.positionsInRowIdOrder();
    std::vector<int> sorted = scan;
    std::vector<int> spare(scan.size());
    std::vector<int> count;
    for (size_t k = key.size(); k-- > 0;) {
        const std::vector<int>& r = *rank[k];
        int top = 0;
        for (const int pos : sorted)
            top = std::max(top, r[size_t(pos)]);
        count.assign(size_t(top) + 2, 0);
        for (const int pos : sorted)
            ++count[size_t(r[size_t(pos)]) + 1];
        std::partial_sum(count.begin(), count.end(), count.begin());
        for (const int pos : sorted)
            spare[size_t(count[size_t(r[size_t(pos)])]++)] = pos;
        sorted.swap(spare);
    }
    const auto sameArticle = [&](int a, int b) {
        for (const std::vector<int>* r : rank)
            if ((*r)[size_t(a)] != (*r)[size_t(b)])
                return false;
        return true;
    };
    std::vector<int> groupOf(size_t(stock.slotCount()), -1);
    std::vector<quint8> isLast(size_t(stock.slotCount()), 0);
    int groups = 0;
    for (size_t i = 0; i < sorted.size(); ++i) {
        if (i > 0 && !sameArticle(sorted[i], sorted[i - 1])) {
            isLast[size_t(sorted[i - 1])] = 1;
            ++groups;
        }
        groupOf[size_t(sorted[i])] = groups;
    }
    if (!sorted.empty()) {
        isLast[size_t(sorted.back())] = 1;
        ++groups;
    }

    // The table is read in its own order from here, front to back. The
    // result's rows are the articles in the order of their last rows there,
    // so that they are written front to back too, and are shown in sorted
    // order through a list of them.
    ColumnTable out = table(groups);
    std::vector<int> shown(size_t(groups), 0);
    std::array<std::vector<int>, 4> articleRank;
    for (auto& r : articleRank)
        r.resize(size_t(groups));
    int next = 0;
    for (const int pos : scan) {
        if (!isLast[size_t(pos)])
            continue;
        const int row = next++;
        shown[size_t(groupOf[size_t(pos)])] = row;
        for (size_t k = 0; k < key.size(); ++k) {
            const int column = int(k);
            articleRank[k][size_t(row)] = (*rank[k])[size_t(pos)];
            switch (stock.kind(pos, key[k])) {
            case MemTable::Kind::Null:
                break;
            case MemTable::Kind::Integer:
                out.setInteger(column, row, stock.integer(pos, key[k]));
                break;
            case MemTable::Kind::Real:
                out.setReal(column, row, stock.number(pos, key[k]));
                break;
            case MemTable::Kind::Text:
            case MemTable::Kind::Blob:
                out.setText(column, row, stock.utf8(pos, key[k]));
                break;
            }
        }
    }
    for (size_t k = 0; k < key.size(); ++k)
        out.setRanks(int(k), std::move(articleRank[k]));
    // Sums: 1/10000 units per article, the six of a stock row added in one
    // go; the rare value beyond them (and a units total that would overflow)
    // goes to a wide sum of its own.
    struct Article
    {
        std::array<qint64, 6> units{};
        quint8 any = 0; // bit i: column i had a value
    };
    std::vector<Article> articles(static_cast<size_t>(groups));
    std::unordered_map<int, long double> wide; // by row * 6 + column
    for (const int pos : scan) {
        const int row = shown[size_t(groupOf[size_t(pos)])];
        Article& a = articles[size_t(row)];
        for (size_t i = 0; i < summed.size(); ++i) {
            const ColumnSum::Part p = ColumnSum::partOf(stock, pos, summed[i]);
            if (p.null)
                continue;
            a.any |= quint8(1u << i);
            qint64 sum = 0;
            if (p.wide)
                wide[row * 6 + int(i)] += p.wideValue;
            else if (__builtin_add_overflow(a.units[i], p.units, &sum))
                wide[row * 6 + int(i)] += static_cast<long double>(p.units) / 10000.0L;
            else
                a.units[i] = sum;
        }
    }
    for (int row = 0; row < groups; ++row) {
        const Article& a = articles[size_t(row)];
        for (size_t i = 0; i < summed.size(); ++i) {
            const int column = int(kArticle.size() + i);
            if (!(a.any & (1u << i)))
                continue; // NULL
            if (const auto it = wide.find(row * 6 + int(i)); it != wide.end())
                out.setNumber(column, row, double(static_cast<long double>(a.units[i]) / 10000.0L + it->second));
            else
                out.setUnits(column, row, a.units[i]);
        }
    }
    out.setOrder(std::move(shown));
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
