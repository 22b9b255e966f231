// Import bench: a workbook of 10,000 stock rows (or the number given as the
// first argument), saved as Excel 97-2003 by LibreOffice Calc (soffice must be
// installed), imported into the program's open database while its stock table
// is loaded, as the import window does it:
//   case=import   read the workbook, check every row, write them in one
//                 transaction and bring them into the in-memory stock table.
// Each run starts from the same database, holding 1,000 stock rows.
// Before that, workbooks that are small on disk but ask for huge sheets are
// refused; each prints the time and the peak memory of the process:
//   case=import_hostile_<shape> rows=<rows the file names> median_ms=<x> rss_mb=<peak>

#include "benchsupport.h"
#include "hostileworkbooks.h"
#include "processmemory.h"

#include "store/db/schema.h"
#include "store/memory/stockqueries.h"
#include "store/ops/stockimport.h"
#include "store/ops/tdmfm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

int fail(const QString& error)
{
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
}

// A CSV file of `rows` rows converted to .xls by LibreOffice.
bool makeWorkbook(const QString& folder, int rows, QString* path, QString* error)
{
    const QString csv = QDir(folder).filePath(QStringLiteral("korvel.csv"));
    QFile f(csv);
    if (!f.open(QIODevice::WriteOnly)) {
        *error = f.errorString();
        return false;
    }
    const char* names[] = {"李宁羽毛球拍", "红双喜乒乓球", "斯伯丁篮球", "安踏跑鞋", "迪卡侬瑜伽垫"};
    QByteArray text = "a,b,c,d,e,f,g,a1,a2,a3,a4,a5,a6,a7,a8,z,day1\n";
    for (int i = 0; i < rows; ++i) {
        const double price = 10 + i % 90 + 0.5;
        const int qty = 1 + i % 40;
        text += QStringLiteral("%1,型号%2,69%3,球类,,,供货商%4,%5,%6,%7,%8,0,0,%6,%7,备注,2026-%9-%10\n")
                    .arg(QString::fromUtf8(names[i % 5]))
                    .arg(i % 300)
                    .arg(10000000000LL + i)
                    .arg(i % 12)
                    .arg(price)
                    .arg(qty)
                    .arg(price * qty)
                    .arg(price * 1.5)
                    .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                    .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                    .toUtf8();
    }
    f.write(text);
    f.close();
    QProcess soffice;
    soffice.setWorkingDirectory(folder);
    soffice.start(QStringLiteral("soffice"),
                  {QStringLiteral("-env:UserInstallation=file://") + folder + QStringLiteral("/profile"),
                   QStringLiteral("--headless"), QStringLiteral("--infilter=CSV:44,34,76,1"),
                   QStringLiteral("--convert-to"), QStringLiteral("xls:MS Excel 97"), csv});
    if (!soffice.waitForFinished(180000) || soffice.exitCode() != 0) {
        *error = QStringLiteral("soffice could not convert the workbook: %1")
                     .arg(soffice.errorString() + QString::fromLocal8Bit(soffice.readAllStandardError()));
        return false;
    }
    *path = QDir(folder).filePath(QStringLiteral("korvel.xls"));
    return QFile::exists(*path);
}

// Refuses each hostile shape (three runs each); false when one was read.
bool hostileCases(const QString& folder, QString* error)
{
    const QString db = QDir(folder).filePath(QStringLiteral("hostile.mdb"));
    if (!schema::createDeliveredFile(db, error))
        return false;
    const QByteArray tiny = "<row><c><v>1</v></c></row>";
    struct Shape
    {
        const char* name;
        qint64 rows;
        std::function<bool(const QString&)> write;
    };
    const Shape shapes[] = {
        {"xls_column_65535", 65536, [](const QString& p) { return hostile::writeXlsBeyondLastColumn(p, 65536); }},
        {"xlsx_column_amj", 1000000,
         [](const QString& p) { return hostile::writeXlsx(p, {}, "<row><c r=\"AMJ1\"><v>1</v></c></row>", 1000000); }},
        {"xlsx_15m_tiny_rows", 15000000,
         [&tiny](const QString& p) { return hostile::writeXlsx(p, hostile::xlsxTitleRow(), tiny, 15000000); }},
    };
    for (const Shape& shape : shapes) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(shape.name) +
                                                   (shape.rows == 65536 ? QStringLiteral(".xls") : QStringLiteral(".xlsx")));
        if (!shape.write(path)) {
            *error = QStringLiteral("could not write %1").arg(path);
            return false;
        }
        processmemory::resetPeak();
        bool refused = true;
        const double ms = medianMs(
            [&] { refused = refused && stockimport::run(path, db, nullptr).outcome != stockimport::Outcome::Imported; },
            3);
        if (!refused) {
            *error = QStringLiteral("%1 was imported").arg(path);
            return false;
        }
        std::printf("case=import_hostile_%s rows=%lld median_ms=%.1f rss_mb=%lld\n", shape.name,
                    static_cast<long long>(shape.rows), ms, static_cast<long long>(processmemory::peakKb() / 1024));
        std::fflush(stdout);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QString error, workbook;
    if (!hostileCases(dir.path(), &error))
        return fail(error);
    if (!makeWorkbook(dir.path(), rows, &workbook, &error))
        return fail(error);

    // The database every run starts from.
    const QString start = QDir(dir.path()).filePath(QStringLiteral("start.mdb"));
    {
        if (!schema::createDeliveredFile(start, &error))
            return fail(error);
        Database db;
        if (!db.open(start, false, &error))
            return fail(error);
        Transaction t(db);
        const Statement seed{QStringLiteral("insert into data (a,b,c,d,e,f,g,[1],[2],[3],[4],[5],[6],[7],[8],z,day1) "
                                            "values ('篮球','7号','1','球类','lq','7h','',50,10,500,90,0,0,10,500,'',"
                                            "'2026-01-05')"),
                             {}};
        if (!db.exec(seed, &error) || !growStock(db, 1, 1000, &error) || !t.commit(&error))
            return fail(error);
    }
    const QString shop = QDir(dir.path()).filePath(QStringLiteral("data.mdb"));
    std::unique_ptr<Tdmfm> dm;
    int imported = 0;
    bool ok = true;
    const double ms = medianMs(
        [&] {
            dm.reset();
            QFile::remove(shop);
            QFile::copy(start, shop);
            dm = std::make_unique<Tdmfm>();
            ok = ok && dm->open(shop) && dm->stock().showAll(stockq::ZeroStock::Shown);
        },
        [&] {
            const stockimport::Result r = stockimport::run(workbook, shop, dm.get());
            if (r.outcome != stockimport::Outcome::Imported) {
                ok = false;
                error = r.detail;
            }
            imported = r.rows;
        },
        5);
    if (!ok)
        return fail(error);
    (void)dm->stock().showAll(stockq::ZeroStock::Shown);
    if (imported != rows || dm->stock().list().rowCount() != 1000 + rows)
        return fail(
            QStringLiteral("imported %1 rows, the stock list shows %2").arg(imported).arg(dm->stock().list().rowCount()));
    std::printf("case=import rows=%d median_ms=%.1f\n", rows, ms);
    return 0;
}
