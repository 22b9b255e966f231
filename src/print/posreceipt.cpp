#include "print/posreceipt.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "print/tpos.h"
#include "store/ops/salequeries.h"
#include "store/ops/tdmfm.h"
#include "ui/pdfoutput.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>

namespace posreceipt {

namespace {

const QString kSeparator = QStringLiteral("-------------------------------");

// 宋体 sets ASCII at half the width of a Chinese character, which the byte
// widths of the article lines rely on; the mono CJK face keeps that where 宋体
// itself is missing.
QFont receiptFont(bool title, int dpi)
{
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("Noto Sans Mono CJK SC")});
    f.setStyleHint(QFont::TypeWriter);
    f.setBold(title);
    // Point sizes of the till printer, in its dots.
    f.setPixelSize(qRound((title ? 10 : 8) * double(dpi) / 72.0));
    return f;
}

int charWidth(char32_t c)
{
    return c < 0x80 ? 1 : 2;
}

} // namespace

int gbkWidth(const QString& text)
{
    int n = 0;
    for (char32_t c : text.toUcs4())
        n += charWidth(c);
    return n;
}

QString nameColumn(const QString& name)
{
    const int width = gbkWidth(name);
    if (width < kNameBytes)
        return name + QString(kNameBytes - width, QLatin1Char(' '));
    QString cut;
    int used = 0;
    for (char32_t c : name.toUcs4()) {
        if (used + charWidth(c) > kNameBytes)
            break;
        cut += QString::fromUcs4(&c, 1);
        used += charWidth(c);
    }
    return cut + QString(kNameBytes - used, QLatin1Char(' ')) + QLatin1Char(' ');
}

QString articleLine(const Article& a)
{
    return nameColumn(a.name) + QLatin1Char(' ') + num::general(a.quantity) + QStringLiteral("      ") +
           num::general(a.amount);
}

QList<Line> layout(const Receipt& r)
{
    QList<Line> lines{
        {0, true, QStringLiteral("   ") + r.title},
        {40, false, kSeparator},
        {60, false, QStringLiteral("销售单号：") + r.saleNumber},
        {90, false, QStringLiteral("收银员：") + r.cashier},
        {120, false, QStringLiteral("打印时间：") + r.printedAt},
        {150, false, kSeparator},
        {180, false, QStringLiteral("商品名称         数量     金额 ")},
    };
    int y = 210;
    for (const Article& a : r.articles) {
        lines.append({y, false, articleLine(a)});
        y += 30;
    }
    const int b = y;
    lines.append({b, false, kSeparator});
    lines.append({b + 30, false, QStringLiteral("合计:") + r.total + QStringLiteral("元  ")});
    lines.append({b + 60, false,
                  QStringLiteral("现金:") + num::fixed2(r.cash) + QStringLiteral("元  找零:") + num::fixed2(r.change) +
                      QStringLiteral("元")});
    lines.append({b + 90, false, kSeparator});
    lines.append({b + 120, false, r.promotion1});
    lines.append({b + 150, false, r.promotion2});
    lines.append({b + 180, false, kSeparator});
    lines.append({b + 210, false, QStringLiteral("      ") + r.closing});
    lines.append({b + 240, false, kSeparator});
    return lines;
}

void paint(QPainter& painter, const QList<Line>& lines, int dpi)
{
    painter.save();
    const double scale = double(dpi) / kDotsPerInch;
    painter.scale(scale, scale);
    for (const Line& line : lines) {
        const QFont f = receiptFont(line.title, kDotsPerInch);
        painter.setFont(f);
        // A line's position is the top of its text.
        painter.drawText(QPointF(0, line.y + QFontMetricsF(f).ascent()), line.text);
    }
    painter.restore();
}

bool print(QPrinter& printer, const QList<Line>& lines, QString* error)
{
    const QSizeF page = printer.pageLayout().fullRectPoints().size();
    const double widthMm = page.width() > 0 ? page.width() * 25.4 / 72.0 : 80.0;
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QSizeF(widthMm, kPaperLengthMm), QPageSize::Millimeter, QStringLiteral("POS"),
                                  QPageSize::ExactMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    printer.setDocName(QStringLiteral("POS小票"));
    PdfOutput pdf(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = QStringLiteral("打印失败：无法在打印机“%1”上开始打印，请检查打印机。").arg(printer.printerName());
        return false;
    }
    paint(painter, lines, printer.resolution());
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        *error = QStringLiteral("打印失败：打印机“%1”报告错误，请检查打印机。").arg(printer.printerName());
        return false;
    }
    if (!pdf.finish()) {
        *error = pdf.errorText();
        return false;
    }
    return true;
}

QString noPrinterText()
{
    return QStringLiteral("没有找到打印机：请先安装打印机，并把它设为默认打印机。");
}

void setAmounts(Receipt& r, long double total, long double cash)
{
    // The customer pays the total to the cent, and the change is exactly what
    // the cash leaves of it, so that the three lines add up.
    const long double due = num::round2(total);
    r.total = num::fixed2(due);
    r.cash = cash;
    r.change = cash - due;
}

bool printCurrentSale(Tdmfm& dm, const Tpos& texts, const CurrentSale& sale, const QPrinterInfo& printer)
{
    QString error;
    const auto cash = num::toDecimal(sale.cash, &error);
    const auto total = cash ? num::toDecimal(sale.total, &error) : std::nullopt;
    if (!total) {
        messagePort().error(error);
        return false;
    }
    if (printer.isNull()) {
        messagePort().error(noPrinterText());
        return false;
    }
    Receipt r;
    r.title = texts.text(Tpos::Pos1);
    r.saleNumber = sale.saleNumber;
    r.cashier = sale.cashier;
    r.printedAt = num::now() + QLatin1Char(' ');
    setAmounts(r, *total, *cash);
    r.promotion1 = texts.text(Tpos::Pos2);
    r.promotion2 = texts.text(Tpos::Pos3);
    r.closing = texts.text(Tpos::Pos4);
    // Read on the side: the slip panel's list is the panel's to empty once printed.
    RowSet rows(QStringLiteral("receipt"));
    if (!dm.OpenQuery(rows, saleq::slipRows(sale.saleNumber.trimmed())))
        return false;
    for (int i = 0; i < rows.rowCount(); ++i)
        r.articles.append({rows.value(i, QStringLiteral("a")).toString(), rows.value(i, QStringLiteral("3")),
                           rows.value(i, QStringLiteral("4"))});
    rows.close();

    QPrinter device(printer, QPrinter::HighResolution);
    if (!print(device, layout(r), &error)) {
        messagePort().error(error);
        return false;
    }
    return true;
}

} // namespace posreceipt
