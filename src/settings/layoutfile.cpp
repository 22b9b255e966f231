#include "settings/layoutfile.h"

#include "settings/settingsstore.h"
#include "settings/textfile.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

const QString defaultKey = QStringLiteral("(Default)");

// A value beyond these was not made by a person resizing a grid (a row 100,000
// px tall would fill every screen at every login): it is ignored like an
// unreadable one.
constexpr int kMaxWidth = 4000; // column and drop-down widths, pixels
constexpr int kMaxRowHeight = 500;
constexpr int kMaxTextLines = 50;
constexpr int kMaxDropDownRows = 1000;

bool within(const std::optional<int>& v, int low, int high)
{
    return v && *v >= low && *v <= high;
}

// Lines are read the way the platform's profile functions read them: names of
// sections and keys compare case-insensitively and ignore surrounding blanks,
// ";" starts a comment line, and the first of duplicate sections or keys wins.

std::optional<QStringView> sectionOf(const QString& line)
{
    const QStringView t = QStringView(line).trimmed();
    if (!t.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

bool isComment(const QString& line)
{
    return QStringView(line).trimmed().startsWith(u';');
}

// Key of a "key=value" line; empty when the line holds none.
QStringView keyOf(const QString& line)
{
    if (isComment(line) || sectionOf(line))
        return {};
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QStringView() : QStringView(line).left(eq).trimmed();
}

QString valueOf(const QString& line)
{
    QStringView v = QStringView(line).mid(line.indexOf(u'=') + 1).trimmed();
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v.toString();
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Lines [begin, end) of the body of `section` (after its header), or nothing
// when the section is missing.
struct Range
{
    qsizetype header;
    qsizetype end;
};

std::optional<Range> findSection(const QStringList& lines, const QString& section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = sectionOf(lines[i]);
        if (!name || !sameName(*name, section))
            continue;
        qsizetype end = i + 1;
        while (end < lines.size() && !sectionOf(lines[end]))
            ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<QString> readKey(const QStringList& lines, const Range& range, const QString& key)
{
    for (qsizetype i = range.header + 1; i < range.end; ++i) {
        const QStringView k = keyOf(lines[i]);
        if (!k.isEmpty() && sameName(k, key))
            return valueOf(lines[i]);
    }
    return std::nullopt;
}

// Replaces the first line of `key` in the section, or adds the key after the
// section's last non-blank line, adding the section at the end when missing.
void writeKey(QStringList& lines, const QString& section, const QString& key, const QString& value)
{
    const QString line = key + u'=' + value;
    auto range = findSection(lines, section);
    if (!range) {
        lines.append(u'[' + section + u']');
        lines.append(line);
        return;
    }
    qsizetype insertAt = range->header + 1;
    for (qsizetype i = range->header + 1; i < range->end; ++i) {
        const QStringView k = keyOf(lines[i]);
        if (!k.isEmpty() && sameName(k, key)) {
            lines[i] = line;
            return;
        }
        if (!QStringView(lines[i]).trimmed().isEmpty())
            insertAt = i + 1;
    }
    lines.insert(insertAt, line);
}

// The comma-separated whole numbers of a value; a field that is missing or not
// a whole number is empty.
QList<std::optional<int>> numbers(const QString& value, qsizetype count)
{
    QList<std::optional<int>> out(count);
    const QStringList parts = value.split(u',');
    for (qsizetype i = 0; i < count && i < parts.size(); ++i) {
        bool ok = false;
        const int n = parts[i].trimmed().toInt(&ok, 10);
        if (ok)
            out[i] = n;
    }
    return out;
}

void take(int& target, const std::optional<int>& stored, bool valid = true)
{
    if (stored && valid)
        target = *stored;
}

} // namespace

QString layoutFilePath()
{
    return QDir(SettingsStore::folderPath()).filePath(QStringLiteral("lorvin.ini"));
}

bool saveLayout(const QString& section, const QString& gridName, const GridLayout& layout, QString* error)
{
    const QString path = layoutFilePath();
    QString text;
    if (textfile::read(path, text) == textfile::ReadStatus::Failed) {
        // Replacing a file we cannot read would drop the other grid's layout.
        if (error)
            *error = QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path));
        return false;
    }
    const QString eol = text.contains(u"\r\n") ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QStringList lines = textfile::splitLines(text);

    for (const ColumnState& c : layout.columns) {
        writeKey(lines, section, gridName + u'.' + c.field,
                 QStringLiteral("%1,%2,%3,%4,%5,%6,%7")
                     .arg(c.position)
                     .arg(c.width)
                     .arg(c.sortMarker)
                     .arg(c.visible ? 1 : 0)
                     .arg(c.sortIndex)
                     .arg(c.dropDownRows)
                     .arg(c.dropDownWidth));
    }
    writeKey(lines, section, defaultKey, QStringLiteral("%1,%2").arg(layout.rowHeight).arg(layout.textLines));
    return textfile::write(path, lines.join(eol) + eol, error);
}

bool restoreLayout(const QString& section, const QString& gridName, GridLayout& layout)
{
    QString text;
    if (textfile::read(layoutFilePath(), text) != textfile::ReadStatus::Ok)
        return false;
    const QStringList lines = textfile::splitLines(text);
    const auto range = findSection(lines, section);
    if (!range)
        return false;

    struct Work
    {
        ColumnState column;
        std::optional<int> target; // stored position; none: the column is not moved itself
        qsizetype id;              // names the column across the moves
    };
    QList<Work> work;
    work.reserve(layout.columns.size());
    for (const ColumnState& c : layout.columns)
        work.append(Work{c, std::nullopt, work.size()});
    std::stable_sort(work.begin(), work.end(),
                     [](const Work& a, const Work& b) { return a.column.position < b.column.position; });

    for (qsizetype i = 0; i < work.size(); ++i) {
        ColumnState& c = work[i].column;
        const auto value = readKey(lines, *range, gridName + u'.' + c.field);
        if (!value)
            continue;
        const auto f = numbers(*value, 7);
        work[i].target = f[0] ? *f[0] : int(i);
        take(c.width, f[1], within(f[1], 0, kMaxWidth));
        take(c.sortMarker, f[2], within(f[2], 0, 2));
        if (f[3])
            c.visible = *f[3] != 0;
        take(c.sortIndex, f[4]);
        take(c.dropDownRows, f[5], within(f[5], 0, kMaxDropDownRows));
        take(c.dropDownWidth, f[6], within(f[6], 0, kMaxWidth));
    }

    const int count = int(work.size());
    for (int p = 0; p < count; ++p) {
        QList<qsizetype> movers;
        for (const Work& w : std::as_const(work)) {
            if (w.target == p)
                movers.append(w.id);
        }
        for (const qsizetype id : std::as_const(movers)) {
            const auto it = std::find_if(work.cbegin(), work.cend(), [&](const Work& w) { return w.id == id; });
            work.move(it - work.cbegin(), p);
        }
    }

    layout.columns.clear();
    for (qsizetype i = 0; i < work.size(); ++i) {
        work[i].column.position = int(i);
        layout.columns.append(work[i].column);
    }

    if (const auto value = readKey(lines, *range, defaultKey)) {
        const auto f = numbers(*value, 2);
        take(layout.rowHeight, f[0], within(f[0], 1, kMaxRowHeight));
        take(layout.textLines, f[1], within(f[1], 1, kMaxTextLines));
    }
    return true;
}
