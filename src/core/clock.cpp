#include "core/clock.h"

namespace wallclock {

namespace {

std::function<QDateTime()>& source()
{
    static std::function<QDateTime()> s;
    return s;
}

} // namespace

QDateTime now()
{
    const auto& s = source();
    return s ? s() : QDateTime::currentDateTime();
}

QDate today()
{
    return now().date();
}

void setSource(std::function<QDateTime()> s)
{
    source() = std::move(s);
}

FixedClock::FixedClock(const QDateTime& at)
    : m_at(at)
{
    setSource([this] { return m_at; });
}

FixedClock::~FixedClock()
{
    setSource({});
}

} // namespace wallclock
