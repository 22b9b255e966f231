#pragma once

// What the sales detail window needs from the window that opens it. The main
// window implements it; the sales window never reaches into its widgets.
class SalesHost
{
public:
    virtual ~SalesHost() = default;

    // Only the super administrator changes and deletes recorded sales.
    virtual bool isSuperAdministrator() const = 0;
    // The sales window closed: the stock list shows every stock row again
    // (a deletion may have changed figures), and the stock-in and sale
    // panels are hidden.
    virtual void salesWindowClosed() = 0;
    // The logged-in user, for the signature of exports and printouts.
    virtual QString userName() const = 0;
    // "销售单预览": the A4 sales slip of the sale number, in a print preview.
    virtual void previewSlip(const QString& saleNumber) = 0;
};
