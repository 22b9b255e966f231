#include "store/summary.h"

#include "store/columns.h"
#include "store/columnsum.h"
#include "store/memtable.h"
#include "store/sortranks.h"

#include <algorithm>
#include <array>

namespace summary {

namespace {

const std::array<QLatin1StringView, 4> kArticle{stockcol::name, stockcol::model, stockcol::code, stockcol::category};
const std::array<QLatin1StringView, 6> kSummed{stockcol::quantityIn,   stockcol::purchaseAmount,
                                               stockcol::soldQuantity, stockcol::salesAmount,
                                               stockcol::stockQuantity, stockcol::stockAmount};

} // namespace

const QStringList& columns()
{
    static const QStringList names{QString(stockcol::name),     QString(stockcol::model),
                                   QString(stockcol::code),     QString(stockcol::category),
                                   QStringLiteral("进货数量"), QStringLiteral("进货金额"),
                                   QStringLiteral("销售数量"), QStringLiteral("销售金额"),
                                   QStringLiteral("库存数量"), QStringLiteral("库存金额")};
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
    // Stable: within an article the rows stay in row-identity order.
    std::vector<int> rows = stock.positionsInRowIdOrder();
    std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) { return tuple(a) < tuple(b); });

    for (size_t start = 0; start < rows.size();) {
        const auto article = tuple(rows[start]);
        size_t end = start;
        std::array<ColumnSum, 6> sums;
        while (end < rows.size() && tuple(rows[end]) == article) {
            for (size_t i = 0; i < summed.size(); ++i)
                sums[i].add(stock, rows[end], summed[i]);
            ++end;
        }
        QVector<QVariant> row;
        row.reserve(10);
        const int last = rows[end - 1];
        for (const int c : key)
            row.append(stock.value(last, c));
        for (const ColumnSum& s : sums) {
            const auto t = s.total();
            row.append(t ? QVariant(double(*t)) : QVariant());
        }
        out.rows.append(std::move(row));
        start = end;
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
