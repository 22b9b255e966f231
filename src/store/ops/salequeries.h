#pragma once

#include "store/db/database.h"

#include <QString>

// Statements over the sales table `data1` used while selling. Typed names and
// numbers are bound, never spliced into the text.
namespace saleq {

// Address and contact recorded for a customer name, one row per distinct pair.
Statement customerByName(const QString& name);
// Customer, address, contact and remark recorded under a sale number, one row per distinct set.
Statement customerBySaleNumber(const QString& saleNumber);
// Every Sale row whose number contains `fragment` (LIKE '%fragment%', so "%"
// and "_" typed in it match as LIKE wildcards), in stored order. A fragment of
// digits only, as sale numbers are, is looked up through the indexes instead of
// a scan of every row, with the same result.
Statement slipRows(const QString& fragment);

} // namespace saleq
