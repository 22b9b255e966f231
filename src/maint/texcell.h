// Texcell is the Excel import window "Excel导入数据库"; the shop's documents fix the name (docs/names.md).
#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;
class QPushButton;
class Tdmfm;

// The window "Excel导入数据库": adds the rows of a workbook's sheet `korvel`
// to the stock table of a chosen database file. The window collects the two
// paths and shows the outcome; the import itself is the store's. When the
// chosen file is the program's own database the rows go through its
// connection and the stock list is reloaded.
class Texcell final : public QDialog
{
    Q_OBJECT
public:
    Texcell(Tdmfm& dm, std::function<void()> reloadStockList, QWidget* parent = nullptr);

    QLineEdit* workbookPath() const { return m_workbook; }
    QLineEdit* databasePath() const { return m_database; }
    QPushButton* workbookButton() const { return m_chooseWorkbook; }
    QPushButton* databaseButton() const { return m_chooseDatabase; }
    QPushButton* importButton() const { return m_import; }

    // The support contact number shown after "QQ:" in the failure messages.
    static QString supportNumber();

private slots:
    // "打开Excel文件"
    void onChooseWorkbook();
    // "选择数据库"
    void onChooseDatabase();
    // "Excel自动导入"
    void onImport();

private:
    Tdmfm& m_dm;
    std::function<void()> m_reloadStockList;
    QLineEdit* m_workbook;
    QLineEdit* m_database;
    QPushButton* m_chooseWorkbook;
    QPushButton* m_chooseDatabase;
    QPushButton* m_import;
};
