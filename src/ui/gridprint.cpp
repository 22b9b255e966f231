#include "ui/gridprint.h"

#include "core/clock.h"
#include "core/numbers.h"
#include "store/memory/rowset.h"
#include "ui/datagrid.h"
#include "ui/pdfoutput.h"
#include "ui/printfont.h"
#include "ui/printpreview.h"

#include "core/messageport.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QProgressDialog>
#include <QTableView>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QColor kGridColor(238, 238, 238);   // rows and titles, as on screen
const QColor kFooterColor(255, 194, 134); // the totals row, as on screen
const QColor kLineColor(128, 128, 128);
constexpr double kMarginMm = 20;
// Screen pixels of the grid's column widths per inch.
constexpr double kScreenDpi = 96;
// Trailing blanks of the line below the grid.
const QString kBelowBlanks = QStringLiteral("    ");
// The printing's progress window shows when it takes longer than this.
constexpr int kProgressAfterMs = 400;

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
    bool wraps = false; // a column of texts, which may wrap; numbers and dates never do
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
    return printableFont(f);
}

// Rows measured for the column widths of a big grid: an even sample.
constexpr int kSampledRows = 2000;
// The cell text shrinks with the columns down to this size; beyond it the
// columns of long texts get narrower and wrap.
constexpr double kSmallestPoints = 6;

// Whether `c` may end a line of wrapped text: a break is allowed next to a
// blank or an ideograph, never inside a run of digits or Latin letters.
bool breaksLine(QChar c)
{
    return c.isSpace() || c.unicode() >= 0x2E80;
}

// The longest run of `text` a wrap cannot break (a code, a number, a word).
QString longestUnbreakable(const QString& text)
{
    qsizetype best = 0;
    qsizetype bestAt = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i)
        if (i == text.size() || breaksLine(text.at(i))) {
            if (i - start > best) {
                best = i - start;
                bestAt = start;
            }
            start = i + 1;
        }
    return text.mid(bestAt, best);
}

// Lays the grid out on pages and paints them one by one, reading the rows
// from the grid's model as each page needs them: nothing is kept per row or
// per page, so any number of rows prints in bounded memory.
class GridPainter final
{
public:
    GridPainter(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options, const QDate& today)
        : m_printer(printer)
        , m_grid(grid)
        , m_options(options)
        , m_today(today)
    {
        const double dpi = printer.resolution();
        m_pt = dpi / 72.0;
        const QRectF page = printer.pageLayout().paintRectPixels(int(dpi));
        m_width = page.width();
        m_height = page.height();
        const RowSet* rows = grid.rowSet();
        m_rowCount = rows && rows->isOpen() ? rows->rowCount() : 0;
        layColumns(dpi);
        m_headingText = GridPrint::expand(m_options.heading, m_options, m_today);
        const QFont heading = printFont(14, true);
        // The heading's box as its text lays out, fallback faces included.
        m_headingHeight = std::max(
            QFontMetricsF(heading, &m_printer).height(),
            QFontMetricsF(heading, &m_printer).boundingRect(QRectF(0, 0, m_width, 1e6), Qt::AlignHCenter,
                                                              m_headingText).height());
        m_headingBlock = m_headingHeight + QFontMetricsF(printFont(8), &m_printer).height();
        const QFont f = printFont(10);
        m_headerLine = QFontMetricsF(f, &m_printer).height();
        m_top = m_headerLine + 12 * m_pt;
        if (const QTableView* view = grid.view()) {
            m_alternate = view->alternatingRowColors();
            m_base = view->palette().color(QPalette::Base);
            m_alternateBase = view->palette().color(QPalette::AlternateBase);
        }
    }

    int rowCount() const { return m_rowCount; }
    int rowsDone() const { return m_nextRow; }

