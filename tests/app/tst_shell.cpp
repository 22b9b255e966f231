#include "recordingport.h"

#include "app/launchers.h"
#include "app/openonce.h"
#include "app/skins.h"
#include "app/startup.h"
#include "app/thelpform.h"

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A window kind that may be open at most once.
class OnceWindow final : public QDialog
{
    Q_OBJECT
public:
    explicit OnceWindow(QWidget* parent)
        : QDialog(parent)
    {
        ++created;
    }
    static int created;
};
int OnceWindow::created = 0;

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void openOnceBringsBackTheOpenWindow();
    void helpWindowShowsItsFixedText();
    void onlyTheFiveSkinsApply_data();
    void onlyTheFiveSkinsApply();
    void launchersFindProgramsOrSaySo();
    void titlesAreTheWindowsOwnAndQtSpeaksChinese();
};

void TestShell::openOnceBringsBackTheOpenWindow()
{
    QWidget owner;
    owner.show();
    OnceWindow* first = openOnce<OnceWindow>(&owner);
    QVERIFY(first->isVisible());
    first->showMinimized();
    QPointer<OnceWindow> second = openOnce<OnceWindow>(&owner);
    QCOMPARE(second.data(), first);
    QCOMPARE(OnceWindow::created, 1);
    QVERIFY(!first->isMinimized());
    // Closed windows are gone; the next request creates a new one.
    first->close();
    QTRY_VERIFY(second.isNull());
    openOnce<OnceWindow>(&owner);
    QCOMPARE(OnceWindow::created, 2);
}

void TestShell::helpWindowShowsItsFixedText()
{
    THelpForm help;
    QCOMPARE(help.windowTitle(), QStringLiteral("使用帮助"));
    QCOMPARE(help.size(), QSize(569, 369));
    auto* tabs = help.findChild<QTabWidget*>();
    QCOMPARE(tabs->tabText(0), QStringLiteral("快速使用"));
    auto* text = help.findChild<QPlainTextEdit*>();
    QVERIFY(text->isReadOnly());
    const QStringList lines = text->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 21);
    QCOMPARE(lines.first(), QStringLiteral("1、入库："));
    QCOMPARE(lines.at(13), QString());
    QCOMPARE(lines.last(), QStringLiteral("6、支持各种查询结果导出Excel和打印功能"));
}

void TestShell::onlyTheFiveSkinsApply_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("skin");
    QTest::newRow("first") << "0" << 0;
    QTest::newRow("last") << "4" << 4;
    QTest::newRow("out of range") << "5" << -1;
    QTest::newRow("not a number") << "blue" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestShell::onlyTheFiveSkinsApply()
{
    QFETCH(QString, stored);
    QFETCH(int, skin);
    skins::apply(-1);
    skins::applyStored(stored);
    QCOMPARE(skins::current(), skin);
    QCOMPARE(qApp->styleSheet().isEmpty(), skin < 0);
    QCOMPARE(skins::captions().size(), 5);
    skins::apply(-1);
}

void TestShell::launchersFindProgramsOrSaySo()
{
    QTemporaryDir dir;
    QFile fake(dir.filePath(QStringLiteral("xcalc")));
    QVERIFY(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\nexit 0\n");
    fake.close();
    fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", dir.path().toUtf8());
    QCOMPARE(launchers::findProgram(launchers::calculatorCandidates()), fake.fileName());
    RecordingPort port;
    QVERIFY(!launchers::start(launchers::editorCandidates(), QStringLiteral("没有找到文本编辑器")));
    QCOMPARE(port.texts(), QStringList{QStringLiteral("没有找到文本编辑器")});
    qputenv("PATH", path);
}

void TestShell::titlesAreTheWindowsOwnAndQtSpeaksChinese()
{
    startup::configureApplication(*qApp);
    // A display name would be appended by the desktop to every window title.
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());

    // The context menu of an entry box.
    QLineEdit box(QStringLiteral("abc"));
    std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            texts << a->text().section(u'\t', 0, 0); // without the shortcut
    QVERIFY(!texts.isEmpty());
    for (const QString& t : texts) {
        QVERIFY2(!t.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3}"))), qPrintable(t));
    }
    // The standard buttons of a message box.
    QMessageBox question(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                         QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
    for (QAbstractButton* b : question.buttons())
        QVERIFY2(!b->text().contains(QRegularExpression(QStringLiteral("[A-Za-z]{2}"))), qPrintable(b->text()));
    QCOMPARE(question.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
