#include "recordingport.h"
#include "testdb.h"

#include "app/skins.h"
#include "app/tmainform.h"
#include "stock/stockinpanel.h"
#include "store/ops/tdmfm.h"
#include "ui/datagrid.h"
#include "ui/datagridmodel.h"
#include "users/tloginfm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

#include <cmath>

// What a person sees under each skin, checked on the rendered pixels: every
// text stands out from what is behind it, and the colours the windows are
// known by (the red login hint, the grid's title colours) stay.
//
// With TARVIK_SCREENSHOTS set to a folder, the pictures are saved there; with
// TARVIK_SCREENSHOT_SHOP set to a shop folder (tarvik-admin demo), its
// database is shown instead of a small one.
class TestSkins : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFont::insertSubstitution(QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC")); }
    void cleanup() { skins::apply(-1); }
    void everyTextReadable_data();
    void everyTextReadable();
};

namespace {

const QString kRedHint = QStringLiteral("初始登陆密码：864");

double luminance(QRgb c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b)
{
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// The contrast between the most frequent colour of the area (its background)
// and the colour that stands out most from it (the strokes of its text).
double textContrast(const QImage& image, const QRect& area)
{
    QHash<QRgb, int> counts;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(background, it.key()));
    return best;
}

int redPixels(const QImage& image, const QRect& area)
{
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb c = image.pixel(x, y);
            n += qRed(c) > 200 && qGreen(c) < 70 && qBlue(c) < 70;
        }
    return n;
}

// Where a text-bearing widget shows its text, in the coordinates of `window`.
QRect textArea(QWidget* w, QWidget* window)
{
    QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
    if (qobject_cast<QCheckBox*>(w))
        r.setLeft(r.left() + 18); // the text beside the tick box
    return r.adjusted(1, 1, -1, -1);
}

// Checks every visible label, check box and button with text under `root`.
void checkTexts(QWidget* root, QWidget* window, const QImage& image, const QString& skin)
{
    const QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(window))
            continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w))
            text = label->text();
        else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QPushButton*>(w))
            text = static_cast<QAbstractButton*>(w)->text();
        if (text.trimmed().isEmpty())
            continue;
        // The login's hint is pure red, which reaches 4.5 on no background
        // that black text can also be read on; it is a short line, checked
        // for its red below.
        const double needed = text == kRedHint ? 3 : 4.5;
        const double c = textContrast(image, textArea(w, window));
        QVERIFY2(c >= needed, qPrintable(QStringLiteral("%1: \"%2\" contrast %3").arg(skin, text).arg(c, 0, 'f', 2)));
    }
}

QString skinName(int skin)
{
    return skin < 0 ? QStringLiteral("default") : QStringLiteral("skin%1").arg(skin);
}

void save(const QImage& image, const QString& name)
{
    const QString folder = qEnvironmentVariable("TARVIK_SCREENSHOTS");
    if (!folder.isEmpty())
        image.save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

} // namespace

void TestSkins::everyTextReadable_data()
{
    QTest::addColumn<int>("skin");
    QTest::newRow("default look") << -1;
    for (int i = 0; i < 5; ++i)
        QTest::newRow(qPrintable(skins::captions().at(i))) << i;
}

void TestSkins::everyTextReadable()
{
    QFETCH(int, skin);
    const QString name = skinName(skin);
    TestShop shop;
    RecordingPort port;
    const QString demo = qEnvironmentVariable("TARVIK_SCREENSHOT_SHOP");
    if (!demo.isEmpty()) {
        QVERIFY(QFile::remove(shop.dbPath()));
        QVERIFY(QFile::copy(QDir(demo).filePath(QStringLiteral("data.mdb")), shop.dbPath()));
    } else {
        shop.addStock(QStringLiteral("羽毛球拍"), QStringLiteral("全碳素"), QStringLiteral("6905555"),
                      QStringLiteral("乒羽用品"), 80, 3, 150);
        shop.addStock(QStringLiteral("瑜伽垫"), QStringLiteral("6mm"), QStringLiteral("6901111"),
                      QStringLiteral("健身器材"), 30, 10, 59);
    }
    skins::apply(skin);

    TMainForm main(shop.dm());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    Tloginfm* login = main.loginWindow();
    QTRY_VERIFY(login->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(login));

    // The login window: readable, and its hint red.
    const QImage loginImage = login->grab().toImage();
    save(loginImage, QStringLiteral("login-") + name);
    checkTexts(login, login, loginImage, name);
    QLabel* hint = nullptr;
    for (QLabel* l : login->findChildren<QLabel*>())
        if (l->text() == kRedHint)
            hint = l;
    QVERIFY(hint);
    QVERIFY2(redPixels(loginImage, textArea(hint, login)) > 20, qPrintable(name));

    login->userList()->setCurrentText(QStringLiteral("超级管理员"));
    QTest::keyClicks(login->passwordBox(), QStringLiteral("864"));
    QTest::mouseClick(login->loginButton(), Qt::LeftButton);
    QTRY_VERIFY(main.sessionId() > 0);
    // The stock list fills once its table, read in the background, is in.
    QTRY_VERIFY(!main.isLoadingInBackground());

    // The main window with the stock-in panel open over a clicked row.
    main.action(QStringLiteral("新建入库"))->trigger();
    QTableView* view = main.grid()->view();
    const int last = view->model()->rowCount() - 1;
    QVERIFY(last >= 0);
    view->scrollTo(view->model()->index(last, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(last, 0)).center());
    QVERIFY(main.stockInPanel()->isVisible());
    QApplication::processEvents();
    const QImage image = main.grab().toImage();
    save(image, QStringLiteral("mainwindow-") + name);
    checkTexts(&main, &main, image, name);

    // The title colours of the stock grid.
    QHeaderView* header = view->horizontalHeader();
    const auto titleColour = [&](const QString& field) {
        const int section = main.grid()->model()->columnOf(field);
        const QPoint at(header->sectionViewportPosition(section) + 3, header->height() * 3 / 4);
        return QColor(image.pixel(header->viewport()->mapTo(&main, at)));
    };
    QCOMPARE(titleColour(QStringLiteral("a")), QColor(166, 202, 240)); // sky blue
    QCOMPARE(titleColour(QStringLiteral("2")), QColor(0, 128, 128));   // teal
    QCOMPARE(titleColour(QStringLiteral("7")), QColor(128, 0, 0));     // maroon

    // The status bar holds the four panels and nothing else, and a panel
    // with nothing to show (the hint, while no hint is shown) shows nothing:
    // no empty box.
    QStatusBar* bar = main.statusBar();
    int shown = 0;
    for (QWidget* w : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        shown += w->isVisible();
    QCOMPARE(shown, 4);
    QLabel* hintPanel = main.statusPanel(0);
    QVERIFY(hintPanel->text().isEmpty());
    const QRect panel(hintPanel->mapTo(&main, QPoint(0, 0)), hintPanel->size());
    QVERIFY2(textContrast(image, panel.adjusted(-2, -2, 2, 2)) < 1.1, qPrintable(name));
    QVERIFY(port.entries.isEmpty());
}

QTEST_MAIN(TestSkins)
#include "tst_skins.moc"
