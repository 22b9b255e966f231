#include "fakehosts.h"

#include "store/memory/stockqueries.h"
#include "store/ops/tdmfm.h"

namespace {

const QString kUser = QStringLiteral("超级管理员");

void showAllStock(Tdmfm& dm)
{
    if (dm.stock().showAll(stockq::ZeroStock::Shown))
        dm.stock().list().last();
}

} // namespace

FakeStockHost::FakeStockHost(Tdmfm& dm)
    : m_dm(dm)
{
}

void FakeStockHost::reloadStockList()
{
    ++reloads;
    if (refillLists)
        refillLists();
    showAllStock(m_dm);
}

QString FakeStockHost::userName() const
{
    return kUser;
}

FakePosHost::FakePosHost(Tdmfm& dm)
    : m_dm(dm)
{
}

void FakePosHost::showStockList()
{
    showAllStock(m_dm);
}

QString FakePosHost::userName() const
{
    return kUser;
}
