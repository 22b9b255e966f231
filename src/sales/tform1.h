// TForm1 is the summary window "汇总统计"; the shop's documents fix the name (docs/names.md).
#pragma once

#include <QDialog>
#include <QSet>

#include <functional>

class DataGrid;
class Tdmfm;

// The summary window "汇总统计": one row per article with the purchased, sold
// and stocked quantities and amounts of all its stock rows, and their totals.
// Refreshed at every showing; closing it closes the summary query.
class TForm1 final : public QDialog
{
    Q_OBJECT
public:
    // `userName` gives the logged-in user for the signature of exports and printouts.
    TForm1(Tdmfm& dm, std::function<QString()> userName, QWidget* parent = nullptr);

    // Computes the summary again and makes its last row current. A click on a
    // title sorts until the next refresh.
    void refresh();
    // Ordinary users never see purchase, sales and stock amounts: those
    // columns are hidden for good.
    void hideAmountColumnsForOrdinaryUser();

    DataGrid* grid() const { return m_grid; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    Tdmfm& m_dm;
    std::function<QString()> m_userName;
    DataGrid* m_grid;
    // The fields an ordinary user's exports and printouts leave out.
    QSet<QString> m_restricted;
    // Until hideAmountColumnsForOrdinaryUser(): exports add the row set's other fields.
    bool m_superAdministrator = true;
};
