#include "store/db/serverclerk.h"

#include "store/db/columns.h"
#include "store/db/schema.h"
#include "store/db/serverconnection.h"

#include <cmath>

namespace serverclerk {

namespace {

QString quoted(const QString& name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// A view over `table` with its columns in order and `hidden` given as NULL.
QString viewStatement(const QString& table, const QStringList& columns, const QStringList& hidden)
{
    QStringList select;
    for (const QString& c : columns)
        select << (hidden.contains(c) ? QStringLiteral("NULL::double precision AS %1").arg(quoted(c)) : quoted(c));
    select << QStringLiteral("rowid");
    return QStringLiteral("CREATE OR REPLACE VIEW %1.%2 AS SELECT %3 FROM %2")
        .arg(clerkSchema(), table, select.join(QLatin1String(", ")));
}

// The parameter list of the sale function, the order of saleFunctionCall().
const char* const kSaleParameters =
    "stock_row bigint, quantity_bits text, price_bits text, owed_bits text, "
    "seen_name text, seen_model text, seen_code text, seen_category text, seen_stock_in text, "
    "sale_name text, sale_model text, sale_code text, sale_category text, name_initials text, model_initials text, "
    "customer text, address text, contact text, customer_remark text, sale_number text, sale_date text";
constexpr int kSaleParameterCount = 21;

QString saleSignature()
{
    QStringList types;
    for (const QString& p : QString::fromLatin1(kSaleParameters).split(QLatin1String(", ")))
        types << p.section(QLatin1Char(' '), 1);
    return QStringLiteral("%1(%2)").arg(saleFunction(), types.join(QLatin1String(", ")));
}

// No `?` and no `[` outside quoted texts in the bodies below: the connection
// reads those as placeholders and bracketed names (ServerConnection).
//
// The program computes a sale's figures in 80-bit long double, reads every
// stored figure back through its 15-digit general text and stores doubles
// (src/core/numbers.h, saleops.cpp). These functions do the same on exact
// numeric values, so the sale function stores the very same doubles:
//   tarvik_round_bits(x, 64)  a long double result (nearest, ties to even);
//   tarvik_round_bits(x, 53)  the double a long double is stored as;
//   tarvik_general(x)         the value of the general text of x: x written
//                             to 18 significant digits, those rounded half
//                             away from zero to 15 (as an x87 runtime does);
//   tarvik_exact(d)           the exact value of a stored double.
QStringList numberFunctions()
{
    return {
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_pow10(k integer) RETURNS numeric
LANGUAGE sql IMMUTABLE STRICT AS $$
  SELECT CASE WHEN k >= 0 THEN ('1' || repeat('0', k))::numeric
              ELSE ('0.' || repeat('0', -k - 1) || '1')::numeric END
$$)SQL"),
        // 2^-n is 5^n / 10^n: every step is an exact product.
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_pow2(k integer) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE STRICT AS $$
DECLARE
  r numeric := 1;
  b numeric := CASE WHEN k >= 0 THEN 2 ELSE 5 END;
  n integer := abs(k);
BEGIN
  WHILE n > 0 LOOP
    IF n % 2 = 1 THEN r := r * b; END IF;
    n := n / 2;
    IF n > 0 THEN b := b * b; END IF;
  END LOOP;
  IF k < 0 THEN r := r * tarvik_pow10(k); END IF;
  RETURN r;
END
$$)SQL"),
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_round_bits(x numeric, bits integer) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE STRICT AS $$
DECLARE
  a numeric := abs(x);
  e integer;
  m numeric;
  r numeric;
BEGIN
  IF a = 0 THEN RETURN 0; END IF;
  e := floor(log(2, a))::integer;
  WHILE tarvik_pow2(e) > a LOOP e := e - 1; END LOOP;
  WHILE tarvik_pow2(e + 1) <= a LOOP e := e + 1; END LOOP;
  m := a * tarvik_pow2(bits - 1 - e);
  r := floor(m);
  IF m - r > 0.5 OR (m - r = 0.5 AND mod(r, 2) = 1) THEN r := r + 1; END IF;
  r := r * tarvik_pow2(e - bits + 1);
  RETURN CASE WHEN x < 0 THEN -r ELSE r END;
END
$$)SQL"),
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_exact(d double precision) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE STRICT AS $$
DECLARE
  b bigint := ('x' || encode(float8send(d), 'hex'))::bit(64)::bigint;
  e integer := ((b >> 52) & 2047)::integer;
  f bigint := b & 4503599627370495;
  v numeric;
BEGIN
  IF e = 0 THEN
    v := f * tarvik_pow2(-1074);
  ELSE
    v := (f + 4503599627370496) * tarvik_pow2(e - 1075);
  END IF;
  RETURN CASE WHEN b < 0 THEN -v ELSE v END;
END
$$)SQL"),
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_general(x numeric) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE STRICT AS $$
DECLARE
  a numeric := abs(x);
  d integer;
  r numeric;
BEGIN
  IF a = 0 THEN RETURN 0; END IF;
  d := floor(log(10, a))::integer;
  WHILE tarvik_pow10(d) > a LOOP d := d - 1; END LOOP;
  WHILE tarvik_pow10(d + 1) <= a LOOP d := d + 1; END LOOP;
  -- How a tie at the 18th digit is broken never changes the 15 digits.
  r := round(a * tarvik_pow10(17 - d));
  r := round(r * 0.001) * tarvik_pow10(d - 14);
  RETURN CASE WHEN x < 0 THEN -r ELSE r END;
END
$$)SQL"),
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_double(x numeric) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT AS $$ SELECT tarvik_round_bits(x, 53)::double precision $$)SQL"),
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_as_stored(x numeric) RETURNS numeric
LANGUAGE sql IMMUTABLE STRICT AS $$ SELECT tarvik_round_bits(tarvik_general(x), 64) $$)SQL"),
        // "0.00" of the general digits, half away from zero, read back.
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_round2(x numeric) RETURNS numeric
LANGUAGE sql IMMUTABLE STRICT AS $$ SELECT tarvik_round_bits(round(tarvik_general(x), 2), 64) $$)SQL"),
        // A stored figure read as a number; NULL, NaN and the infinities are
        // none, as their general texts are not.
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_stored(d double precision) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF d IS NULL THEN RAISE EXCEPTION 'figure:' USING ERRCODE = 'TK003'; END IF;
  IF d = 'NaN'::double precision THEN RAISE EXCEPTION 'figure:NAN' USING ERRCODE = 'TK003'; END IF;
  IF d = 'Infinity'::double precision THEN RAISE EXCEPTION 'figure:INF' USING ERRCODE = 'TK003'; END IF;
  IF d = '-Infinity'::double precision THEN RAISE EXCEPTION 'figure:-INF' USING ERRCODE = 'TK003'; END IF;
  RETURN tarvik_as_stored(tarvik_exact(d));
