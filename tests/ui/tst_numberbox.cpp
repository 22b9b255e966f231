// The number box of every money and quantity field, driven by real keys, clicks,
// pastes and the wheel: what may come in, what never steps, and that coming in
// selects the text so that typing replaces it.

#include "keys.h"

#include "ui/numberbox.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <functional>

namespace {

// A shown, active window: a line edit to come from, the box, a line edit after it.
struct Form
{
    QWidget window;
    QLineEdit* before = new QLineEdit(&window);
    NumberBox* box = new NumberBox(&window);
    QLineEdit* after = new QLineEdit(&window);

    explicit Form(bool arrows = true)
    {
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* w : {static_cast<QWidget*>(before), static_cast<QWidget*>(box), static_cast<QWidget*>(after)})
            layout->addWidget(w);
        box->setMinimumWidth(120);
        if (!arrows)
            box->setButtonSymbols(QAbstractSpinBox::NoButtons);
        window.show();
        window.activateWindow();
    }
    bool ready() { return QTest::qWaitForWindowActive(&window); }
    QLineEdit* edit() const { return box->findChild<QLineEdit*>(); }
};

QWidget* focused()
{
    return QApplication::focusWidget();
}


void wheel(QWidget* w, int delta)
{
    const QPointF at(w->rect().center());
    QWheelEvent event(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

QRect arrowButton(NumberBox* box, QStyle::SubControl which)
{
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.subControls =
        QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown | QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField;
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return box->style()->subControlRect(QStyle::CC_SpinBox, &option, which, box);
}

} // namespace

class TestNumberBox : public QObject
{
    Q_OBJECT

private slots:
    void dropsOtherKeys();
    void pasteFollowsTheKeys_data();
    void pasteFollowsTheKeys();
    void keysAndWheelNeverStep_data();
    void keysAndWheelNeverStep();
    void arrowsStepWholeNumbersWithinRange_data();
    void arrowsStepWholeNumbersWithinRange();
    void arrowButtons();
    void comingInSelectsAll_data();
    void comingInSelectsAll();
    void clickInTheFocusedBoxPlacesTheCursor();
};

void TestNumberBox::dropsOtherKeys()
{
    Form f;
    QVERIFY(f.ready());
    NumberBox* box = f.box;
    box->setFocus();
    QVERIFY(box->hasFocus());
    box->setText(QString());

    typeText(focused(), QStringLiteral("a1b.2-3 x,+e5"));
    QCOMPARE(box->text(), QStringLiteral("1.235"));
    QTest::keyClick(focused(), Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("1.23"));
    QTest::sendKeyEvent(QTest::Click, focused(), Qt::Key_unknown, QStringLiteral("五"), Qt::NoModifier);
    QTest::keyClick(focused(), Qt::Key_PageUp);
    // Pasting by key is held to the same rule.
    QGuiApplication::clipboard()->setText(QStringLiteral("x5"));
    QTest::keyClick(focused(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("1.23"));

    // Text the program sets is not filtered, and every change is reported.
    QSignalSpy changes(box, &NumberBox::textChanged);
    box->setText(QStringLiteral("1.2.3"));
    QCOMPARE(box->text(), QStringLiteral("1.2.3"));
    QCOMPARE(changes.size(), 1);
    // Leaving the box keeps whatever it holds.
    box->clearFocus();
    QCOMPARE(box->text(), QStringLiteral("1.2.3"));
}

void TestNumberBox::pasteFollowsTheKeys_data()
{
    QTest::addColumn<QString>("start"); // set by the program
    QTest::addColumn<int>("from");      // the selection the paste replaces; -1: the cursor at the end
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("expected");
    QTest::newRow("digits and point") << "" << -1 << 0 << "12.5"
                                      << "12.5";
    QTest::newRow("appended") << "3" << -1 << 0 << "4"
                              << "34";
    QTest::newRow("two points get in") << "" << -1 << 0 << "1.2.3"
                                       << "1.2.3"; // as typing them would
    QTest::newRow("exponent") << "" << -1 << 0 << "1e308"
                              << "";
    QTest::newRow("minus") << "3" << -1 << 0 << "-5"
                           << "3";
    QTest::newRow("blank around") << "" << -1 << 0 << " 7"
                                  << "";
    QTest::newRow("full-width digits") << "" << -1 << 0 << "１２"
                                       << "";
    QTest::newRow("infinity") << "" << -1 << 0 << "inf"
                              << "";
    QTest::newRow("into the middle") << "1200" << 2 << 0 << "5"
                                     << "12500";
    QTest::newRow("letter into the middle") << "1200" << 2 << 0 << "e"
                                            << "1200";
    QTest::newRow("over the whole text") << "100" << 0 << 3 << "90"
                                         << "90";
    QTest::newRow("over the middle") << "1999" << 1 << 2 << "0.0"
                                     << "10.09";
    // What the program put in (a "-" for a return) can still be edited next to.
    QTest::newRow("next to a set minus") << "-2" << -1 << 0 << "5"
                                         << "-25";
    QTest::newRow("a second minus") << "-2" << -1 << 0 << "-"
                                    << "-2";
    QTest::newRow("a minus before a set minus") << "-2" << 0 << 0 << "-"
                                                << "-2";
    QTest::newRow("3e3 over a set -2") << "-2" << 0 << 2 << "3e3"
                                       << "-2";
    QTest::newRow("digits over a set -2") << "-2" << 0 << 2 << "30"
                                          << "30";
    QTest::newRow("digits over the 2 of -2") << "-2" << 1 << 1 << "30"
                                             << "-30";
    QTest::newRow("a minus over the 2 of -2") << "-2" << 1 << 1 << "-"
                                              << "-2";
    QTest::newRow("the set minus kept, a letter added") << "-2" << 0 << 2 << "-x"
                                                        << "-2";
}

void TestNumberBox::pasteFollowsTheKeys()
{
    QFETCH(QString, start);
    QFETCH(int, from);
    QFETCH(int, length);
    QFETCH(QString, pasted);
    QFETCH(QString, expected);
    Form f(false);
    QVERIFY(f.ready());
    f.box->setFocus();
    QLineEdit* edit = f.edit();
    QVERIFY(edit);
    // The context menu's 粘贴 (and a drop) go through the line edit's paste; the keys through the box.
    const QList<QPair<const char*, std::function<void()>>> ways{
        {"menu", [&] { edit->paste(); }},
        {"Ctrl+V", [&] { QTest::keyClick(f.box, Qt::Key_V, Qt::ControlModifier); }},
        {"Shift+Insert", [&] { QTest::keyClick(f.box, Qt::Key_Insert, Qt::ShiftModifier); }},
    };
    for (const auto& [way, paste] : ways) {
        f.box->setText(start);
        if (from < 0)
            edit->end(false);
        else if (length == 0)
            edit->setCursorPosition(from);
        else
            edit->setSelection(from, length);
        QGuiApplication::clipboard()->setText(pasted);
        paste();
        QVERIFY2(f.box->text() == expected,
                 qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(way), f.box->text())));
    }
}

