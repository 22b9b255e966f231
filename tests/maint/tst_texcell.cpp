#include "login.h"
#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "maint/texcell.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"
#include "store/db/schema.h"
#include "store/ops/tdmfm.h"
#include "ui/backgroundwork.h"
#include "users/tloginfm.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

QString fixture(const char* name)
{
    return QStringLiteral(TARVIK_SOURCE_DIR "/tests/fixtures/workbooks/") + QLatin1String(name);
}

// Runs `step` once `ready` holds, from the event loop (a modal window or a
// menu is open in between).
void whenReady(const std::function<bool()>& ready, const std::function<void()>& step)
{
    QTimer::singleShot(10, [=] {
        if (ready())
            step();
        else
            whenReady(ready, step);
    });
}

int stockRows(Tdmfm& dm)
{
    QueryResult r;
    QString error;
    dm.db().query(Statement{QStringLiteral("SELECT count(*) FROM data"), {}}, &r, &error);
    return r.rows.value(0).value(0).toInt();
}

} // namespace

class TestTexcell : public QObject
{
    Q_OBJECT
private slots:
    void importFromTheToolbarMenu();
    void outcomes_data();
    void outcomes();
    void cancelledWhileReadingWritesNothing();
};

// "新建入库" → "Excel导入", both files chosen through the file dialogs,
// "Excel自动导入": the rows are in the stock list when the window closes.
void TestTexcell::importFromTheToolbarMenu()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QVERIFY(logIn(main));
    QCOMPARE(shop.dm().stock().list().rowCount(), 0);
    port.fileNames << fixture("stock.xls") << shop.dbPath();

    bool done = false;
    whenReady([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr; },
              [&] {
                  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                  QAction* item = nullptr;
                  for (QAction* a : menu->actions())
                      if (a->text() == QStringLiteral("Excel导入"))
                          item = a;
                  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
              });
    whenReady([&] { return main.importWindow() && main.importWindow()->isVisible(); },
              [&] {
                  Texcell* w = main.importWindow();
                  QTest::mouseClick(w->workbookButton(), Qt::LeftButton);
                  QTest::mouseClick(w->databaseButton(), Qt::LeftButton);
                  QTest::mouseClick(w->importButton(), Qt::LeftButton);
                  done = true;
                  w->close();
              });
    QTest::mouseClick(main.newStockButton(), Qt::LeftButton);
    QTRY_VERIFY(done);

    QCOMPARE(port.entries.last().text, QStringLiteral("批量EXCEL导入成功！请退出在主界面中点全部记录查看"));
    QCOMPARE(port.entries.last().title, QStringLiteral("警告"));
    QCOMPARE(shop.dm().stock().list().rowCount(), 3);
    QVERIFY(main.importWindow()->isModal());
    // The paths stay for the next use.
    QCOMPARE(main.importWindow()->workbookPath()->text(), fixture("stock.xls"));
    QCOMPARE(main.importWindow()->databasePath()->text(), shop.dbPath());
}

void TestTexcell::outcomes_data()
{
    QTest::addColumn<QString>("workbook");
    QTest::addColumn<QString>("database");      // "own", "other" or a file name in the shop folder
    QTest::addColumn<QString>("supportNumber"); // stored setting, if any
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("ownRows");
    QTest::addColumn<bool>("reloaded");

    const QString ok = QStringLiteral("批量EXCEL导入成功！请退出在主界面中点全部记录查看");
    QTest::newRow("blank workbook path") << QStringLiteral("   ") << QStringLiteral("own") << QString()
                                         << QStringLiteral("请正确选择相关路径！") << 0 << false;
    QTest::newRow("blank database path") << fixture("stock.xls") << QStringLiteral("  ") << QString()
                                         << QStringLiteral("请正确选择相关路径！") << 0 << false;
    QTest::newRow("database missing") << fixture("stock.xls") << QStringLiteral("none.mdb") << QString()
                                      << QStringLiteral("连接ACCESS失败！请联系技术客服QQ:800100864\n") << 0 << false;
    QTest::newRow("bad number in row 7")
        << fixture("badrow7.xls") << QStringLiteral("own") << QStringLiteral("12345")
        << QStringLiteral("批量EXCEL导入失败！请联系技术客服QQ:12345\n工作表 korvel 第 7 行 a2 列的“十个”不是数字") << 0
        << false;
    QTest::newRow("own database") << fixture("stock.xlsx") << QStringLiteral("own") << QString() << ok << 3 << true;
    // Another shop database: its rows, and no reload of this program's list.
    QTest::newRow("other database") << fixture("stock.xls") << QStringLiteral("other") << QString() << ok << 0 << false;
}

