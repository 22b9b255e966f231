#pragma once

#include "core/numbers.h"
#include "store/memory/memtable.h"

#include <QVariant>

#include <optional>
#include <string_view>

// The engine's sum() of a number column over some rows of an in-memory table,
// added up in fixed point (1/10000) so that 0.1 + 0.2 gives 0.3.
//
// What each value adds is what the engine adds: NULL nothing (a sum of NULLs
// only is NULL), a number its value, a text or blob the number its text
// starts with (0 when it starts with none).
class ColumnSum final
{
public:
    // One value's share of a sum: nothing (NULL), units of 1/10000, or a
    // number beyond their range (or not finite), added as it is.
    struct Part
    {
        bool null = true;
        qint64 units = 0;
        bool wide = false;
        long double wideValue = 0;
    };

    static Part partOf(const MemTable& table, int pos, int column)
    {
        switch (table.kind(pos, column)) {
        case MemTable::Kind::Null:
            return {};
        case MemTable::Kind::Integer:
        case MemTable::Kind::Real:
            return partOf(table.number(pos, column));
        case MemTable::Kind::Text:
        case MemTable::Kind::Blob:
            return partOf(leadingNumber(table.utf8(pos, column)));
        }
        return {};
    }

    // The share of a value as a row set reads it (null, qint64, double or
    // QString), by the same rule: a text adds the number it starts with.
    static Part partOf(const QVariant& v);

    static Part partOf(double v)
    {
        // Money's rounding (v * 10000 in long double, halves to even) without
        // its calls into the maths library: the long double product is exact
        // (53 + 14 bits), and below 4e15 the double product is within a
        // quarter of it, so the whole part of the latter is at most one off,
        // which one step corrects. Beyond, Money decides.
        const double scaled = v * 10000.0;
        if (scaled > -4.0e15 && scaled < 4.0e15) {
            auto units = static_cast<qint64>(scaled);
            const long double rest = static_cast<long double>(v) * 10000.0L - static_cast<long double>(units);
            if (rest > 0.5L || (rest == 0.5L && (units & 1) != 0))
                ++units;
            else if (rest < -0.5L || (rest == -0.5L && (units & 1) != 0))
                --units;
            return {false, units, false, 0};
        }
        if (const auto m = num::Money::fromDecimal(static_cast<long double>(v)))
            return {false, m->units(), false, 0};
        return {false, 0, true, static_cast<long double>(v)};
    }

    void add(const MemTable& table, int pos, int column) { add(partOf(table, pos, column)); }
    void addNumber(double v) { add(partOf(v)); }
    void add(const Part& p)
    {
        if (p.null)
            return;
        m_any = true;
        m_units += p.units;
        m_wide += p.wideValue;
    }

    // Null when no value was added.
    std::optional<long double> total() const
    {
        if (!m_any)
            return std::nullopt;
        return static_cast<long double>(m_units) / 10000.0L + m_wide;
    }

    // The number at the start of a text, as the engine reads it when it adds
    // the text up: blanks, a sign, digits with one ".", an exponent.
    static double leadingNumber(std::string_view text);

private:
    __extension__ typedef __int128 Units;
    Units m_units = 0;
    long double m_wide = 0;
    bool m_any = false;
};
