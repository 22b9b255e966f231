// The A4 sales slip report, which the shop's documents name Tform22 (docs/names.md).
#pragma once

#include "core/clock.h"

#include <QDate>
#include <QList>
#include <QString>

class QPainter;
class QPrinter;
class RowSet;
class Tdmfm;
class Tpos;

// The A4 sales slip (销售单) of one sale number: the shop's heading, the
// customer, a ruled table of the articles, the total in figures and in
// capital numerals, the promotion lines and the signature captions.
//
// Every position is in millimetres from the left edge of the printable area
// (A4 portrait, margins 10 mm top and bottom, 15 mm left and right, 180 mm
// wide) and from the top of its band; the bands follow each other down the
// page. All texts are 宋体.
//
// The sales detail window ("销售单预览") and the slip panel ("销售单打印") both ask
// their host, which previews the slip with
//   salesslip::previewSale(dm, salesslip::textsOf(receiptSettings), saleNumber, userName);
namespace salesslip {

// The shop texts of the receipt settings the slip prints.
struct Texts
{
    QString title;       // 销售单表头
    QString contactLine; // 联系地址电话
    QString promotion1;  // 宣传语1
    QString promotion2;  // 宣传语2
};

// The slip's texts as the receipt settings window holds them now.
Texts textsOf(const Tpos& settings);

struct Line
{
    QString name, model, code, quantity, price, amount, remark;
};

struct Slip
{
    Texts texts;
    QString customer;   // "客户名称：…", empty when the sale has no customer value
    QString saleNumber; // "单 号：…"
    QString address;    // "客户地址：…"
    QString contact;    // "联系电话：…"
    QString date;       // "日 期：yyyy-mm-dd"
    QString capital;    // "（大写） …"
    QString figure;     // "￥…"
    QString maker;      // "制单人：…"
    QList<Line> lines;
};

// The slip of `rows` (Sale rows, in their order): customer texts from the
// first row, the total as the four-decimal money sum of the amounts. A
// negative total shows the capital amount's messages and leaves the capital
// text empty.
Slip make(const QString& saleNumber, const RowSet& rows, const Texts& texts, const QString& userName,
          const QDate& today = wallclock::today());

// One text or rule of a page, in millimetres from the top left of the
// printable area.
struct Item
{
    enum Kind { Text, Rule } kind = Text;
    QString text;
    double x = 0;  // text: left edge, right end or centre (by `anchor`); rule: start
    double y = 0;  // text: top; rule: start
    double x2 = 0; // rule: end
    double y2 = 0;
    double width = 0; // text: room it may take (0: no limit)
    // Text: a text wider than `width` shrinks to fit it, on the same baseline,
    // down to this size in points (0: it never shrinks); beyond it, it is cut.
    double smallest = 0;
    enum Anchor { Left, Right, Centre } anchor = Left;
    double points = 11;
    bool bold = false;
    bool underline = false;
    int page = 0;
};

inline constexpr double kPrintableWidth = 180;
inline constexpr double kPrintableHeight = 277;

// The items of every page of the slip.
QList<Item> layout(const Slip& slip);
int pageCount(const QList<Item>& items);

// Sets `printer` to A4 portrait with the slip's margins and paints the slip.
// A PDF file replaces an existing one only when written whole; false (with
// *error naming the file and the reason) when it was not.
bool print(QPrinter& printer, const Slip& slip, QString* error = nullptr);

// Opens the print preview of the slip of `rows`.
void preview(const QString& saleNumber, const RowSet& rows, const Texts& texts, const QString& userName);
// The message when no sale row's number contains `saleNumber`.
QString noSaleText(const QString& saleNumber);
// The preview both windows ask for: the Sale rows of every number containing the
// trimmed `saleNumber`, then the preview. False when the rows could not be
// read or there are none (the message was shown).
bool previewSale(Tdmfm& dm, const Texts& texts, const QString& saleNumber, const QString& userName);

} // namespace salesslip
