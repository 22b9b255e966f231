#include "ui/qtmessageport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// The message boxes as the program shows them.
class TestQtMessagePort : public QObject
{
    Q_OBJECT

private slots:
    void titleIsNeverCut();
    void closingABoxNeverEndsTheProgram();
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

// While the backup window is open the main window is hidden, and right after
// a long work the window system may not yet have made any window active: the
// box then has no owner. Its closing must not look like the program's last
// window closing, which would end the program.
void TestQtMessagePort::closingABoxNeverEndsTheProgram()
{
    // The program ends by a Quit event posted to the application.
    struct QuitWatch : QObject
    {
        int quits = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() != QEvent::Quit)
                return false;
            ++quits;
            return true;
        }
    } watch;
    qApp->installEventFilter(&watch);
    QtMessagePort port(QStringLiteral("Tarvik"));
    QWidget main; // hidden
    QTimer poll;
    bool shown = false;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll.stop();
            shown = true;
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(20);
    // Inside the program's event loop, as in the program: only then does the
    // last window's closing end it.
    QTimer::singleShot(0, this, [&] {
        port.inform(QStringLiteral("数据库备份成功！"));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    qApp->removeEventFilter(&watch);
    QVERIFY(shown);
    QCOMPARE(watch.quits, 0);
}

QTEST_MAIN(TestQtMessagePort)
#include "tst_qtmessageport.moc"