    // The number of pages, counted and not laid out: the rows take the
    // average height of an even sample of them (wrapped texts included),
    // the totals row one line.
    int estimatedPages() const
    {
        const double titles = m_twoTitleRows ? 2 * m_cellHeight : m_cellHeight;
        const double row = averageRowHeight();
        const auto perPage = [&](double room) { return std::max(1.0, std::floor((room - titles) / row)); };
        const double first = perPage(m_height - m_top - m_headingBlock);
        const double other = perPage(m_height - m_top);
        const double lines = double(m_rowCount) + m_cellHeight / row; // and the totals row
        const double pages = lines <= first ? 1 : 1 + std::ceil((lines - first) / other);
        return int(std::min<double>(pages, std::numeric_limits<int>::max()));
    }

    // Paints the next page on `painter`, begun on the printer; the caller
    // starts each page after the first. False when it was the last page.
    bool paintPage(QPainter& painter)
    {
        m_painter = &painter;
        startPage();
        if (m_page == 1) {
            // The heading and its empty line.
            m_painter->setFont(printFont(14, true));
            m_painter->setPen(Qt::black);
            m_painter->drawText(QRectF(0, m_y, m_width, m_headingHeight), Qt::AlignHCenter | Qt::AlignTop,
                                m_headingText);
            m_y += m_headingBlock;
        }
        if (!m_totalsDone && !m_columns.isEmpty()) {
            drawTitles();
            // Rows while they fit; at least one per page, so that a row
            // taller than a page still prints and the printout ends.
            bool first = true;
            while (m_nextRow < m_rowCount) {
                const double height = rowHeight(m_nextRow);
                if (!first && m_y + height > m_height)
                    break;
                drawRow(m_nextRow, height);
                ++m_nextRow;
                first = false;
            }
            if (m_nextRow < m_rowCount || (!first && m_y + m_cellHeight > m_height))
                return finishPage(true);
            drawTotals();
        }
        m_totalsDone = true;
        // An empty line, then the signature line, right-aligned.
        const QFont below = printFont(10);
        const double line = QFontMetricsF(below, &m_printer).height();
        if (m_y + 2 * line > m_height && m_y > m_top + m_headingBlock)
            return finishPage(true);
        m_y += line;
        m_painter->setFont(below);
        m_painter->setPen(Qt::black);
        m_painter->drawText(QRectF(0, m_y, m_width, line), Qt::AlignRight | Qt::AlignTop,
                            GridPrint::expand(m_options.macro + kBelowBlanks, m_options, m_today));
        return finishPage(false);
    }

private:
    bool finishPage(bool more)
    {
        m_painter = nullptr;
        return more;
    }

