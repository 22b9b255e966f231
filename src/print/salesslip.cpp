#include "print/salesslip.h"

#include "core/messageport.h"
#include "core/numbers.h"
#include "print/tpos.h"
#include "store/db/columns.h"
#include "store/memory/rowset.h"
#include "store/ops/salelookup.h"
#include "store/ops/tdmfm.h"
#include "text/capitalamount.h"
#include "ui/pdfoutput.h"
#include "ui/printfont.h"
#include "ui/printpreview.h"
#include "ui/reporterror.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>

namespace salesslip {

namespace {

// Band heights.
constexpr double kTitleBand = 15.3;
constexpr double kCustomerBand = 6.6;
constexpr double kHeaderBand = 7.4;
constexpr double kDetailBand = 6.6;
constexpr double kSummaryBand = 9.5;
constexpr double kPromotionBand = 12.2;
constexpr double kThinPromotionBand = 0.5;
constexpr double kSignatureBand = 10.6;
// The vertical rules of the table.
constexpr double kRules[] = {35.9, 75.7, 101.4, 116.3, 133.3, 150.1};
// The room a table text has: from its position to the next rule, less a little.
constexpr double kCellGap = 0.6;
// Long names, models and remarks shrink to fit their column down to this
// size; a code shrinks as far as it must to show all its digits.
constexpr double kSmallestCellPoints = 8;
constexpr double kAnySize = 1;
// A text's top is the top of its characters' em box, which CJK fonts put
// 0.88 em above the baseline; the font's own ascent reaches higher (room for
// accents) and would push the characters onto the rules below them.
constexpr double kEmAscent = 0.88;

QString labelled(const QString& label, const QVariant& value)
{
    return value.isNull() ? QString() : label + value.toString();
}

// Pages top to bottom, band by band.
class Builder final
{
public:
    explicit Builder(QList<Item>& items)
        : m_items(items)
    {
    }

    // Starts a band of `height` below the last one.
    void band(double height)
    {
        m_top += m_height;
        m_height = height;
    }
    bool fits(double height) const { return m_top + m_height + height <= kPrintableHeight + 1e-9; }
    void newPage()
    {
        ++m_page;
        m_top = 0;
        m_height = 0;
    }

    void text(const QString& t, double x, double top, double points, Item::Anchor anchor = Item::Left,
              bool bold = false, double width = 0, bool underline = false, double smallest = 0)
    {
        if (t.isEmpty())
            return;
        Item i;
        i.text = t;
        i.x = x;
        i.y = m_top + top;
        i.points = points;
        i.anchor = anchor;
        i.bold = bold;
        i.width = width;
        i.underline = underline;
        i.smallest = smallest;
        i.page = m_page;
        m_items.append(i);
    }
    void rule(double x1, double y1, double x2, double y2)
    {
        Item i;
        i.kind = Item::Rule;
        i.x = x1;
        i.y = m_top + y1;
        i.x2 = x2;
        i.y2 = m_top + y2;
        i.page = m_page;
        m_items.append(i);
    }
    // Lines on the top, left and right of the band (and the bottom when asked).
    void frame(bool bottom = false)
    {
        rule(0, 0, kPrintableWidth, 0);
        rule(0, 0, 0, m_height);
        rule(kPrintableWidth, 0, kPrintableWidth, m_height);
        if (bottom)
            rule(0, m_height, kPrintableWidth, m_height);
    }
    void tableRules()
    {
        for (double x : kRules)
            rule(x, 0, x, m_height);
    }

private:
    QList<Item>& m_items;
    double m_top = 0;
    double m_height = 0;
    int m_page = 0;
};

void columnHeader(Builder& b)
{
    b.band(kHeaderBand);
    b.frame();
    b.tableRules();
    const struct
    {
        const char* text;
        double x;
    } titles[] = {{"商品名称", 8.5}, {"规格型号", 47.1}, {"编 码", 83.9}, {"数量", 104.5},
                  {"单 价", 119.3},  {"金 额", 136.5},   {"备 注", 158.8}};
    for (const auto& t : titles)
        b.text(QString::fromUtf8(t.text), t.x, 1.6, 11, Item::Left, true);
}

QFont slipFont(const Item& item, double dpi)
{
    QFont f(QStringLiteral("宋体"));
    // Points of the page in pixels of the device.
    f.setPixelSize(std::max(1, qRound(item.points * dpi / 72.0)));
    f.setBold(item.bold);
    f.setUnderline(item.underline);
    return printableFont(f);
}

void paintPage(QPainter& painter, const QList<Item>& items, int page, double dpi)
{
    const auto px = [dpi](double mm) { return mm * dpi / 25.4; };
    QPen pen(Qt::black);
    pen.setWidthF(px(0.2));
    for (const Item& item : items) {
        if (item.page != page)
            continue;
        if (item.kind == Item::Rule) {
            painter.setPen(pen);
            painter.drawLine(QPointF(px(item.x), px(item.y)), QPointF(px(item.x2), px(item.y2)));
            continue;
        }
        QFont f = slipFont(item, dpi);
        const QString& text = item.text;
        const double baseline = px(item.y) + kEmAscent * f.pixelSize();
        double w = QFontMetricsF(f).horizontalAdvance(text);
        if (item.smallest > 0 && item.width > 0 && w > px(item.width)) {
            const int smallest = std::max(1, qRound(item.smallest * dpi / 72.0));
            int size = std::max(smallest, int(f.pixelSize() * px(item.width) / w));
            f.setPixelSize(size);
            // Font sizes do not scale widths exactly: step down until it fits.
            while ((w = QFontMetricsF(f).horizontalAdvance(text)) > px(item.width) && size > smallest)
                f.setPixelSize(--size);
        }
        const QFontMetricsF fm(f);
        double x = px(item.x);
        if (item.anchor == Item::Right)
            x -= w;
        else if (item.anchor == Item::Centre)
            x -= w / 2;
        painter.setFont(f);
        painter.setPen(Qt::black);
        if (item.width > 0) {
            painter.save();
            painter.setClipRect(QRectF(x, baseline - fm.ascent(), px(item.width), fm.height()));
            painter.drawText(QPointF(x, baseline), text);
            painter.restore();
        } else {
            painter.drawText(QPointF(x, baseline), text);
        }
    }
}

void setUp(QPrinter& printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(false);
    printer.setPageMargins(QMarginsF(15, 10, 15, 10), QPageLayout::Millimeter);
    printer.setDocName(QStringLiteral("销售单"));
}

void paintAll(QPrinter& printer, const Slip& slip)
{
    const QList<Item> items = layout(slip);
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    const int pages = pageCount(items);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            printer.newPage();
        paintPage(painter, items, page, printer.resolution());
    }
    painter.end();
}

} // namespace

