#pragma once

#include "store/memory/stockqueries.h"

#include <QGroupBox>

#include <optional>

class DateField;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class RowSet;
class Tdmfm;

// The search box " 快速拼音查询" under the stock grid. It only collects the
// conditions; the stock list panel hands them to the in-memory stock filter.
class StockSearchBox final : public QGroupBox
{
    Q_OBJECT
public:
    explicit StockSearchBox(QWidget* parent = nullptr);

    stockq::Conditions conditions() const;
    // Refills the category and supplier lists, which also empties their text.
    void refillLists(Tdmfm& dm);
    void setDates(const QDate& day);
    // "清空条件": empties the boxes and the two lists, unticks the date, then
    // asks for one search, which thus lists everything again.
    void clearConditions();
    // With "入库日期：" ticked, the text of a from- or to-date that is no real
    // date (empty, half typed, impossible); nothing when the dates can be searched.
    std::optional<QString> invalidDate() const;

    QComboBox* categoryList() const { return m_category; }
    QLineEdit* nameBox() const { return m_name; }
    QComboBox* supplierList() const { return m_supplier; }
    QLineEdit* modelBox() const { return m_model; }
    QLineEdit* codeBox() const { return m_code; }
    QCheckBox* dateCheck() const { return m_byDate; }
    DateField* fromDate() const { return m_from; }
    DateField* toDate() const { return m_to; }
    QLineEdit* remarkBox() const { return m_remark; }
    QPushButton* searchButton() const { return m_search; }
    QPushButton* clearButton() const { return m_clear; }
    QPushButton* allButton() const { return m_all; }

signals:
    void searchRequested();
    void reloadRequested();

private:
    QComboBox* m_category;
    QLineEdit* m_name;
    QComboBox* m_supplier;
    QLineEdit* m_model;
    QLineEdit* m_code;
    QPushButton* m_clear;
    QPushButton* m_search;
    QCheckBox* m_byDate;
    DateField* m_from;
    DateField* m_to;
    QLineEdit* m_remark;
    QPushButton* m_all;
    bool m_clearing = false;
};
