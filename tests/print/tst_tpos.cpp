#include "recordingport.h"
#include "testdb.h"

#include "app/tmainform.h"
#include "print/tpos.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

class TestTpos : public QObject
{
    Q_OBJECT

private slots:
    void initialTextsSaveAndLoad();
    void emptyTitleKeepsInitialTexts();
    void menuItemsShowTheWindow();
    void printerChoicesSaveAndLoad();
};

void TestTpos::initialTextsSaveAndLoad()
{
    TestShop shop;
    RecordingPort port;
    {
        Tpos w;
        QCOMPARE(w.windowTitle(), QStringLiteral("销售单小票设置"));
        QCOMPARE(w.text(Tpos::Pos1), QStringLiteral("POS小票销售单"));
        QCOMPARE(w.text(Tpos::Pos4), QStringLiteral("欢迎下次惠顾！"));
        QVERIFY(w.text(Tpos::Pos3).startsWith(QStringLiteral("官网：")));
        QVERIFY(w.text(Tpos::Dan1).endsWith(QStringLiteral("销售单")));
        w.show();
        w.field(Tpos::Pos1)->setText(QStringLiteral(" 体育用品店 "));
        w.field(Tpos::Dan3)->clear();
        w.field(Tpos::Company)->setText(QStringLiteral("O'Neil 体育"));
        QTest::mouseClick(w.saveButton(), Qt::LeftButton);
        QCOMPARE(port.texts(), QStringList{QStringLiteral("已保存成功！")});
        QVERIFY(!w.isVisible());
    }
    // Stored untrimmed, every one of the nine.
    QCOMPARE(SettingsStore::read(settingkeys::receiptTitle), QStringLiteral(" 体育用品店 "));
    QCOMPARE(SettingsStore::read(QStringLiteral("dan3")), QString());
    QCOMPARE(SettingsStore::read(settingkeys::receiptClosing), QStringLiteral("欢迎下次惠顾！"));
    Tpos again;
    QCOMPARE(again.text(Tpos::Pos1), QStringLiteral(" 体育用品店 "));
    QCOMPARE(again.text(Tpos::Dan3), QString());
    QCOMPARE(again.text(Tpos::Company), QStringLiteral("O'Neil 体育"));
}

void TestTpos::emptyTitleKeepsInitialTexts()
{
    TestShop shop;
    RecordingPort port;
    {
        Tpos w;
        w.field(Tpos::Pos1)->clear();
        w.field(Tpos::Pos4)->setText(QStringLiteral("再见"));
        QVERIFY(w.save());
    }
    // Only the stored title decides whether the stored texts come back.
    Tpos again;
    QCOMPARE(again.text(Tpos::Pos1), QStringLiteral("POS小票销售单"));
    QCOMPARE(again.text(Tpos::Pos4), QStringLiteral("欢迎下次惠顾！"));
}

void TestTpos::menuItemsShowTheWindow()
{
    TestShop shop;
    RecordingPort port;
    TMainForm main(shop.dm());
    QAction* item = main.action(QStringLiteral("打印设置"));
    QVERIFY(item);
    QVERIFY(!main.receiptSettings()->isVisible());
    item->trigger();
    QVERIFY(main.receiptSettings()->isVisible());
    QVERIFY(!main.receiptSettings()->isModal());
    int items = 0;
    for (QMenu* menu : {main.settingsMenu(), main.gridMenu()})
        for (QAction* a : menu->actions())
            items += a->text() == QStringLiteral("打印设置");
    QCOMPARE(items, 2);
}

// The printer part is chosen with the keyboard, saved, and read back at the
// next start, each value on its own: no stored title is needed for it.
void TestTpos::printerChoicesSaveAndLoad()
{
    TestShop shop;
    RecordingPort port;
    {
        Tpos w;
        const ReceiptSetup initial = w.setup();
        QCOMPARE(initial.paper.widthMm, 80);
        QVERIFY(!initial.escPos);
        QVERIFY(!w.portBox()->isEnabled()); // the ESC/POS choices wait for ESC/POS
        w.show();
        w.paperBox()->setFocus();
        QTest::keyClick(w.paperBox(), Qt::Key_Down); // 其他宽度
        QVERIFY(w.paperMmBox()->isEnabled());
        w.paperMmBox()->setValue(48);
        w.outputBox()->setCurrentIndex(1);
        QVERIFY(w.portBox()->isEnabled());
        w.portBox()->setCurrentIndex(2); // 设备文件
        w.targetEdit()->clear();
        QTest::keyClicks(w.targetEdit(), QStringLiteral("/dev/usb/lp0"));
        w.textModeBox()->setCurrentIndex(2); // raster: no Chinese mode to switch
        QVERIFY(!w.chineseModeBox()->isEnabled());
        w.drawerBox()->setChecked(true);
        w.field(Tpos::Phone)->setText(QStringLiteral("0571-88886666"));
        w.field(Tpos::Pos1)->clear(); // the texts' initial values come back, the printer's do not
        QVERIFY(w.save());
    }
    Tpos again;
    const ReceiptSetup s = again.setup();
    QCOMPARE(s.paper.widthMm, 48);
    QVERIFY(s.escPos);
    QCOMPARE(s.port.kind, PrinterPort::Kind::DeviceFile);
    QCOMPARE(s.port.target, QStringLiteral("/dev/usb/lp0"));
    QCOMPARE(s.options.mode, escpos::Mode::Raster);
    QVERIFY(s.options.openDrawer);
    QCOMPARE(again.text(Tpos::Phone), QStringLiteral("0571-88886666"));
    QCOMPARE(again.text(Tpos::Pos1), QStringLiteral("POS小票销售单"));
    QCOMPARE(SettingsStore::read(QString(settingkeys::receiptOutput)), QStringLiteral("escpos"));
}

QTEST_MAIN(TestTpos)
#include "tst_tpos.moc"
