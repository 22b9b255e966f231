#include "formats/workbookreader.h"

namespace workbook::reader {

QString notAWorkbook()
{
    return QStringLiteral("文件不是 Excel 工作簿（.xls、.xlsx）或 CSV 文本");
}
QString encrypted()
{
    return QStringLiteral("工作簿设置了打开密码（已加密），请在 Excel 中取消密码后另存再导入");
}
QString damaged(const QString& what)
{
    return QStringLiteral("工作簿已损坏，无法读取（%1）").arg(what);
}
QString tooMuchText()
{
    return QStringLiteral("工作簿中的文字太多（超过 %1 万个字符或 %2 万个不同的文字），无法导入")
        .arg(kMaxHeldChars / 10000)
        .arg(kMaxSharedStrings / 10000);
}
// "A1" names of columns: 1 -> "A", 27 -> "AA".
QString columnName(qint64 column)
{
    QString name;
    for (qint64 c = column; c > 0; c = (c - 1) / 26)
        name.prepend(QChar(char16_t(u'A' + (c - 1) % 26)));
    return name;
}
QString beyondXls(const QString& sheet, int row, int column)
{
    return QStringLiteral(
               "工作表“%1”第 %2 行第 %3 列有单元格，超出 Excel 97-2003 工作表的 %4 列，文件已损坏或不是 Excel "
               "保存的")
        .arg(sheet)
        .arg(row + 1)
        .arg(column + 1)
        .arg(kXlsColumns);
}
QString beyondXlsx(const QString& sheet, const QString& where)
{
    return QStringLiteral(
               "工作表“%1”的单元格位置 %2 超出 Excel 工作表的范围（最多 %3 列，到 %4 列；%5 行），文件已损坏")
        .arg(sheet, where)
        .arg(kXlsxColumns)
        .arg(columnName(kXlsxColumns))
        .arg(kXlsxRows);
}

// The text of a cell; a text longer than kept is cut (see Cell::fullLength).
Cell textCell(QString text)
{
    Cell c;
    c.kind = Cell::Kind::Text;
    if (text.size() > kMaxKeptText) {
        text = trimControlsAndSpaces(text);
        if (text.size() > kMaxKeptText) {
            c.fullLength = text.size();
            text.truncate(kMaxKeptText);
            text.squeeze();
        }
    }
    c.text = std::move(text);
    return c;
}

// ---- Number formats --------------------------------------------------------------

// Whether a number format shows its number as a date or a time. The built-in
// formats are known by number (14-22 and 45-47 everywhere, 27-36 and 50-58 in
// the East Asian versions); any other format by its code: after quoted texts,
// escaped characters and bracketed parts ([Red], [$-804]) are taken out, a code
// with a year, month, day, hour or second letter is a date form.
bool isDateFormat(int id, const QString& code)
{
    if (code.isEmpty())
        return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
    if (code.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0 || code == QLatin1String("@"))
        return false;
    bool quoted = false;
    int bracket = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code.at(i);
        if (quoted) {
            quoted = ch != QLatin1Char('"');
            continue;
        }
        if (ch == QLatin1Char('"')) {
            quoted = true;
        } else if (ch == QLatin1Char('\\') || ch == QLatin1Char('_') || ch == QLatin1Char('*')) {
            ++i; // the next character is shown as it is (or fills / pads)
        } else if (ch == QLatin1Char('[')) {
            ++bracket;
        } else if (ch == QLatin1Char(']')) {
            bracket = std::max(0, bracket - 1);
        } else if (bracket == 0) {
            switch (ch.toLower().unicode()) {
            case u'y':
            case u'm':
            case u'd':
            case u'h':
            case u's':
                return true;
            case u';':
                return false; // the first section decides
            default:
                break;
            }
        }
    }
    return false;
}

Cell numberCell(double value, bool dateForm, bool system1904)
{
    Cell c;
    c.kind = dateForm ? Cell::Kind::Date : Cell::Kind::Number;
    c.number = value;
    if (dateForm)
        c.date = dateOfSerial(value, system1904);
    return c;
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    default:
        return QStringLiteral("#ERROR!");
    }
}

Cell errorCell(QString text)
{
    Cell c;
    c.kind = Cell::Kind::Error;
    c.text = std::move(text);
    return c;
}

QString takeError(GError*& err)
{
    QString text = err ? QString::fromUtf8(err->message) : QString();
    if (err)
        g_error_free(err);
    err = nullptr;
    return text;
}

InputPtr childNamed(GsfInfile* dir, const char* name)
{
    const int n = gsf_infile_num_children(dir);
    for (int i = 0; i < n; ++i) {
        const char* childName = gsf_infile_name_by_index(dir, i);
        if (childName && qstricmp(childName, name) == 0)
            return InputPtr(gsf_infile_child_by_index(dir, i));
    }
    return nullptr;
}

} // namespace workbook::reader
