#pragma once

#include "store/db/database.h"

#include <QDate>
#include <QString>

// The statements of the sales detail window over the sale table `data1`. Every
// result carries the hidden row identity (_rid), so the current row can be
// changed or deleted; every typed text is bound, never spliced into the text.
// Each statement names its order, so the in-memory filter (SaleFilter) can
// give the same rows in the same order.
namespace salesearch {

// The search panel's boxes; an empty text adds no condition. Texts are used as
// typed (untrimmed), each as a contained-text match.
struct Conditions
{
    QString category;     // d
    QString nameInitials; // e
    QString code;         // c
    QString specInitials; // f
    QString customer;     // g
    QString remark;       // j
    bool byDate = false;  // day1 between from and to, both included
    QString from;
    QString to;
};

enum class Kind {
    ThisMonth,    // "本 月": every row of a year and month
    All,          // "全部记录": every row by sale date
    Search,       // "查 询" of the search panel: sales (quantity > 0) matching the conditions
    ReturnSearch, // "查 询" of the returns group: returns (quantity < 0) matching the conditions
    AllReturns,   // "全部退货": every return by sale date
    SaleNumber,   // "查 询" of the slip group: rows whose sale number contains the text
};

struct Query
{
    Kind kind = Kind::ThisMonth;
    int year = 0;          // ThisMonth
    int month = 0;         // ThisMonth, 1..12
    Conditions conditions; // Search, ReturnSearch
    QString saleNumber;    // SaleNumber, trimmed by saleNumberQuery()
};

Query thisMonth(const QDate& day);
Query all();
Query search(const Conditions& c);
Query returnSearch(const Conditions& c);
Query allReturns();
Query saleNumberQuery(const QString& typed);

// The statement that answers the query from the engine.
Statement statement(const Query& q);

} // namespace salesearch