Texts textsOf(const Tpos& settings)
{
    return {settings.text(Tpos::Dan1), settings.text(Tpos::Dan2), settings.text(Tpos::Dan3), settings.text(Tpos::Dan4)};
}

Slip make(const QString& saleNumber, const RowSet& rows, const Texts& texts, const QString& userName,
          const QDate& today)
{
    Slip s;
    s.texts = texts;
    const bool any = rows.isOpen() && !rows.isEmpty();
    const auto first = [&](QLatin1StringView field) { return any ? rows.value(0, QString(field)) : QVariant(); };
    s.customer = labelled(QStringLiteral("客户名称："), first(salecol::customer));
    s.address = labelled(QStringLiteral("客户地址："), first(salecol::address));
    s.contact = labelled(QStringLiteral("联系电话："), first(salecol::contact));
    s.saleNumber = QStringLiteral("单 号：") + saleNumber;
    s.date = QStringLiteral("日 期：") + num::dateText(today);
    s.maker = QStringLiteral("制单人：") + userName;
    num::Money total;
    const int n = rows.isOpen() ? rows.rowCount() : 0;
    for (int r = 0; r < n; ++r) {
        const auto value = [&](QLatin1StringView field) { return rows.value(r, QString(field)); };
        s.lines.append({value(salecol::name).toString(), value(salecol::model).toString(),
                        value(salecol::code).toString(), num::general(value(salecol::quantity)),
                        num::general(value(salecol::price)), num::general(value(salecol::amount)),
                        value(salecol::customerRemark).toString()});
        // An amount that is no number counts nothing, as in the totals of the grids.
        if (const std::optional<num::Money> m = num::Money::fromVariant(value(salecol::amount)))
            (void)total.add(*m);
    }
    const QString figure = total.toText();
    s.figure = QStringLiteral("￥") + figure;
    const CapitalAmountText capital = CapitalAmount(figure);
    for (const QString& text : capital.refusal)
        messagePort().inform(text);
    s.capital = QStringLiteral("（大写） ") + capital.text;
    return s;
}

