#include "print/receiptlayout.h"

#include "core/numbers.h"

#include <algorithm>

namespace posreceipt {

namespace {

QString spaces(int n)
{
    return QString(std::max(0, n), QLatin1Char(' '));
}

QString rightAligned(const QString& text, int width)
{
    return spaces(width - displayWidth(text)) + text;
}

QString leftAligned(const QString& text, int width)
{
    return text + spaces(width - displayWidth(text));
}

QString trimmedEnd(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

bool isWordChar(char32_t c)
{
    return c > 0x20 && c < 0x80;
}

long double valueOf(const QVariant& v)
{
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        const auto d = num::toDecimal(v.toString());
        return d ? *d : 0;
    }
    return static_cast<long double>(v.toDouble());
}

QString moneyText(const QVariant& v)
{
    if (!v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty()))
        return {};
    return num::fixed2(valueOf(v));
}

// Lines of a wrapped text, each centred in `columns`.
void addCentred(QList<Line>& out, const QString& text, int columns, Style style = Style::Normal)
{
    for (const QString& piece : wrap(text.trimmed(), columns))
        out.append({style, trimmedEnd(spaces((columns - displayWidth(piece)) / 2) + piece)});
}

void addWrapped(QList<Line>& out, const QString& text, int columns)
{
    for (const QString& piece : wrap(text, columns))
        out.append({Style::Normal, trimmedEnd(piece)});
}

// "label" at the left, "value" ending at the right edge; a value that does not
// fit beside the label goes on the next line, still at the right edge.
void addLabelled(QList<Line>& out, const QString& label, const QString& value, int columns)
{
    if (displayWidth(label) + 1 + displayWidth(value) <= columns) {
        out.append({Style::Normal, label + rightAligned(value, columns - displayWidth(label))});
        return;
    }
    addWrapped(out, label, columns);
    for (const QString& piece : wrap(value, columns))
        out.append({Style::Normal, rightAligned(piece, columns)});
}

// The article table: name, quantity, unit price and amount. The number columns
// are as wide as their widest entry on this receipt and end on common edges.
// When they leave the name fewer than kNarrowName cells, each name takes whole
// lines of its own and its numbers follow on the next line.
void addArticles(QList<Line>& out, const QList<Article>& articles, int columns)
{
    constexpr int kNarrowName = 8;
    struct Row
    {
        QString name, quantity, price, amount;
    };
    QList<Row> rows;
    const QString qHead = QStringLiteral("数量"), pHead = QStringLiteral("单价"), aHead = QStringLiteral("金额");
    int wq = displayWidth(qHead), wp = displayWidth(pHead), wa = displayWidth(aHead);
    for (const Article& a : articles) {
        Row row;
        const bool isReturn = valueOf(a.quantity) < 0;
        row.name = (isReturn ? QStringLiteral("[退货]") : QString()) + a.name.trimmed();
        row.quantity = num::quantityText(a.quantity);
        row.price = moneyText(a.price);
        row.amount = moneyText(a.amount);
        wq = std::max(wq, displayWidth(row.quantity));
        wp = std::max(wp, displayWidth(row.price));
        wa = std::max(wa, displayWidth(row.amount));
        rows.append(row);
    }
    const auto numbers = [&](const QString& q, const QString& p, const QString& a) {
        return rightAligned(q, wq) + QLatin1Char(' ') + rightAligned(p, wp) + QLatin1Char(' ') + rightAligned(a, wa);
    };
    const int numberWidth = wq + 1 + wp + 1 + wa;
    const int nameWidth = columns - numberWidth - 1;
    const QString nameHead = QStringLiteral("商品名称");
    if (nameWidth >= kNarrowName) {
        out.append({Style::Normal, leftAligned(nameHead, nameWidth) + QLatin1Char(' ') + numbers(qHead, pHead, aHead)});
        for (const Row& row : rows) {
            const QStringList names = wrap(row.name, nameWidth);
            out.append({Style::Normal, leftAligned(names.first(), nameWidth) + QLatin1Char(' ') +
                                           numbers(row.quantity, row.price, row.amount)});
            for (qsizetype i = 1; i < names.size(); ++i)
                out.append({Style::Normal, trimmedEnd(names.at(i))});
        }
        return;
    }
    // Narrow paper: the numbers under the name, at the right edge; when even
    // they do not fit one line the amount takes a line of its own.
    const bool oneLine = numberWidth <= columns;
    const auto addNumbers = [&](const QString& q, const QString& p, const QString& a) {
        if (oneLine) {
            out.append({Style::Normal, rightAligned(numbers(q, p, a), columns)});
            return;
        }
        out.append(
            {Style::Normal, rightAligned(rightAligned(q, wq) + QLatin1Char(' ') + rightAligned(p, wp), columns)});
        out.append({Style::Normal, rightAligned(a, columns)});
    };
    out.append({Style::Normal, nameHead});
    addNumbers(qHead, pHead, aHead);
    for (const Row& row : rows) {
        addWrapped(out, row.name, columns);
        addNumbers(row.quantity, row.price, row.amount);
    }
}

} // namespace