END
$$)SQL"),
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_binary(t text) RETURNS numeric
LANGUAGE plpgsql IMMUTABLE STRICT AS $$
BEGIN
  IF t !~ '^-?[0-9]+p-?[0-9]+$' THEN RAISE EXCEPTION 'not a binary value: %', t; END IF;
  RETURN CASE WHEN left(t, 1) = '-' THEN -1 ELSE 1 END
         * substring(t from '([0-9]+)p')::numeric * tarvik_pow2(substring(t from 'p(-?[0-9]+)$')::integer);
END
$$)SQL"),
        // The double of a typed value, a negative zero kept.
        QString::fromUtf8(R"SQL(CREATE OR REPLACE FUNCTION tarvik_binary_double(t text) RETURNS double precision
LANGUAGE sql IMMUTABLE STRICT AS $$
  SELECT CASE WHEN left(t, 1) = '-' AND tarvik_binary(t) = 0 THEN '-0'::double precision
              ELSE tarvik_double(tarvik_binary(t)) END
$$)SQL"),
    };
}

// The tables are found in public, never in the caller's own temporary
// schema (searched first unless named last), where a role could put a `data`
// of its own making.
//
// The transaction of saleops::recordSale from the stock row's lock on, for
// a role that cannot read the figures it needs. The program has read the
// row's texts (through the view) and checked them against the article shown;
// they must still be the row's, or it reads them again.
QString saleFunctionStatement()
{
    return QStringLiteral("CREATE OR REPLACE FUNCTION %1(%2) RETURNS bigint\n"
                          "LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$\n")
               .arg(saleFunction(), QString::fromLatin1(kSaleParameters)) +
           QString::fromUtf8(R"SQL(DECLARE
  r data%ROWTYPE;
  q numeric := tarvik_binary(quantity_bits);
  p numeric := tarvik_binary(price_bits);
  cost numeric;
  sold numeric;
  amount numeric;
  available numeric;
  remaining numeric;
  sale_amount numeric;
  f5 double precision;
  f6 double precision;
  f7 double precision;
  f8 double precision;
  new_row bigint;
BEGIN
  SELECT * INTO r FROM data WHERE rowid = stock_row FOR UPDATE;
  IF NOT FOUND THEN
    RAISE EXCEPTION 'no stock row %', stock_row USING ERRCODE = 'TK001';
  END IF;
  IF r.a IS DISTINCT FROM seen_name OR r.b IS DISTINCT FROM seen_model OR r.c IS DISTINCT FROM seen_code
     OR r.d IS DISTINCT FROM seen_category OR r.day1 IS DISTINCT FROM seen_stock_in THEN
    RAISE EXCEPTION 'stock row % changed', stock_row USING ERRCODE = 'TK002';
  END IF;
  cost := tarvik_stored(r."1");
  sold := tarvik_stored(r."5");
  amount := tarvik_stored(r."6");
  available := tarvik_stored(r."7");
  PERFORM tarvik_stored(r."8");
  IF available < q THEN
    RAISE EXCEPTION '%', r."7"::text USING ERRCODE = 'TK004';
  END IF;
  remaining := tarvik_round_bits(available - q, 64);
  sale_amount := tarvik_as_stored(tarvik_round_bits(p * q, 64));
  f5 := tarvik_double(tarvik_as_stored(tarvik_round_bits(sold + q, 64)));
  f6 := tarvik_double(tarvik_as_stored(tarvik_round_bits(amount + sale_amount, 64)));
  f7 := tarvik_double(tarvik_round2(remaining));
  f8 := tarvik_double(tarvik_as_stored(tarvik_round_bits(remaining * cost, 64)));
  IF NOT abs(f5) < 1e15::double precision THEN
    RAISE EXCEPTION '5 %', f5::text USING ERRCODE = 'TK005';
  END IF;
  IF NOT abs(f6) < 1e15::double precision THEN
    RAISE EXCEPTION '6 %', f6::text USING ERRCODE = 'TK005';
  END IF;
  IF NOT abs(f7) < 1e15::double precision THEN
    RAISE EXCEPTION '7 %', f7::text USING ERRCODE = 'TK005';
  END IF;
  -- Not the stock amount itself: it would tell the purchase price.
  IF NOT abs(f8) < 1e15::double precision THEN
    RAISE EXCEPTION '8' USING ERRCODE = 'TK005';
  END IF;
  UPDATE data SET "5" = f5, "6" = f6, "7" = f7, "8" = f8 WHERE rowid = stock_row;
  INSERT INTO data1 (a, b, c, d, e, f, g, h, i, j, z, "1", "2", "3", "4", a5, "6", day1, day2, stockrow)
  VALUES (sale_name, sale_model, sale_code, sale_category, name_initials, model_initials,
          customer, address, contact, customer_remark, sale_number,
          tarvik_double(cost), tarvik_binary_double(price_bits), tarvik_binary_double(quantity_bits),
          tarvik_double(sale_amount),
          tarvik_double(tarvik_round2(tarvik_round_bits(tarvik_round_bits(p - cost, 64) * q, 64))),
          tarvik_binary_double(owed_bits), sale_date, r.day1, stock_row)
  RETURNING rowid INTO new_row;
  RETURN new_row;
END
$$)SQL");
}

} // namespace

