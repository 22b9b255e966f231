#pragma once

// What the stock list panel tells the window that hosts it. The main window
// implements it; the panel knows nothing of the sale panels.
class StockListHost
{
public:
    virtual ~StockListHost() = default;

    // A row other than the previously clicked one was clicked: an open sale ends.
    virtual void stockRowChanged() = 0;
    // A row was double-clicked: it is to be sold.
    virtual void stockRowDoubleClicked(int row) = 0;
};