int Paper::printableDots() const
{
    const int mm = std::clamp(widthMm, kMinMm, kMaxMm);
    const int printableMm = mm - (mm <= 60 ? 10 : 8);
    // Print heads come in whole bytes of dots.
    return printableMm * kDotsPerMm / 8 * 8;
}

int cellsOf(char32_t c)
{
    return c < 0x80 ? 1 : 2;
}

int displayWidth(QStringView text)
{
    int n = 0;
    for (char32_t c : text.toUcs4())
        n += cellsOf(c);
    return n;
}

QStringList wrap(const QString& text, int columns)
{
    QStringList pieces;
    const QList<uint> chars = text.toUcs4();
    QList<uint> line;
    int used = 0;
    qsizetype i = 0;
    const auto flush = [&] {
        pieces.append(QString::fromUcs4(reinterpret_cast<const char32_t*>(line.constData()), line.size()));
        line.clear();
        used = 0;
    };
    while (i < chars.size()) {
        // An ASCII word moves to the next line whole when it would be split
        // here and fits a line of its own.
        if (isWordChar(chars.at(i)) && (i == 0 || !isWordChar(chars.at(i - 1)))) {
            qsizetype end = i;
            while (end < chars.size() && isWordChar(chars.at(end)))
                ++end;
            const int wordWidth = int(end - i);
            if (used > 0 && used + wordWidth > columns && wordWidth <= columns)
                flush();
        }
        const int w = cellsOf(chars.at(i));
        if (used > 0 && used + w > columns)
            flush();
        if (used == 0 && chars.at(i) == ' ' && !pieces.isEmpty()) {
            ++i; // a wrapped line does not start with a blank
            continue;
        }
        line.append(chars.at(i));
        used += w;
        ++i;
    }
    if (!line.isEmpty() || pieces.isEmpty())
        flush();
    return pieces;
}

void setAmounts(Receipt& r, long double total, long double cash)
{
    // The customer pays the total to the cent, and the change is exactly what
    // the cash leaves of it, so that the three lines add up.
    r.total = num::round2(total);
    r.cash = cash;
    r.change = cash - r.total;
}

QList<Line> layout(const Receipt& r, int columns)
{
    columns = std::max(columns, 16);
    const QString separator(columns, QLatin1Char('-'));
    QList<Line> out;
    // The shop block, then the title, centred.
    if (!r.shop.trimmed().isEmpty())
        addCentred(out, r.shop, columns, Style::Bold);
    const QString address = r.address.trimmed().isEmpty() ? QString() : QStringLiteral("地址：") + r.address.trimmed();
    const QString phone = r.phone.trimmed().isEmpty() ? QString() : QStringLiteral("电话：") + r.phone.trimmed();
    if (!address.isEmpty() && !phone.isEmpty() && displayWidth(address) + 2 + displayWidth(phone) <= columns) {
        addCentred(out, address + QStringLiteral("  ") + phone, columns);
    } else {
        if (!address.isEmpty())
            addCentred(out, address, columns);
        if (!phone.isEmpty())
            addCentred(out, phone, columns);
    }
    // A title wider than half the paper would not fit at double width; it is
    // printed at double height only, so it keeps the cells of a normal line.
    addCentred(out, r.title, columns, Style::Title);
    out.append({Style::Normal, separator});
    addWrapped(out, QStringLiteral("销售单号：") + r.saleNumber, columns);
    addWrapped(out, QStringLiteral("收银员：") + r.cashier, columns);
    addWrapped(out, QStringLiteral("打印时间：") + r.printedAt.trimmed(), columns);
    if (!r.customer.trimmed().isEmpty())
        addWrapped(out, QStringLiteral("客户：") + r.customer.trimmed(), columns);
    out.append({Style::Normal, separator});
    addArticles(out, r.articles, columns);
    out.append({Style::Normal, separator});

    long double pieces = 0;
    for (const Article& a : r.articles)
        pieces += valueOf(a.quantity);
    const QString yuan = QStringLiteral("元");
    addLabelled(out, QStringLiteral("件数:"), num::quantityText(pieces) + QStringLiteral("件"), columns);
    addLabelled(out, QStringLiteral("合计:"), num::fixed2(r.total) + yuan, columns);
    addLabelled(out, QStringLiteral("现金:"), num::fixed2(r.cash) + yuan, columns);
    addLabelled(out, QStringLiteral("找零:"), num::fixed2(r.change) + yuan, columns);
    if (r.owed != 0)
        addLabelled(out, QStringLiteral("欠款:"), num::fixed2(r.owed) + yuan, columns);
    out.append({Style::Normal, separator});
    addWrapped(out, r.promotion1.trimmed(), columns);
    addWrapped(out, r.promotion2.trimmed(), columns);
    out.append({Style::Normal, separator});
    addCentred(out, r.closing, columns);
    out.append({Style::Normal, separator});
    return out;
}

int heightDots(const QList<Line>& lines)
{
    int h = 0;
    for (const Line& l : lines)
        h += l.style == Style::Title ? kTitleDots : kLineDots;
    return h;
}

} // namespace posreceipt
