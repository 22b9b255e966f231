#pragma once

#include "store/db/database.h"

#include <QString>

// Statements over the stock table `data`. Every result carries the hidden row
// identity, so the current row can be changed or deleted.
namespace stockq {

// The zero-stock choice decides both the list statement and the condition every search starts with.
enum class ZeroStock { Shown, Hidden };

// "全部记录": all rows in stock-in date order.
Statement listAll(ZeroStock zero);

// The conditions of the search box; an empty text adds no condition.
struct Conditions
{
    QString category;
    QString nameInitials;
    QString specInitials;
    QString code;
    QString remark;
    QString supplier;
    bool byDate = false;
    QString from;
    QString to;
};

// "查询": the base condition, then each filled condition as a contained-text match, in a fixed order.
Statement search(ZeroStock zero, const Conditions& c);

} // namespace stockq