QString clerkSchema()
{
    return QStringLiteral("tarvik_clerk");
}

QString saleFunction()
{
    return QStringLiteral("tarvik_record_sale");
}

QString saleFunctionCall()
{
    QStringList marks;
    for (int i = 0; i < kSaleParameterCount; ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("SELECT %1(%2)").arg(saleFunction(), marks.join(QLatin1Char(',')));
}

QStringList objectStatements()
{
    QStringList out{QStringLiteral("CREATE SCHEMA IF NOT EXISTS %1").arg(clerkSchema())};
    out << viewStatement(
        QStringLiteral("data"), QStringList{stockcol::id} + schema::stockColumns(),
        {QString(stockcol::purchasePrice), QString(stockcol::purchaseAmount), QString(stockcol::stockAmount)});
    out << viewStatement(QStringLiteral("data1"), schema::saleColumns() + schema::keyColumns(QStringLiteral("data1")),
                         {QString(salecol::purchasePrice), QString(salecol::profit)});
    // The login reads the names and password hashes of the users; not the
    // super administrator's, who cannot log in on such a till. A barrier, so
    // that no function of the role's own sees a row before the filter.
    out << QStringLiteral("CREATE OR REPLACE VIEW %1.userdb WITH (security_barrier) AS SELECT * FROM userdb "
                          "WHERE username IS DISTINCT FROM '%2'")
               .arg(clerkSchema(), schema::superAdministrator());
    out << numberFunctions();
    out << saleFunctionStatement();
    // Functions may be run by anyone unless taken back.
    out << QStringLiteral("REVOKE ALL ON FUNCTION %1 FROM PUBLIC").arg(saleSignature());
    return out;
}

QString binaryText(long double v)
{
    const QString sign = std::signbit(v) ? QStringLiteral("-") : QString();
    if (v == 0)
        return sign + QStringLiteral("0p0");
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(v), &exponent); // in [0.5, 1)
    const auto mantissa = static_cast<unsigned long long>(std::ldexp(fraction, 64));
    return sign + QString::number(mantissa) + QLatin1Char('p') + QString::number(exponent - 64);
}

