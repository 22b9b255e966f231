#pragma once

// A shop with a logged-in main window and its sales detail window, for the
// tests of the sales windows: sale rows are written straight into the file,
// the window is opened from the toolbar and driven by keys and clicks.

#include "login.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "core/numbers.h"
#include "sales/txstj.h"
#include "store/db/passwordhash.h"
#include "store/memory/rowset.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "users/tloginfm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <memory>

struct SaleRow
{
    QString name, model, code, category;
    double quantity = 1, price = 10, owed = 0, profit = 0;
    QString day;    // sale date; empty: today
    QString number; // sale number
    QString customer, contact, address, remark;
    QString initials; // e; empty: none
    QString modelInitials;
    double purchasePrice = 0;
    QString stockInDay = QStringLiteral("2026-01-05");
};

inline SaleRow saleRow(const QString& name, const QString& model, const QString& code, const QString& category,
                       double quantity, double price, double owed = 0, double profit = 0)
{
    SaleRow r;
    r.name = name;
    r.model = model;
    r.code = code;
    r.category = category;
    r.quantity = quantity;
    r.price = price;
    r.owed = owed;
    r.profit = profit;
    return r;
}

struct SalesShop
{
    TestShop shop;
    RecordingPort port;
    std::unique_ptr<TMainForm> main;

    Tdmfm& dm() { return shop.dm(); }
    Txstj* window() const { return main->salesWindow(); }
    DataGrid* grid() const { return window()->grid(); }
    RowSet& list() { return dm().sales().list(); }

    bool addUser(const QString& name, const QString& password)
    {
        return dm()
            .appendRow(QStringLiteral("userdb"),
                       {{QStringLiteral("username"), name}, {QStringLiteral("passwd"), hashPassword(password)}})
            .ok();
    }

    qint64 addSale(const SaleRow& s)
    {
        const QVariantMap row{
            {QStringLiteral("a"), s.name},
            {QStringLiteral("b"), s.model},
            {QStringLiteral("c"), s.code},
            {QStringLiteral("d"), s.category},
            {QStringLiteral("e"), s.initials},
            {QStringLiteral("f"), s.modelInitials},
            {QStringLiteral("g"), s.customer},
            {QStringLiteral("h"), s.address},
            {QStringLiteral("i"), s.contact},
            {QStringLiteral("j"), s.remark},
            {QStringLiteral("z"), s.number},
            {QStringLiteral("1"), s.purchasePrice},
            {QStringLiteral("2"), s.price},
            {QStringLiteral("3"), s.quantity},
            {QStringLiteral("4"), s.price * s.quantity},
            {QStringLiteral("a5"), s.profit},
            {QStringLiteral("6"), s.owed},
            {QStringLiteral("day1"), s.day.isEmpty() ? num::today() : s.day},
            {QStringLiteral("day2"), s.stockInDay},
        };
        return dm().appendRow(QStringLiteral("data1"), row).valueOr(-1);
    }

    bool start(const QString& user = QStringLiteral("超级管理员"), const QString& password = QStringLiteral("864"))
    {
        main = std::make_unique<TMainForm>(dm());
        return logIn(*main, user, password);
    }

    // Opens the sales detail window with the toolbar button.
    bool open()
    {
        QTest::mouseClick(main->salesButton(), Qt::LeftButton);
        return QTest::qWaitForWindowExposed(window());
    }

    // The names of the rows the grid lists, in order.
    QStringList names() const
    {
        QStringList out;
        for (int row = 0; row < grid()->model()->rowCount(); ++row)
            out << grid()->displayText(row, QStringLiteral("a"));
        return out;
    }

    // A click on the cell of `row` in the column of `field`.
    void clickRow(int row, const QString& field = QStringLiteral("a"))
    {
        QTableView* view = grid()->view();
        const QModelIndex index = view->model()->index(row, grid()->model()->columnOf(field));
        view->scrollTo(index);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
    }
    void doubleClickRow(int row)
    {
        QTableView* view = grid()->view();
        const QModelIndex index = view->model()->index(row, 0);
        const QPoint at = view->visualRect(index).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    }
    int rowOf(const QString& name) const { return names().indexOf(name); }
};
