#pragma once

#include <QDate>
#include <QDateTime>

#include <functional>

// The one place the program asks what day and time it is. Everything that
// dates a sale, composes a sale number or notices that midnight has passed
// reads the clock through here, so that a test can set "now" and a test run
// across midnight behaves like any other.
namespace wallclock {

QDateTime now();
QDate today();

// Replaces the system clock until reset (an empty function restores it).
void setSource(std::function<QDateTime()> source);

// Holds a fixed (or settable) "now" for as long as it lives.
class FixedClock final
{
public:
    explicit FixedClock(const QDateTime& at);
    ~FixedClock();
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    void set(const QDateTime& at) { m_at = at; }
    void setDate(const QDate& day) { m_at = QDateTime(day, m_at.time()); }

private:
    QDateTime m_at;
};

} // namespace wallclock
