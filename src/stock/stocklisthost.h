#pragma once

#include "stock/stockhost.h"

// What the stock list panel needs from the window that hosts it, beyond what
// every stock panel needs. The main window implements it; the panel knows
// nothing of the sale panels.
class StockListHost : public StockHost
{
public:
    // A row other than the previously clicked one was clicked: an open sale ends.
    virtual void stockRowChanged() = 0;
    // A row was double-clicked: it is to be sold.
    virtual void stockRowDoubleClicked(int row) = 0;
    // The stock-in panel takes the place of the sale panel, which hides.
    virtual void hideSale() = 0;
};
