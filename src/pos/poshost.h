#pragma once

#include <QString>

// What the sale and slip panels need from the window that hosts them. The main
// window implements it; the panels never reach into its widgets.
class PosHost
{
public:
    virtual ~PosHost() = default;

    // Shows `text` in the message panel for two seconds.
    virtual void showNotice(const QString& text) = 0;
    // The logged-in user (the cashier on the receipt).
    virtual QString userName() const = 0;
    // The sale panel opened for a Stock row: the stock-in panel enables "修改入库"
    // and takes the row's remark.
    virtual void saleOpened(const QString& remark) = 0;
    // The sale panel was closed: "修改入库" is disabled again.
    virtual void saleClosed() = 0;
};
