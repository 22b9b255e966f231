#pragma once

#include <QObject>

class QLineEdit;
class QString;

// Keeps an entry box to the characters `allowed` accepts: a key press or an
// input-method commit that carries any other printable character is dropped.
// Keys without printable text (Backspace, Enter, arrows, Tab, Delete,
// shortcuts) keep their usual meaning.
class CharacterFilter final : public QObject
{
public:
    using Predicate = bool (*)(QChar);

    CharacterFilter(Predicate allowed, QObject* parent);

    // Keeps `box` to the allowed characters whatever way they come: typed,
    // composed, or pasted (a paste that carries any other character is refused
    // whole).
    static void install(QLineEdit* box, Predicate allowed);

    // True when every printable character of `text` is allowed.
    static bool accepts(const QString& text, Predicate allowed);

    static bool isAsciiDigit(QChar c);
    static bool isAsciiLetterOrDigit(QChar c);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Predicate m_allowed;
};