    void layColumns(double dpi)
    {
        const DataGridModel* model = m_grid.model();
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
            column.width = std::max(m_grid.columnWidth(field), 1) * dpi / kScreenDpi;
            column.alignment = design.alignment;
            column.footerAlignment = model->footerAlignment(c);
            column.titleColor = design.titleColor.isValid() ? design.titleColor : kGridColor;
            column.titleTextColor = design.titleTextColor.isValid() ? design.titleTextColor : QColor(Qt::black);
            column.total = model->footerText(c);
            column.wraps = design.format == GridColumn::Format::Text;
            m_columns.append(column);
        }
        for (const PrintColumn& c : m_columns)
            m_twoTitleRows = m_twoTitleRows || !c.group.isEmpty();
        const double gridPoints =
            m_grid.font().pixelSize() > 0 ? m_grid.font().pixelSize() * 72.0 / kScreenDpi : m_grid.font().pointSizeF();
        double scale = fitColumns(gridPoints);
        m_cellFont = printFont(gridPoints * scale);
        m_titleFont = m_cellFont;
        // The room around a cell's text shrinks with the text, as fitColumns
        // counts it: the columns' widths hold the text and this room exactly.
        m_pad = 2 * m_pt * std::min(1.0, scale);
        m_cellHeight = QFontMetricsF(m_cellFont, &m_printer).height() + 2 * m_pad;
    }

    // Sets the columns' widths on the page; returns the scale of the text.
    //
    // Each column wants its screen width, widened to its title, its total
    // and its texts (of every row of a small grid, of an even sample of a big
    // one). Numbers, dates and codes never wrap and get their whole width; a
    // column of long texts may wrap them and wants only room for its longest
    // unbreakable run. A grid wider than the page shrinks with its text, down
    // to the smallest size; beyond it the columns of long texts give up room
    // (never below that run) and, when even that is not enough, everything
    // shrinks further. Spare room goes first to the long texts, then to all.
    double fitColumns(double gridPoints)
    {
        if (m_columns.isEmpty())
            return 1;
        const QFontMetricsF fm(printFont(gridPoints), &m_printer);
        const double pad = 2 * m_pt;
        const qsizetype n = m_columns.size();
        QVector<double> need(n, 0);  // the whole widest text on one line
        QVector<double> floor(n, 0); // the widest run a wrap cannot break
        for (qsizetype i = 0; i < n; ++i) {
            const PrintColumn& c = m_columns.at(i);
            need[i] = std::max(fm.horizontalAdvance(c.title), fm.horizontalAdvance(c.total));
            floor[i] = std::max(fm.horizontalAdvance(longestUnbreakable(c.title)), fm.horizontalAdvance(c.total));
        }
        const DataGridModel* model = m_grid.model();
        const auto measure = [&](int row) {
            for (qsizetype i = 0; i < n; ++i) {
                const QString text = model->text(row, m_columns.at(i).modelColumn);
                if (text.isEmpty())
                    continue;
                need[i] = std::max(need[i], fm.horizontalAdvance(text));
                floor[i] = std::max(floor[i], fm.horizontalAdvance(longestUnbreakable(text)));
            }
        };
        const int step = std::max(1, (m_rowCount + kSampledRows - 1) / kSampledRows);
        for (int r = 0; r < m_rowCount; r += step)
            measure(r);
        if (m_rowCount > 0 && (m_rowCount - 1) % step != 0)
            measure(m_rowCount - 1);
        QVector<double> want(n);
        double total = 0;
        for (qsizetype i = 0; i < n; ++i) {
            PrintColumn& c = m_columns[i];
            need[i] += 2 * pad + m_pt;
            floor[i] += 2 * pad + m_pt;
            if (!c.wraps)
                floor[i] = need[i];
            want[i] = std::max(c.width, floor[i]);
            total += want[i];
        }
        double scale = 1;
        if (total > m_width) {
            scale = std::max(m_width / total, kSmallestPoints / gridPoints);
            total = 0;
            for (qsizetype i = 0; i < n; ++i) {
                m_columns[i].width = want[i] * scale;
                total += m_columns[i].width;
            }
            if (total > m_width) {
                double room = 0;
                for (qsizetype i = 0; i < n; ++i)
                    room += m_columns[i].width - floor[i] * scale;
                const double give = room > 0 ? std::min(1.0, (total - m_width) / room) : 0;
                total = 0;
                for (qsizetype i = 0; i < n; ++i) {
                    PrintColumn& c = m_columns[i];
                    c.width -= (c.width - floor[i] * scale) * give;
                    total += c.width;
                }
            }
            if (total > m_width) {
                const double more = m_width / total;
                scale *= more;
                for (PrintColumn& c : m_columns)
                    c.width *= more;
            }
            return scale;
        }
        double spare = m_width - total;
        double short_ = 0;
        for (qsizetype i = 0; i < n; ++i)
            short_ += std::max(0.0, need[i] - want[i]);
        const double fill = short_ > 0 ? std::min(1.0, spare / short_) : 0;
        total = 0;
        for (qsizetype i = 0; i < n; ++i) {
            m_columns[i].width = want[i] + std::max(0.0, need[i] - want[i]) * fill;
            total += m_columns[i].width;
        }
        for (PrintColumn& c : m_columns)
            c.width *= m_width / total;
        return scale;
    }

    void startPage()
    {
        ++m_page;
        // "Page. n" centred, a double line below it.
        const QFont f = printFont(10);
        m_painter->setFont(f);
        m_painter->setPen(Qt::black);
        m_painter->drawText(QRectF(0, 0, m_width, m_headerLine), Qt::AlignHCenter | Qt::AlignTop,
                            QStringLiteral("Page. &[Page]").replace(QStringLiteral("&[Page]"), QString::number(m_page)));
        QPen pen(Qt::black);
        pen.setWidthF(0.5 * m_pt);
        m_painter->setPen(pen);
        const double y1 = m_headerLine + 2 * m_pt;
        m_painter->drawLine(QPointF(0, y1), QPointF(m_width, y1));
        m_painter->drawLine(QPointF(0, y1 + 2 * m_pt), QPointF(m_width, y1 + 2 * m_pt));
        m_y = m_top;
    }

    void cell(const QRectF& box, const QColor& background, const QColor& textColor, const QString& text,
              Qt::Alignment alignment, const QFont& font)
    {
        m_painter->fillRect(box, background);
        QPen pen(kLineColor);
        pen.setWidthF(0.5 * m_pt);
        m_painter->setPen(pen);
        m_painter->drawRect(box);
        if (text.isEmpty())
            return;
        m_painter->setFont(font);
        m_painter->setPen(textColor);
        // A text that overruns its box is drawn whole, never clipped: the
        // preview and the PDF do not clip alike (the preview cut the last
        // digit of a code that the PDF showed whole).
        m_painter->drawText(box.adjusted(m_pad, m_pad / 2, -m_pad, -m_pad / 2),
                            int(alignment) | Qt::TextWordWrap | Qt::TextDontClip, text);
    }

    void drawTitles()
    {
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

    double averageRowHeight() const
    {
        if (m_rowCount == 0)
            return m_cellHeight;
        const int step = std::max(1, (m_rowCount + kSampledRows - 1) / kSampledRows);
        double sum = 0;
        int rows = 0;
        for (int r = 0; r < m_rowCount; r += step, ++rows)
            sum += rowHeight(r);
        return sum / rows;
    }

    // The row's height: one line, or what its longest wrapped text needs.
    double rowHeight(int row) const
    {
        const DataGridModel* model = m_grid.model();
        const QFontMetricsF fm(m_cellFont, &m_printer);
        double height = m_cellHeight;
        for (const PrintColumn& c : m_columns) {
            const QString text = model->text(row, c.modelColumn);
            if (!text.isEmpty() && fm.horizontalAdvance(text) > c.width - 2 * m_pad) {
                const QRectF need = fm.boundingRect(QRectF(0, 0, c.width - 2 * m_pad, 1e6),
                                                    int(c.alignment) | Qt::TextWordWrap, text);
                height = std::max(height, need.height() + m_pad);
            }
        }
        return height;
    }

    void drawRow(int row, double height)
    {
        const DataGridModel* model = m_grid.model();
        const QVariant fg = model->data(model->index(row, 0), Qt::ForegroundRole);
        const QColor textColor = fg.canConvert<QBrush>() ? fg.value<QBrush>().color() : QColor(Qt::black);
        // The rows' colours as the grid shows them.
        const QColor background = m_alternate && row % 2 == 1 ? m_alternateBase : m_base;
        double x = 0;
        for (const PrintColumn& c : m_columns) {
            cell(QRectF(x, m_y, c.width, height), background, textColor, model->text(row, c.modelColumn), c.alignment,
                 m_cellFont);
            x += c.width;
        }
        m_y += height;
    }

    void drawTotals()
    {
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
    QPainter* m_painter = nullptr; // while a page is painted
    QList<PrintColumn> m_columns;
    QFont m_cellFont;
    QFont m_titleFont;
    QString m_headingText;
    QColor m_base = kGridColor;
    QColor m_alternateBase = kGridColor;
    bool m_alternate = false;
    double m_cellHeight = 0;
    double m_pad = 0; // between a cell's border and its text, left and right; half of it above and below
    double m_headingHeight = 0;
    double m_headingBlock = 0; // the heading and its empty line
    double m_headerLine = 0;
    double m_top = 0; // below the page header
    bool m_twoTitleRows = false;
    double m_pt = 1;
    double m_width = 0;
    double m_height = 0;
    double m_y = 0;
    int m_page = 0;
    int m_rowCount = 0;
    int m_nextRow = 0;
    bool m_totalsDone = false;
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

int GridPrint::estimatedPages(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options)
{
    setUp(printer);
    return GridPainter(printer, grid, options, wallclock::today()).estimatedPages();
}

bool GridPrint::confirm(int pages)
{
    return pages <= kAskAbovePages ||
           messagePort().askYesNo(QStringLiteral("提示"), QStringLiteral("共 %1 页，是否继续？").arg(pages)) ==
               MessagePort::Answer::Ok;
}

namespace {

// Paints the pages on the printer, at most `maxPages` of them (0: all).
// With `progress` the rows done show in it between pages, and its "停止"
// ends the printing: the print job is aborted where the printer can, and
// false is returned.
bool paintPages(QPrinter& printer, GridPainter& painter, int maxPages, QProgressDialog* progress)
{
    QPainter p;
    if (!p.begin(&printer))
        return false;
    for (int page = 1;; ++page) {
        if (page > 1)
            printer.newPage();
        const bool more = painter.paintPage(p);
        if (progress) {
            progress->setValue(std::min(painter.rowsDone(), progress->maximum() - 1));
            progress->setLabelText(QStringLiteral("正在打印第 %1 页……").arg(page));
            QCoreApplication::processEvents();
            if (progress->wasCanceled()) {
                printer.abort();
                p.end();
                return false;
            }
        }
        if (!more || page == maxPages)
            break;
    }
    p.end();
    return true;
}

// Prints every page with a progress window whose "停止" ends the printing.
bool printAll(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options, const QDate& today)
{
    GridPainter painter(printer, grid, options, today);
    QProgressDialog progress(QStringLiteral("正在打印……"), QStringLiteral("停止"), 0, painter.rowCount() + 1,
                             QApplication::activeWindow());
    progress.setObjectName(QStringLiteral("printProgress"));
    progress.setWindowTitle(QStringLiteral("打印"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(kProgressAfterMs);
    progress.setValue(0);
    return paintPages(printer, painter, 0, &progress);
}

} // namespace

bool GridPrint::print(QPrinter& printer, const DataGrid& grid, const GridPrintOptions& options, const QDate& today,
                      QString* error)
{
    setUp(printer);
    PdfOutput pdf(printer);
    // A stopped print leaves no file: the unfinished one goes with `pdf`.
    if (!printAll(printer, grid, options, today))
        return false;
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
    const int pages = GridPainter(printer, grid, options, wallclock::today()).estimatedPages();
    if (!confirm(pages))
        return;
    // The preview holds each page it shows, so a long printout shows its
    // first pages only; printing from it prints them all.
    const QString note = pages > kPreviewPages
                             ? QStringLiteral("预览只显示前 %1 页（共约 %2 页），打印时输出全部页面。")
                                   .arg(kPreviewPages)
                                   .arg(pages)
                             : QString();
    // The date of the signature is taken anew for each painting.
    PrintPreview::run(
        printer,
        [&grid, &options](QPrinter& p, bool forPreview) {
            if (!forPreview)
                return printAll(p, grid, options, wallclock::today());
            GridPainter painter(p, grid, options, wallclock::today());
            return paintPages(p, painter, kPreviewPages, nullptr);
        },
        QStringLiteral("打印预览"), note);
}
