#include "ui/gridprint.h"

#include "core/clock.h"
#include "core/numbers.h"
#include "store/rowset.h"
#include "ui/datagrid.h"
#include "ui/pdfoutput.h"
#include "ui/printpreview.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace {

const QColor kGridColor(238, 238, 238);   // rows and titles, as on screen
const QColor kFooterColor(255, 194, 134); // the totals row, as on screen
const QColor kLineColor(128, 128, 128);
constexpr double kMarginMm = 20;
// Screen pixels of the grid's column widths per inch.
constexpr double kScreenDpi = 96;
// Trailing blanks of the line below the grid.
const QString kBelowBlanks = QStringLiteral("    ");

struct PrintColumn
{
    int modelColumn = -1;
    QString group; // empty: the title spans every title row
    QString title;
    double width = 0; // device pixels
    Qt::Alignment alignment;
    Qt::Alignment footerAlignment;
    QColor titleColor;
    QColor titleTextColor;
    QString total;
};

QFont printFont(double points, bool bold = false)
{
    // Arial, or a face with its metrics; Chinese characters from the
    // simplified-Chinese face.
    QFont f;
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                   QStringLiteral("Noto Sans CJK SC")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

class GridPainter final
{
public:
    GridPainter(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options, const QDate& today)
        : m_printer(printer)
        , m_grid(grid)
        , m_options(options)
        , m_today(today)
    {
    }

    void paint()
    {
        if (!m_painter.begin(&m_printer))
            return;
        const double dpi = m_printer.resolution();
        m_pt = dpi / 72.0;
        const QRectF page = m_printer.pageLayout().paintRectPixels(int(dpi));
        m_width = page.width();
        m_height = page.height();
        layColumns(dpi);

        startPage();
        // The heading and its empty line.
        const QFont heading = printFont(14, true);
        const QString headingText = GridPrint::expand(m_options.heading, m_options, m_today);
        m_painter.setFont(heading);
        m_painter.setPen(Qt::black);
        const double headingHeight = QFontMetricsF(heading, &m_printer).height();
        m_painter.drawText(QRectF(0, m_y, m_width, headingHeight), Qt::AlignHCenter | Qt::AlignTop, headingText);
        m_y += headingHeight + QFontMetricsF(printFont(8), &m_printer).height();
        drawTitles();

        const RowSet* rows = m_grid.rowSet();
        const int count = rows && rows->isOpen() ? rows->rowCount() : 0;
        for (int r = 0; r < count; ++r)
            drawRow(r);
        drawTotals();

        // An empty line, then the signature line, right-aligned.
        const QFont below = printFont(10);
        const double line = QFontMetricsF(below, &m_printer).height();
        if (m_y + 2 * line > m_height)
            newPage(false);
        m_y += line;
        m_painter.setFont(below);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(0, m_y, m_width, line), Qt::AlignRight | Qt::AlignTop,
                           GridPrint::expand(m_options.macro + kBelowBlanks, m_options, m_today));
        m_painter.end();
    }

private:
    void layColumns(double dpi)
    {
        const DataGridModel* model = m_grid.model();
        double screenWidth = 0;
        for (int position = 0;; ++position) {
            const QString field = m_grid.fieldAt(position);
            if (field.isEmpty())
                break;
            if (!m_grid.isColumnVisible(field) || m_options.restrictedFields.contains(field.toLower()))
                continue;
            const int c = model->columnOf(field);
            const GridColumn& design = model->columns().at(c);
            PrintColumn column;
            column.modelColumn = c;
            column.group = design.title.contains(u'|') ? design.groupTitle() : QString();
            column.title = design.columnTitle();
            column.width = std::max(m_grid.columnWidth(field), 1);
            column.alignment = design.alignment;
            column.footerAlignment = model->footerAlignment(c);
            column.titleColor = design.titleColor.isValid() ? design.titleColor : kGridColor;
            column.titleTextColor = design.titleTextColor.isValid() ? design.titleTextColor : QColor(Qt::black);
            column.total = model->footerText(c);
            screenWidth += column.width;
            m_columns.append(column);
        }
        if (m_columns.isEmpty())
            return;
        // Columns share the page width in proportion to their screen widths;
        // the text shrinks with them when the grid is wider than the page.
        const double natural = screenWidth * dpi / kScreenDpi;
        const double scale = m_width / natural;
        for (PrintColumn& c : m_columns)
            c.width = c.width * m_width / screenWidth;
        const double gridPoints =
            m_grid.font().pixelSize() > 0 ? m_grid.font().pixelSize() * 72.0 / kScreenDpi : m_grid.font().pointSizeF();
        m_cellFont = printFont(gridPoints * std::min(1.0, scale));
        m_titleFont = m_cellFont;
        m_cellHeight = QFontMetricsF(m_cellFont, &m_printer).height() + 4 * m_pt * std::min(1.0, scale);
        for (const PrintColumn& c : m_columns)
            m_twoTitleRows = m_twoTitleRows || !c.group.isEmpty();
    }

    void startPage()
    {
        ++m_page;
        // "Page. n" centred, a double line below it.
        const QFont f = printFont(10);
        const double h = QFontMetricsF(f, &m_printer).height();
        m_painter.setFont(f);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(0, 0, m_width, h), Qt::AlignHCenter | Qt::AlignTop,
                           QStringLiteral("Page. &[Page]").replace(QStringLiteral("&[Page]"), QString::number(m_page)));
        QPen pen(Qt::black);
        pen.setWidthF(0.5 * m_pt);
        m_painter.setPen(pen);
        const double y1 = h + 2 * m_pt;
        m_painter.drawLine(QPointF(0, y1), QPointF(m_width, y1));
        m_painter.drawLine(QPointF(0, y1 + 2 * m_pt), QPointF(m_width, y1 + 2 * m_pt));
        m_y = y1 + 10 * m_pt;
    }

    void newPage(bool titles)
    {
        m_printer.newPage();
        startPage();
        if (titles)
            drawTitles();
    }

    void cell(const QRectF& box, const QColor& background, const QColor& textColor, const QString& text,
              Qt::Alignment alignment, const QFont& font)
    {
        m_painter.fillRect(box, background);
        QPen pen(kLineColor);
        pen.setWidthF(0.5 * m_pt);
        m_painter.setPen(pen);
        m_painter.drawRect(box);
        if (text.isEmpty())
            return;
        m_painter.setFont(font);
        m_painter.setPen(textColor);
        const double pad = 2 * m_pt;
        m_painter.drawText(box.adjusted(pad, pad / 2, -pad, -pad / 2), int(alignment) | Qt::TextWordWrap, text);
    }

    void drawTitles()
    {
        if (m_columns.isEmpty())
            return;
        const double h = m_cellHeight;
        const double rowsHeight = m_twoTitleRows ? 2 * h : h;
        double x = 0;
        for (int i = 0; i < m_columns.size(); ++i) {
            const PrintColumn& c = m_columns.at(i);
            if (c.group.isEmpty()) {
                cell(QRectF(x, m_y, c.width, rowsHeight), c.titleColor, c.titleTextColor, c.title, Qt::AlignCenter,
                     m_titleFont);
            } else {
                // The group title spans the neighbours that share it.
                const bool first = i == 0 || m_columns.at(i - 1).group != c.group;
                if (first) {
                    double span = 0;
                    for (int j = i; j < m_columns.size() && m_columns.at(j).group == c.group; ++j)
                        span += m_columns.at(j).width;
                    cell(QRectF(x, m_y, span, h), c.titleColor, c.titleTextColor, c.group, Qt::AlignCenter,
                         m_titleFont);
                }
                cell(QRectF(x, m_y + h, c.width, h), c.titleColor, c.titleTextColor, c.title, Qt::AlignCenter,
                     m_titleFont);
            }
            x += c.width;
        }
        m_y += rowsHeight;
    }

    void drawRow(int row)
    {
        const DataGridModel* model = m_grid.model();
        const QFontMetricsF fm(m_cellFont, &m_printer);
        const double pad = 2 * m_pt;
        QStringList texts;
        double height = m_cellHeight;
        for (const PrintColumn& c : m_columns) {
            const QString text = model->text(row, c.modelColumn);
            texts.append(text);
            if (!text.isEmpty() && fm.horizontalAdvance(text) > c.width - 2 * pad) {
                const QRectF need =
                    fm.boundingRect(QRectF(0, 0, c.width - 2 * pad, 1e6), int(c.alignment) | Qt::TextWordWrap, text);
                height = std::max(height, need.height() + pad);
            }
        }
        if (m_y + height > m_height)
            newPage(true);
        const QModelIndex any = model->index(row, 0);
        const QVariant fg = model->data(any, Qt::ForegroundRole);
        const QColor textColor = fg.canConvert<QBrush>() ? fg.value<QBrush>().color() : QColor(Qt::black);
        double x = 0;
        for (int i = 0; i < m_columns.size(); ++i) {
            const PrintColumn& c = m_columns.at(i);
            cell(QRectF(x, m_y, c.width, height), kGridColor, textColor, texts.at(i), c.alignment, m_cellFont);
            x += c.width;
        }
        m_y += height;
    }

    void drawTotals()
    {
        if (m_columns.isEmpty())
            return;
        if (m_y + m_cellHeight > m_height)
            newPage(true);
        double x = 0;
        for (const PrintColumn& c : m_columns) {
            cell(QRectF(x, m_y, c.width, m_cellHeight), kFooterColor, Qt::black, c.total, c.footerAlignment,
                 m_cellFont);
            x += c.width;
        }
        m_y += m_cellHeight;
    }

    QPrinter& m_printer;
    const DataGrid& m_grid;
    const GridPrintOptions& m_options;
    QDate m_today;
    QPainter m_painter;
    QList<PrintColumn> m_columns;
    QFont m_cellFont;
    QFont m_titleFont;
    double m_cellHeight = 0;
    bool m_twoTitleRows = false;
    double m_pt = 1;
    double m_width = 0;
    double m_height = 0;
    double m_y = 0;
    int m_page = 0;
};

void setUp(QPrinter& printer)
{
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(false);
    printer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
}

} // namespace

QString GridPrint::signature(const QString& userName, const QDate& today)
{
    return QStringLiteral("制表人：") + userName + QStringLiteral("    日期：") + num::dateText(today);
}

QString GridPrint::expand(const QString& text, const GridPrintOptions& options, const QDate& today)
{
    if (options.macro.isEmpty())
        return text;
    QString out = text;
    return out.replace(options.macro, signature(options.userName, today));
}

bool GridPrint::print(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options, const QDate& today,
                      QString* error)
{
    setUp(printer);
    PdfOutput pdf(printer);
    GridPainter(printer, grid, options, today).paint();
    if (pdf.finish())
        return true;
    if (error)
        *error = pdf.errorText();
    return false;
}

void GridPrint::preview(DataGrid& grid, const GridPrintOptions& options)
{
    QPrinter printer(QPrinter::HighResolution);
    setUp(printer);
    printer.setDocName(options.heading.simplified());
    // The date of the signature is taken anew for each painting.
    PrintPreview::run(
        printer, [&grid, &options](QPrinter& p) { GridPainter(p, grid, options, wallclock::today()).paint(); },
        QStringLiteral("打印预览"));
}
