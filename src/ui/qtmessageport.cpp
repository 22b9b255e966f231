#include "ui/qtmessageport.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {
QWidget* owner()
{
    return QApplication::activeWindow();
}
} // namespace

void QtMessagePort::error(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok, owner());
    box.exec();
}

void QtMessagePort::warning(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner());
    box.exec();
}

void QtMessagePort::inform(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, owner());
    box.exec();
}

MessagePort::Answer QtMessagePort::confirm(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel, owner());
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

MessagePort::Answer QtMessagePort::askYesNo(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, owner());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Ok : Answer::Cancel;
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
