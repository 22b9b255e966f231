#pragma once

#include <QObject>
#include <QString>

class MainToolbar;
class PosHost;
class QDate;
class SalePanel;
class SecondaryWindows;
class SlipPanel;
class StockListPanel;
class Tdmfm;

// The selling part of the main window: the sale and slip panels floating over
// the stock grid and opened from it, what opens the slip panel ("单据打印",
// "销售单(小票)打印") and its printer settings ("打印设置"), the receipt and the
// A4 slip it prints, and the sale numbers' day sequence, read from the
// settings at every showing, with the sale date written back at closing.
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
    // Day sequence and remembered date of the sale numbers, as read at the last showing.
    qint64 daySequence() const { return m_daySequence; }
    QString rememberedDate() const { return m_rememberedDate; }

    // At every showing of the main window: both panels hidden, the sale dated
    // `today` and numbered on from the stored day sequence.
    void prepareShow(const QDate& today);
    // The next run compares its sale date with this one to start a new day's sequence.
    void rememberSaleDate();

    // A double click on stock row `row`: the sale panel opens for it, over the other panels.
    void sellRow(int row);
    // A click on another stock row: an open sale ends.
    void endSale();

private:
    Tdmfm& m_dm;
    SalePanel* m_sale;
    SlipPanel* m_slip;
    qint64 m_daySequence = 1;
    QString m_rememberedDate;
};
