#include "print/posreceipt.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "print/receiptsender.h"
#include "print/tpos.h"
#include "store/db/columns.h"
#include "store/ops/salelookup.h"
#include "store/ops/tdmfm.h"
#include "ui/pdfoutput.h"
#include "ui/reporterror.h"

#include <QPainter>
#include <QPrinter>

namespace posreceipt {

namespace {

// Where a character's baseline lies below the top of its 24-dot cell: CJK
// faces put 0.88 of the em above it.
constexpr int kBaselineDots = 21;

} // namespace

QFont receiptFont(Style style)
{
    QFont f;
    f.setFamilies({QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("宋体")});
    f.setStyleHint(QFont::TypeWriter);
    f.setBold(style != Style::Normal);
    f.setPixelSize(kGlyphDots);
    return f;
}

void paint(QPainter& painter, const QList<Line>& lines)
{
    int top = 0;
    for (const Line& line : lines) {
        painter.save();
        painter.setFont(receiptFont(line.style));
        painter.translate(0, top);
        if (line.style == Style::Title)
            painter.scale(1, 2);
        // Each character stands in its own cell, whatever the face's advances,
        // so that columns line up as on the printer.
        int cell = 0;
        for (char32_t c : line.text.toUcs4()) {
            if (c != U' ')
                painter.drawText(QPointF(cell * kCellDots, kBaselineDots), QString::fromUcs4(&c, 1));
            cell += cellsOf(c);
        }
        painter.restore();
        top += line.style == Style::Title ? kTitleDots : kLineDots;
    }
}

QImage image(const QList<Line>& lines, const Paper& paper)
{
    QImage picture(paper.printableDots(), std::max(1, heightDots(lines)), QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    paint(painter, lines);
    painter.end();
    return picture.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
}

bool print(QPrinter& printer, const QList<Line>& lines, const Paper& paper, QString* error)
{
    const double mmPerDot = 1.0 / kDotsPerMm;
    const QSizeF page(paper.widthMm, (heightDots(lines) + kFeedDots) * mmPerDot);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(page, QPageSize::Millimeter, QStringLiteral("POS"), QPageSize::ExactMatch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    printer.setDocName(QStringLiteral("POS小票"));
    PdfOutput pdf(printer);
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = QStringLiteral("打印失败：无法在打印机“%1”上开始打印，请检查打印机。").arg(printer.printerName());
        return false;
    }
    // Device pixels per dot of the till printer.
    const double scale = printer.resolution() / (kDotsPerMm * 25.4);
    painter.scale(scale, scale);
    painter.translate(paper.marginDots(), 0);
    paint(painter, lines);
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

QByteArray escPosBytes(const Receipt& r, const ReceiptSetup& setup)
{
    escpos::Options options = setup.options;
    options.openDrawer = options.openDrawer && r.cash > 0;
    const QList<Line> lines = layout(r, setup.paper.columns());
    if (options.mode == escpos::Mode::Raster)
        return escpos::rasterStream(image(lines, setup.paper), options);
    return escpos::textStream(lines, options);
}

QString noPrinterText()
{
    return QStringLiteral("没有找到打印机：请先安装打印机，并把它设为默认打印机。");
}

std::optional<Receipt> currentSale(Tdmfm& dm, const Tpos& settings, const CurrentSale& sale)
{
    QString error;
    const auto cash = num::toDecimal(sale.cash, &error);
    const auto total = cash ? num::toDecimal(sale.total, &error) : std::nullopt;
    if (!total) {
        messagePort().error(error);
        return std::nullopt;
    }
    Receipt r;
    r.shop = settings.text(Tpos::Company);
    r.address = settings.text(Tpos::Address);
    r.phone = settings.text(Tpos::Phone);
    r.title = settings.text(Tpos::Pos1);
    r.saleNumber = sale.saleNumber;
    r.cashier = sale.cashier;
    r.printedAt = num::now();
    setAmounts(r, *total, *cash);
    r.promotion1 = settings.text(Tpos::Pos2);
    r.promotion2 = settings.text(Tpos::Pos3);
    r.closing = settings.text(Tpos::Pos4);
    // The rows of the sale, read for this receipt and handed to nobody else.
    auto read = salelookup::readSlipRows(dm, sale.saleNumber.trimmed());
    if (!succeeded(read))
        return std::nullopt;
    RowSet rows(QStringLiteral("receipt"));
    rows.load(std::move(read).value());
    long double owed = 0;
    for (int i = 0; i < rows.rowCount(); ++i) {
        const auto value = [&](QLatin1StringView column) { return rows.value(i, QString(column)); };
        r.articles.append(
            {value(salecol::name).toString(), value(salecol::quantity), value(salecol::price), value(salecol::amount)});
        if (r.customer.isEmpty())
            r.customer = value(salecol::customer).toString().trimmed();
        owed += static_cast<long double>(value(salecol::owed).toDouble());
    }
    rows.close();
    r.owed = num::round2(owed);
    return r;
}

bool printCurrentSale(Tdmfm& dm, const Tpos& settings, const CurrentSale& sale, ReceiptSender& sender,
                      const QPrinterInfo& printer)
{
    const ReceiptSetup setup = settings.setup();
    const std::optional<Receipt> r = currentSale(dm, settings, sale);
    if (!r)
        return false;
    if (!setup.escPos && printer.isNull()) {
        messagePort().error(noPrinterText());
        return false;
    }
    if (setup.escPos) {
        sender.send(setup.port, escPosBytes(*r, setup));
        return true;
    }
    QPrinter device(printer, QPrinter::HighResolution);
    QString error;
    if (!print(device, layout(*r, setup.paper.columns()), setup.paper, &error)) {
        messagePort().error(error);
        return false;
    }
    return true;
}

} // namespace posreceipt
