#pragma once

#include "pos/poshost.h"
#include "stock/stockhost.h"

#include <QString>
#include <QStringList>

#include <functional>

class Tdmfm;

// The main window as far as the stock panels see it. The stock list is loaded
// as the main window's stock list panel loads it: a reload shows every row
// (zero stock shown) with the last one current. Records what the panels asked
// for.
class FakeStockHost final : public StockHost
{
public:
    explicit FakeStockHost(Tdmfm& dm);

    void reloadStockList() override;
    void showNotice(const QString& text) override { notices << text; }
    void restoreStockLayout() override {}
    QString userName() const override;
    bool isSuperAdministrator() const override { return true; }

    // Runs first at each reload, as the main window refills the stock-in
    // panel's drop-down lists before it reloads the list.
    std::function<void()> refillLists;
    int reloads = 0;
    QStringList notices;

private:
    Tdmfm& m_dm;
};

// The main window as far as the sale and slip panels see it. Records what the
// panels asked for. showStockList() is the list the main window shows before
// any search (every row, as "全部记录").
class FakePosHost final : public PosHost
{
public:
    explicit FakePosHost(Tdmfm& dm);

    void showStockList();
    void showNotice(const QString& text) override { notices << text; }
    QString userName() const override;
    void saleOpened(const QString& remark) override { opened << remark; }
    void saleClosed() override { ++closed; }

    int closed = 0;
    QStringList notices;
    QStringList opened;

private:
    Tdmfm& m_dm;
};
