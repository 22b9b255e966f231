#include "formats/workbook.h"

#include "formats/workbookreader.h"

#include <QFile>

#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

#include <cmath>

namespace workbook {

using namespace reader;

namespace {

void initGsf()
{
    static const bool done = [] {
        gsf_init();
        return true;
    }();
    (void)done;
}

} // namespace

const Sheet* Book::sheet(const QString& name) const
{
    for (const Sheet& s : sheets)
        if (s.name.compare(name, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

QDate dateOfSerial(double serial, bool system1904)
{
    if (!std::isfinite(serial) || serial < 0 || serial > 3e6)
        return {};
    const qint64 days = qint64(std::floor(serial));
    if (system1904)
        return QDate(1904, 1, 1).addDays(days);
    // Day 60 is 1900-02-29, which never was; the 1900 system counts it anyway.
    if (days < 1 || days == 60)
        return {};
    return days < 60 ? QDate(1899, 12, 31).addDays(days) : QDate(1899, 12, 30).addDays(days);
}

bool read(const QString& path, const Selection& selection, Book* book, QString* error)
{
    *book = Book();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法打开文件 %1：%2").arg(path, f.errorString());
        return false;
    }
    const QByteArray head = f.peek(8);
    if (head.isEmpty()) {
        *error = QStringLiteral("文件是空的，不是 Excel 工作簿");
        return false;
    }
    static const QByteArray ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    const bool isOle = head == ole;
    const bool isZip = head.startsWith("PK\x03\x04");
    if (!isOle && !isZip) {
        if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
            if (f.size() > kMaxCsvBytes) {
                *error = QStringLiteral("CSV 文件过大（超过 %1 MB）").arg(kMaxCsvBytes >> 20);
                return false;
            }
            const bool ok = readCsv(path, f.readAll(), selection, book, error);
            if (!ok)
                *book = Book();
            return ok;
        }
        *error = notAWorkbook();
        return false;
    }
    f.close();
    initGsf();
    // libgsf complains about damaged files on stderr; the caller gets the reason.
    struct Quiet
    {
        GLogFunc previousLog =
            g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        GPrintFunc previousPrint = g_set_printerr_handler([](const gchar*) {});
        ~Quiet()
        {
            g_log_set_default_handler(previousLog, nullptr);
            g_set_printerr_handler(previousPrint);
        }
    } quiet;
    GError* err = nullptr;
    const InputPtr input(gsf_input_stdio_new(QFile::encodeName(path).constData(), &err));
    if (!input) {
        *error = QStringLiteral("无法打开文件 %1：%2").arg(path, takeError(err));
        return false;
    }
    const bool ok =
        isOle ? readXls(input.get(), selection, book, error) : readXlsx(input.get(), selection, book, error);
    if (!ok)
        *book = Book();
    return ok;
}

} // namespace workbook