void TestNumberBox::keysAndWheelNeverStep_data()
{
    QTest::addColumn<bool>("arrows");
    QTest::addColumn<QString>("start");
    QTest::newRow("price, no arrows") << false << "1999";
    QTest::newRow("owed, no arrows") << false << "50";
    QTest::newRow("quantity, arrows") << true << "50";
    QTest::newRow("returned quantity, arrows") << true << "-2";
}

void TestNumberBox::keysAndWheelNeverStep()
{
    QFETCH(bool, arrows);
    QFETCH(QString, start);
    Form f(arrows);
    QVERIFY(f.ready());
    f.box->setFocus();
    const QList<QPair<const char*, std::function<void()>>> inputs{
        {"Up", [&] { QTest::keyClick(f.box, Qt::Key_Up); }},
        {"Down", [&] { QTest::keyClick(f.box, Qt::Key_Down); }},
        {"Page Up", [&] { QTest::keyClick(f.box, Qt::Key_PageUp); }},
        {"Page Down", [&] { QTest::keyClick(f.box, Qt::Key_PageDown); }},
        {"Ctrl+Up", [&] { QTest::keyClick(f.box, Qt::Key_Up, Qt::ControlModifier); }},
        {"keypad Down", [&] { QTest::keyClick(f.box, Qt::Key_Down, Qt::KeypadModifier); }},
        {"wheel up", [&] { wheel(f.box, 120); }},
        {"wheel down", [&] { wheel(f.box, -120); }},
        {"wheel on the text", [&] { wheel(f.edit(), -120); }},
    };
    for (const auto& [name, input] : inputs) {
        f.box->setText(start);
        input();
        QVERIFY2(f.box->text() == start, qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(name), f.box->text())));
    }
    // Nor does the program's stepBy(): only a press on an arrow button steps.
    f.box->stepBy(1);
    QCOMPARE(f.box->text(), start);
}

void TestNumberBox::arrowsStepWholeNumbersWithinRange_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("up"); // which arrow button is clicked
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("expected");
    QTest::newRow("up") << "7" << true << 1 << "8";
    QTest::newRow("down") << "7" << false << 1 << "6";
    QTest::newRow("99 up") << "99" << true << 1 << "100";
    QTest::newRow("100 stays") << "100" << true << 1 << "100";
    QTest::newRow("0 stays") << "0" << false << 1 << "0";
    QTest::newRow("empty up") << "" << true << 1 << "1";
    QTest::newRow("fraction up") << "12.5" << true << 1 << "13";
    QTest::newRow("fraction down") << "12.5" << false << 1 << "12";
    QTest::newRow("above range down") << "150" << false << 1 << "100";
    QTest::newRow("above range up") << "150" << true << 1 << "150";
    QTest::newRow("discount down by 5") << "100" << false << 5 << "95";
    QTest::newRow("discount up by 5, to 100 at most") << "98" << true << 5 << "100";
}

