#include "users/passwordbox.h"

#include "ui/characterfilter.h"

#include <QLineEdit>

void makePasswordBox(QLineEdit* box)
{
    box->setEchoMode(QLineEdit::Password);
    box->setMaxLength(10);
    // Composed (input method) text is never a valid password character.
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    // QLineEdit's own mask character depends on the style; these windows show "*".
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    CharacterFilter::install(box, &CharacterFilter::isAsciiLetterOrDigit);
}
