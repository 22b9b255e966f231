#pragma once

#include "core/result.h"
#include "store/db/database.h"

#include <QString>

#include <optional>

class Tdmfm;

// Statements over the sales table `data1` used while selling. Typed names and
// numbers are bound, never spliced into the text.
namespace salelookup {

// The statements mean on a server what they mean on the file (texts compared
// without regard to the case of ASCII letters, rows and groups in the file's order).
//
// The two customer statements below define the customer lookups further down,
// which answer them from the loaded sale table instead of reading every sale
// row (the customer column has no index); nothing else runs them, the tests
// compare the two answers.
//
// Address and contact recorded for a customer name, one row per distinct pair.
Statement customerByName(const QString& name, Database::Engine engine = Database::Engine::File);
// Customer, address, contact and remark recorded under a sale number, one row per distinct set.
Statement customerBySaleNumber(const QString& saleNumber, Database::Engine engine = Database::Engine::File);
// Every Sale row whose number contains `fragment` (LIKE '%fragment%', so "%"
// and "_" typed in it match as LIKE wildcards), in stored order. A fragment of
// digits only, as sale numbers are, is looked up through the indexes instead of
// a scan of every row, with the same result.
Statement slipRows(const QString& fragment, Database::Engine engine = Database::Engine::File);

// The rows of slipRows(fragment), read now: the caller holds them.
Result<QueryResult> readSlipRows(Tdmfm& dm, const QString& fragment);

// What a sale recorded about its customer.
struct CustomerDetails
{
    QString name, address, contact, remark;
};
// The address and contact first recorded for a customer name (name and
// remark left empty): the first row of customerByName(name); nullopt when no
// sale has the name. Read from the loaded sale table, made current first.
Result<std::optional<CustomerDetails>> customerByName(Tdmfm& dm, const QString& name);
// The customer recorded under a sale number: the first row of
// customerBySaleNumber(number), from the loaded sale table; nullopt when no
// sale has it.
Result<std::optional<CustomerDetails>> customerBySaleNumber(Tdmfm& dm, const QString& saleNumber);

} // namespace salelookup