bool grantClerkRole(ServerConnection& db, const QString& role, QString* error)
{
    QueryResult found;
    if (!db.query(
            Statement{QStringLiteral("SELECT rolsuper, pg_has_role(rolname, "
                                     "(SELECT relowner FROM pg_class WHERE oid = to_regclass('data')), 'MEMBER'), "
                                     "current_database() FROM pg_roles WHERE rolname = ?"),
                      {role}},
            &found, error))
        return false;
    if (found.rows.isEmpty()) {
        *error = QStringLiteral("there is no role %1 on the server: create it first (createuser %1)").arg(role);
        return false;
    }
    if (found.rows.at(0).at(0).toLongLong() != 0) {
        *error =
            QStringLiteral("%1 is a superuser: it can read everything; name a role of its own for the tills").arg(role);
        return false;
    }
    if (found.rows.at(0).at(1).toLongLong() != 0) {
        *error = QStringLiteral("%1 owns the shop's tables (or is a member of their owner): it can read everything; "
                                "name a role of its own for the tills")
                     .arg(role);
        return false;
    }
    const QString who = quoted(role);
    const QString database = quoted(found.rows.at(0).at(2).toString());
    ServerTransaction t(db);
    if (!t.begun()) {
        *error = t.error();
        return false;
    }
    QStringList statements = objectStatements();
    statements
        << QStringLiteral("REVOKE ALL ON TABLE data, data1 FROM %1").arg(who)
        << QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2").arg(database, who)
        << QStringLiteral("GRANT USAGE ON SCHEMA %1, public TO %2").arg(clerkSchema(), who)
        << QStringLiteral("GRANT SELECT ON %1.data, %1.data1 TO %2").arg(clerkSchema(), who)
        // What the change of a sale writes (saleops::changeSale).
        << QStringLiteral("GRANT UPDATE (%1, %2, %3, %4, %5, %6) ON %7.data1 TO %8")
               .arg(quoted(QString(salecol::owed)), quoted(QString(salecol::saleNumber)),
                    quoted(QString(salecol::customer)), quoted(QString(salecol::address)),
                    quoted(QString(salecol::contact)), quoted(QString(salecol::customerRemark)), clerkSchema(), who)
        << QStringLiteral("GRANT EXECUTE ON FUNCTION %1 TO %2").arg(saleSignature(), who)
        << QStringLiteral("REVOKE ALL ON TABLE userdb FROM %1").arg(who)
        << QStringLiteral("GRANT SELECT ON %1.userdb TO %2").arg(clerkSchema(), who)
        << QStringLiteral("GRANT SELECT, INSERT ON rz TO %1").arg(who)
        << QStringLiteral("GRANT UPDATE (jtime) ON rz TO %1").arg(who)
        << QStringLiteral("GRANT SELECT, INSERT ON %1 TO %2").arg(quoted(QString(failedLogin::table)), who)
        << QStringLiteral("GRANT SELECT, INSERT, UPDATE ON %1 TO %2").arg(quoted(QString(daySequence::table)), who)
        << QStringLiteral("GRANT SELECT ON schemaversion TO %1").arg(who)
        << QStringLiteral("ALTER ROLE %1 IN DATABASE %2 SET search_path = %3, public")
               .arg(who, database, clerkSchema());
    for (const QString& sql : statements)
        if (!db.exec(sql, error))
            return false;
    return t.commit(error);
}

std::optional<QStringList> clerkRoles(ServerConnection& db, QString* error)
{
    QueryResult r;
    if (!db.query(Statement{QStringLiteral("SELECT r.rolname FROM pg_db_role_setting s "
                                           "JOIN pg_roles r ON r.oid = s.setrole "
                                           "JOIN pg_database d ON d.oid = s.setdatabase "
                                           "WHERE d.datname = current_database() "
                                           "AND EXISTS (SELECT 1 FROM unnest(s.setconfig) c WHERE c LIKE ?) "
                                           "ORDER BY r.rolname"),
                            {QStringLiteral("search_path=%1%").arg(clerkSchema())}},
                  &r, error))
        return std::nullopt;
    QStringList roles;
    for (const auto& row : r.rows)
        roles << row.at(0).toString();
    return roles;
}

} // namespace serverclerk
