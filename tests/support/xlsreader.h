#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QPair>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>

// Reads an .xls file back with xlrd, the spreadsheet reader of Debian's
// python3-xlrd, in a process under the C locale: what any other program on
// a non-Chinese system would make of the file.
struct XlsCell
{
    int type = 0; // xlrd's cell type: 1 text, 2 number, 6 blank
    QVariant value;
};

struct XlsSheet
{
    bool ok = false;
    QString error;
    int rows = 0;
    int columns = 0;
    QString encoding; // the encoding the reader chose for the texts
    QMap<QPair<int, int>, XlsCell> cells;

    XlsCell at(int row, int column) const { return cells.value({row, column}); }
    QString text(int row, int column) const { return at(row, column).value.toString(); }
};

inline XlsSheet readXls(const QString& path)
{
    static const char* script = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_index(0)
cells = []
for r in range(sheet.nrows):
    for c in range(sheet.ncols):
        cell = sheet.cell(r, c)
        if cell.ctype != 0:
            cells.append([r, c, cell.ctype, cell.value])
print(json.dumps({"rows": sheet.nrows, "cols": sheet.ncols, "encoding": book.encoding, "cells": cells}))
)";
    XlsSheet out;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    env.insert(QStringLiteral("PYTHONIOENCODING"), QStringLiteral("utf-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(script), path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        out.error = QString::fromUtf8(p.readAllStandardError());
        return out;
    }
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    out.rows = o.value(QStringLiteral("rows")).toInt();
    out.columns = o.value(QStringLiteral("cols")).toInt();
    out.encoding = o.value(QStringLiteral("encoding")).toString();
    for (const QJsonValue& v : o.value(QStringLiteral("cells")).toArray()) {
        const QJsonArray a = v.toArray();
        out.cells.insert({a.at(0).toInt(), a.at(1).toInt()}, {a.at(2).toInt(), a.at(3).toVariant()});
    }
    out.ok = true;
    return out;
}

// Reads an .xls file back with LibreOffice Calc (soffice, headless): its
// cells as UTF-8 CSV, converted in `folder`. Texts only; empty when soffice is
// missing or fails (error says why).
inline QList<QStringList> readXlsWithLibreOffice(const QString& path, const QString& folder, QString* error)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        *error = QStringLiteral("soffice is not installed");
        return {};
    }
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/lo-profile"),
                      QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                      QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), QStringLiteral("--outdir"), folder,
                      path});
    const QString csv = QDir(folder).filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".csv"));
    if (!p.waitForFinished(180000) || p.exitCode() != 0 || !QFileInfo::exists(csv)) {
        *error = QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    QFile f(csv);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = f.errorString();
        return {};
    }
    // Quoted fields may hold commas; none of the tests' texts holds a quote or a line break.
    QList<QStringList> rows;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        QStringList fields;
        QString field;
        bool quoted = false;
        for (const QChar c : line) {
            if (c == u'"')
                quoted = !quoted;
            else if (c == u',' && !quoted)
                fields << std::exchange(field, QString());
            else
                field += c;
        }
        fields << field;
        rows << fields;
    }
    return rows;
}