void TestNumberBox::arrowsStepWholeNumbersWithinRange()
{
    QFETCH(QString, start);
    QFETCH(bool, up);
    QFETCH(int, step);
    Form f;
    QVERIFY(f.ready());
    f.box->setStep(step);
    f.box->setText(start);
    const QRect arrow = arrowButton(f.box, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown);
    QVERIFY(arrow.isValid());
    QTest::mouseClick(f.box, Qt::LeftButton, {}, arrow.center());
    QTEST(f.box->text(), "expected");
}

void TestNumberBox::arrowButtons()
{
    QWidget window;
    auto* box = new NumberBox(&window);
    box->resize(120, 26);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect up = arrowButton(box, QStyle::SC_SpinBoxUp);
    const QRect down = arrowButton(box, QStyle::SC_SpinBoxDown);
    QVERIFY(up.isValid() && down.isValid());

    box->setText(QStringLiteral("99"));
    QTest::mouseClick(box, Qt::LeftButton, {}, up.center());
    QCOMPARE(box->text(), QStringLiteral("100"));
    QTest::mouseClick(box, Qt::LeftButton, {}, up.center());
    QCOMPARE(box->text(), QStringLiteral("100"));
    QTest::mouseClick(box, Qt::LeftButton, {}, down.center());
    QCOMPARE(box->text(), QStringLiteral("99"));
    box->setText(QStringLiteral("0"));
    QTest::mouseClick(box, Qt::LeftButton, {}, down.center());
    QCOMPARE(box->text(), QStringLiteral("0"));
}

void TestNumberBox::comingInSelectsAll_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("arrows");
    for (bool arrows : {false, true}) {
        const char* kind = arrows ? ", arrows" : ", no arrows";
        for (const char* how : {"Tab", "Backtab", "click", "Enter in the field before", "opened", "Ctrl+A"})
            QTest::addRow("%s%s", how, kind) << QString::fromLatin1(how) << arrows;
    }
}

void TestNumberBox::comingInSelectsAll()
{
    QFETCH(QString, how);
    QFETCH(bool, arrows);
    Form f(arrows);
    QVERIFY(f.ready());
    f.box->setText(QStringLiteral("100"));
    if (how == u"Tab") {
        f.before->setFocus();
        QTest::keyClick(f.before, Qt::Key_Tab);
    } else if (how == u"Backtab") {
        f.after->setFocus();
        QTest::keyClick(f.after, Qt::Key_Backtab, Qt::ShiftModifier);
    } else if (how == u"click") {
        f.before->setFocus();
        // On the text, past its end: a plain click would put the cursor after "100".
        QTest::mouseClick(f.edit(), Qt::LeftButton, {}, QPoint(f.edit()->width() - 4, f.edit()->height() / 2));
    } else if (how == u"Enter in the field before") {
        // The panels move on from a field with Enter so.
        f.box->setFocus(Qt::TabFocusReason);
    } else if (how == u"opened") {
        // A panel that opens puts the focus into its first box so.
        f.box->setFocus();
    } else {
        f.box->setFocus();
        f.edit()->end(false);
        QTest::keyClick(f.box, Qt::Key_A, Qt::ControlModifier);
    }
    QVERIFY(f.box->hasFocus());
    QCOMPARE(f.edit()->selectedText(), QStringLiteral("100"));
    typeText(focused(), QStringLiteral("90"));
    QCOMPARE(f.box->text(), QStringLiteral("90"));
}

void TestNumberBox::clickInTheFocusedBoxPlacesTheCursor()
{
    Form f(false);
    QVERIFY(f.ready());
    f.box->setText(QStringLiteral("100"));
    const QPoint atTheStart(2, f.edit()->height() / 2);
    QTest::mouseClick(f.edit(), Qt::LeftButton, {}, atTheStart);
    QCOMPARE(f.edit()->selectedText(), QStringLiteral("100"));
    QTest::qWait(1); // the box has had the focus for a while
    QTest::mouseClick(f.edit(), Qt::LeftButton, {}, atTheStart);
    QVERIFY(!f.edit()->hasSelectedText());
    typeText(focused(), QStringLiteral("9"));
    QCOMPARE(f.box->text(), QStringLiteral("9100"));
}

QTEST_MAIN(TestNumberBox)
#include "tst_numberbox.moc"
