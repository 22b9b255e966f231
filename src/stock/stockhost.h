#pragma once

#include <QString>

// What the stock panels need from the window that hosts them. The main window
// implements it; panels hold a reference to this instead of reaching into the
// main window's widgets.
class StockHost
{
public:
    virtual ~StockHost() = default;

    // "全部记录": refill the drop-down lists, reload the stock list, make the last row current.
    virtual void reloadStockList() = 0;
    // Shows `text` in the message panel for two seconds.
    virtual void showNotice(const QString& text) = 0;
    // "读取列宽": applies the saved column layout of the stock grid.
    virtual void restoreStockLayout() = 0;

    // The logged-in user (empty before the login) and whether that user has every right.
    virtual QString userName() const = 0;
    virtual bool isSuperAdministrator() const = 0;
};
