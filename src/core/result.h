#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

// Why an operation did not do what was asked. The store returns these and
// shows nothing; a window shows them (ui/reporterror.h) or answers a refusal
// it expects in its own words.
struct Error
{
    enum class Kind {
        Engine,       // the database engine failed; `text` is its own text
        Invalid,      // a typed or stored value is no usable number, or a name is refused; `text` says which
        Shortage,     // a sale asks for more than is in stock; `onHand` holds the stock quantity
        Gone,         // the row was deleted meanwhile (by another program or window)
        Replaced,     // the stock row holds another article than the one the seller was shown
        NoStockRow,   // a sale's stock row cannot be found
        AmbiguousRow, // several stock rows match a sale and nothing says which
    };

    Kind kind = Kind::Engine;
    // What the user is told, in the user's words; an engine text is put into
    // them when it is shown (MessagePort::userErrorText).
    QString text;
    // Shortage: the stock quantity on hand, in its general text.
    QString onHand;

    static Error engine(QString text) { return {Kind::Engine, std::move(text), {}}; }
    static Error invalid(QString text) { return {Kind::Invalid, std::move(text), {}}; }
    static Error gone() { return {Kind::Gone, QStringLiteral("Record is deleted"), {}}; }
    static Error of(Kind kind, QString text = {}) { return {kind, std::move(text), {}}; }
};

// A value or the Error that stopped it, as std::expected<T, Error> will be.
template <typename T> class [[nodiscard]] Result
{
public:
    Result(T value)
        : m_v(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Error error)
        : m_v(std::in_place_index<1>, std::move(error))
    {
    }

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<0>(m_v); }
    T& value() & { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    const T& operator*() const& { return value(); }
    T& operator*() & { return value(); }
    const T* operator->() const { return &value(); }
    T* operator->() { return &value(); }
    // The value, or `fallback` after a failure.
    T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }
    const Error& error() const { return std::get<1>(m_v); }
    bool is(Error::Kind kind) const { return !ok() && error().kind == kind; }

private:
    std::variant<T, Error> m_v;
};

// Success without a value.
template <> class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Error error)
        : m_error(std::move(error))
    {
    }

    bool ok() const { return !m_error; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *m_error; }
    bool is(Error::Kind kind) const { return m_error && m_error->kind == kind; }

private:
    std::optional<Error> m_error;
};