QList<Item> layout(const Slip& slip)
{
    QList<Item> items;
    Builder b(items);

    b.band(kTitleBand);
    b.text(slip.texts.title, 91.1, 0.5, 16, Item::Centre, true);
    b.rule(42.6, 6.3, 139.4, 6.3);
    b.rule(42.6, 7.4, 139.4, 7.4);
    b.text(slip.texts.contactLine, 91.0, 9.0, 10, Item::Centre);

    b.band(kCustomerBand);
    b.text(slip.customer, 4.2, 1.1, 11);
    b.text(slip.saleNumber, 137.3, 1.1, 11);
    b.band(kCustomerBand);
    b.text(slip.address, 4.2, 1.1, 11);
    b.text(slip.contact, 88.4, 1.1, 11);
    b.text(slip.date, 137.3, 1.1, 11);

    columnHeader(b);
    for (const Line& line : slip.lines) {
        // A page that is full goes on with the column titles on the next one.
        if (!b.fits(kDetailBand)) {
            b.newPage();
            columnHeader(b);
        }
        b.band(kDetailBand);
        b.frame();
        b.tableRules();
        b.text(line.name, 2.1, 1.3, 11, Item::Left, false, kRules[0] - 2.1 - kCellGap, false, kSmallestCellPoints);
        b.text(line.model, 36.8, 1.3, 11, Item::Left, false, kRules[1] - 36.8 - kCellGap, false, kSmallestCellPoints);
        // A code shows all its characters: a 13-digit one is a little wider than its column at 11 pt.
        b.text(line.code, 77.3, 1.3, 11, Item::Left, false, kRules[2] - 77.3 - kCellGap, false, kAnySize);
        b.text(line.quantity, 113.8, 1.3, 11, Item::Right);
        b.text(line.price, 129.9, 1.3, 11, Item::Right);
        b.text(line.amount, 147.7, 1.3, 11, Item::Right);
        b.text(line.remark, 150.8, 1.3, 11, Item::Left, false, kPrintableWidth - 150.8 - kCellGap, false,
               kSmallestCellPoints);
    }

    // The total, the promotion lines and the signatures stay together.
    const bool promotion = !slip.texts.promotion1.isEmpty();
    if (!b.fits(kSummaryBand + (promotion ? kPromotionBand : kThinPromotionBand) + kSignatureBand))
        b.newPage();
    b.band(kSummaryBand);
    b.frame();
    b.rule(kRules[4], 0, kRules[4], kSummaryBand);
    b.text(QStringLiteral("合 计"), 4.5, 0.5, 11, Item::Left, true);
    b.text(QStringLiteral("人民币"), 3.4, 4.8, 11, Item::Left, true);
    b.text(slip.capital, 14.6, 2.4, 11, Item::Left, true, kRules[4] - 14.6 - kCellGap);
    b.text(slip.figure, 136.3, 3.2, 11, Item::Left, true, 0, true);

    // Without a first promotion line the band shrinks to its frame.
    b.band(promotion ? kPromotionBand : kThinPromotionBand);
    b.frame(true);
    if (promotion) {
        b.text(slip.texts.promotion1, 3.2, 1.3, 10);
        b.text(slip.texts.promotion2, 3.2, 6.3, 10);
    }

    b.band(kSignatureBand);
    b.text(QStringLiteral("收货人："), 6.3, 2.1, 11);
    b.text(QStringLiteral("送货人："), 65.6, 2.1, 11);
    b.text(slip.maker, 130.7, 2.1, 11);
    return items;
}

int pageCount(const QList<Item>& items)
{
    int pages = 1;
    for (const Item& i : items)
        pages = std::max(pages, i.page + 1);
    return pages;
}

bool print(QPrinter& printer, const Slip& slip, QString* error)
{
    setUp(printer);
    PdfOutput pdf(printer);
    paintAll(printer, slip);
    if (pdf.finish())
        return true;
    if (error)
        *error = pdf.errorText();
    return false;
}

void preview(const QString& saleNumber, const RowSet& rows, const Texts& texts, const QString& userName)
{
    const Slip slip = make(saleNumber, rows, texts, userName);
    QPrinter printer(QPrinter::HighResolution);
    setUp(printer);
    PrintPreview::run(
        printer,
        [&slip](QPrinter& p, bool) {
            paintAll(p, slip);
            return true;
        },
        QStringLiteral("销售单预览"));
}

QString noSaleText(const QString& saleNumber)
{
    return QStringLiteral("没有销售单号为“%1”的销售记录，销售单没有打印。").arg(saleNumber);
}

bool previewSale(Tdmfm& dm, const Texts& texts, const QString& saleNumber, const QString& userName)
{
    auto read = salelookup::readSlipRows(dm, saleNumber.trimmed());
    if (!succeeded(read))
        return false;
    RowSet rows(QStringLiteral("slipReport"));
    rows.load(std::move(read).value());
    if (rows.isEmpty()) {
        messagePort().inform(noSaleText(saleNumber.trimmed()));
        return false;
    }
    preview(saleNumber, rows, texts, userName);
    return true;
}

} // namespace salesslip
