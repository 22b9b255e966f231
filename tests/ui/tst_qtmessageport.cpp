#include "ui/qtmessageport.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// The message boxes as the program shows them.
class TestQtMessagePort : public QObject
{
    Q_OBJECT

private slots:
    void titleIsNeverCut();
};

void TestQtMessagePort::titleIsNeverCut()
{
    const QString title = QStringLiteral("Tarvik运动品销售管理软件 V4.3.7(春节珍藏版)");
    QtMessagePort port(title);
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // A short text: the box would be narrower than its title.
    int width = 0;
    int titleWidth = 0;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            QFont bold = box->font();
            bold.setBold(true);
            titleWidth = QFontMetrics(bold).horizontalAdvance(box->windowTitle());
            width = box->width();
            box->accept();
        }
    });
    poll.start(20);
    port.inform(QStringLiteral("成功删除！"));
    QVERIFY(titleWidth > 0);
    // Beside the title a title bar holds an icon and three buttons.
    constexpr int kTitleBarButtons = 100;
    QVERIFY2(width >= titleWidth + kTitleBarButtons, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(titleWidth)));
}

QTEST_MAIN(TestQtMessagePort)
#include "tst_qtmessageport.moc"
