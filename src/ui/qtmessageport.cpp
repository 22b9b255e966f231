#include "ui/qtmessageport.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QMessageBox>

namespace {
QWidget* owner()
{
    if (QWidget* active = QApplication::activeWindow())
        return active;
    // Right after a long work the window system may not yet have made the
    // waiting window active again: the box belongs to the window with the
    // focus, else to a visible window, so it shows over it.
    if (QWidget* focus = QApplication::focusWidget())
        return focus->window();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->isVisible() && w->isEnabled() && (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog))
            return w;
    }
    return nullptr;
}

// A message box is as narrow as its text, and a window manager cuts a title
// that is wider ("Tarvik… 管理软件"): the box is made wide enough for its title.
int exec(QMessageBox& box)
{
    // A box without an owner (no window was active: the window system had not
    // yet made one active after a long work) is a window of its own; its
    // closing, while the main window is hidden behind the backup window, would
    // count as the program's last window closing and end the program.
    box.setAttribute(Qt::WA_QuitOnClose, false);
    // Room for the title bar's icon and buttons beside the title's text.
    constexpr int kTitleBarExtra = 140;
    QFont titleFont = box.font(); // title bars mostly use the bold face
    titleFont.setBold(true);
    const int wanted = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + kTitleBarExtra;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    return box.exec();
}
} // namespace

void QtMessagePort::showError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok, owner());
    exec(box);
}

void QtMessagePort::warning(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner());
    exec(box);
}

void QtMessagePort::inform(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, owner());
    exec(box);
}

MessagePort::Answer QtMessagePort::confirm(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel, owner());
    box.setDefaultButton(QMessageBox::Cancel);
    return exec(box) == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

MessagePort::Answer QtMessagePort::askYesNo(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(QMessageBox::No);
    return exec(box) == QMessageBox::Yes ? Answer::Ok : Answer::Cancel;
}

QString QtMessagePort::openFileName(const QString& caption, const QString& directory, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner(), caption, directory, filter);
}

QString QtMessagePort::saveFileName(const QString& caption, const QString& directory, const QString& filter)
{
    // The caller asks before replacing a file (it may add an extension the
    // dialog never saw); a second question from the dialog would ask twice.
    return QFileDialog::getSaveFileName(owner(), caption, directory, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString QtMessagePort::existingFolder(const QString& caption, const QString& directory)
{
    return QFileDialog::getExistingDirectory(owner(), caption, directory);
}
