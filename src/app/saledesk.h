#pragma once

#include <QObject>
#include <QString>

class MainToolbar;
class PosHost;
class ReceiptSender;
class QDate;
class SalePanel;
class SecondaryWindows;
class SlipPanel;
class StockListPanel;
class Tdmfm;

// The selling part of the main window: the sale and slip panels floating over
// the stock grid and opened from it, what opens the slip panel ("单据打印",
// "销售单(小票)打印") and its printer settings ("打印设置"), the receipt and the
// A4 slip it prints, with the sale date written back at closing.
class SaleDesk final : public QObject
{
    Q_OBJECT
public:
    // Puts both panels, hidden, over `area` of a window `windowWidth` wide: the
    // sale panel at its right edge. A saved sale and the slip preview go to `windows`.
    SaleDesk(Tdmfm& dm, PosHost& host, QWidget* area, int windowWidth, StockListPanel& list, MainToolbar& toolbar,
             SecondaryWindows& windows);

    SalePanel* sale() const { return m_sale; }
    SlipPanel* slip() const { return m_slip; }
    // At every showing of the main window: both panels hidden, the sale dated
    // `today`, and the next opening numbers a new customer.
    void prepareShow(const QDate& today);
    // At closing the sale date is kept in the settings.
    void rememberSaleDate();

    // A double click on stock row `row`: the sale panel opens for it, over the other panels.
    void sellRow(int row);
    // A click on another stock row: an open sale ends.
    void endSale();

private:
    Tdmfm& m_dm;
    SalePanel* m_sale;
    SlipPanel* m_slip;
    // Sends ESC/POS receipts off the window's thread.
    ReceiptSender* m_receiptSender;
};