void TestTexcell::outcomes()
{
    QFETCH(QString, workbook);
    QFETCH(QString, database);
    QFETCH(QString, supportNumber);
    QFETCH(QString, message);
    QFETCH(int, ownRows);
    QFETCH(bool, reloaded);
    TestShop shop;
    RecordingPort port;
    if (!supportNumber.isEmpty())
        QVERIFY(SettingsStore::write(QString(settingkeys::supportNumber), supportNumber));
    const QString other = shop.folder() + QStringLiteral("/other.mdb");
    QString error;
    QVERIFY2(schema::createDeliveredFile(other, &error), qPrintable(error));
    if (database == QLatin1String("own"))
        database = shop.dbPath();
    else if (database == QLatin1String("other"))
        database = other;
    else if (!database.trimmed().isEmpty())
        database = shop.folder() + QLatin1Char('/') + database;

    int reloads = 0;
    Texcell w(shop.dm(), [&] { ++reloads; });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClicks(w.workbookPath(), workbook);
    QTest::keyClicks(w.databasePath(), database);
    // A cancelled file dialog leaves the field as it was.
    QTest::mouseClick(w.workbookButton(), Qt::LeftButton);
    QCOMPARE(w.workbookPath()->text(), workbook);
    port.clear();
    QTest::mouseClick(w.importButton(), Qt::LeftButton);

    QCOMPARE(port.entries.size(), 1);
    QCOMPARE(port.entries.at(0).kind, QStringLiteral("warning"));
    QCOMPARE(port.entries.at(0).title, QStringLiteral("警告"));
    QVERIFY2(port.entries.at(0).text.startsWith(message), qPrintable(port.entries.at(0).text));
    QCOMPARE(stockRows(shop.dm()), ownRows);
    QCOMPARE(reloads, reloaded ? 1 : 0);
    if (database == other) {
        Tdmfm otherDm;
        QVERIFY(otherDm.open(other));
        QCOMPARE(stockRows(otherDm), 3);
    }
}

// A full sheet takes a moment to read: its progress window's "取消" ends the
// import before anything is written, without a message.
void TestTexcell::cancelledWhileReadingWritesNothing()
{
    TestShop shop;
    RecordingPort port;
    const QString sheet = shop.folder() + QStringLiteral("/full.csv");
    {
        QFile f(sheet);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("a,b,c,d,e,f,g,a1,a2,a3,a4,a5,a6,a7,a8,z,day1\n");
        for (int i = 1; i <= 65535; ++i)
            f.write(QStringLiteral("球%1,M,C%1,球类,,,供货商,10,1,10,25,0,0,1,10,,2026-03-02\n").arg(i).toUtf8());
    }
    backgroundwork::setShowAfterMs(0);
    Texcell w(shop.dm(), [] {});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClicks(w.workbookPath(), sheet);
    QTest::keyClicks(w.databasePath(), shop.dbPath());
    bool cancelled = false;
    whenReady(
        [&] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == QLatin1String("workProgress") && top->isVisible())
                    return true;
            return false;
        },
        [&] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<QProgressDialog*>(top); progress && progress->isVisible()) {
                    const QList<QPushButton*> buttons = progress->findChildren<QPushButton*>();
                    QTest::mouseClick(buttons.value(0), Qt::LeftButton);
                    cancelled = buttons.value(0) != nullptr && buttons.value(0)->text() == QStringLiteral("取消");
                }
        });
    QTest::mouseClick(w.importButton(), Qt::LeftButton);
    backgroundwork::setShowAfterMs(500);
    QVERIFY(cancelled);
    QVERIFY2(port.entries.isEmpty(), qPrintable(port.texts().join(u'|')));
    QCOMPARE(stockRows(shop.dm()), 0);
}

QTEST_MAIN(TestTexcell)
#include "tst_texcell.moc"
