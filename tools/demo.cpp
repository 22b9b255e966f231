#include "demo.h"

#include "core/clock.h"
#include "core/messageport.h"
#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/database.h"
#include "store/db/newdatabasefile.h"
#include "store/db/rowwriter.h"
#include "store/db/schema.h"
#include "text/pinyininitials.h"

#include <QDate>
#include <QFileInfo>

#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace {

struct Article
{
    const char* name;
    const char* category;
    int costLow;
    int costHigh;
    const char* models[4];
};

const Article kArticles[] = {
    {"篮球", "球类", 45, 180, {"7号 室内外", "7号 真皮", "5号 青少年", "6号 女子"}},
    {"足球", "球类", 40, 160, {"5号 比赛用球", "4号 训练", "5号 热粘合", "3号 儿童"}},
    {"排球", "球类", 35, 120, {"5号 软式", "5号 比赛", "4号 学生", ""}},
    {"羽毛球拍", "乒羽用品", 60, 420, {"全碳素 4U", "对拍 铝碳", "单拍 5U", "进攻型 3U"}},
    {"羽毛球", "乒羽用品", 25, 90, {"12只装 鸭毛", "12只装 鹅毛", "训练球 6只", ""}},
    {"乒乓球拍", "乒羽用品", 30, 260, {"横拍 双面反胶", "直拍 长胶", "成品拍 三星", "底板 五夹"}},
    {"乒乓球", "乒羽用品", 8, 40, {"三星 10只", "一星 训练 100只", "无缝 40+", ""}},
    {"网球拍", "球类", 120, 680, {"碳素 100平方英寸", "铝合金 初学", "专业 98", ""}},
    {"跑步鞋", "运动鞋", 90, 420, {"42码 缓震", "40码 透气", "44码 竞速", "38码 女款"}},
    {"篮球鞋", "运动鞋", 150, 560, {"43码 高帮", "42码 低帮", "45码 实战", "41码"}},
    {"运动T恤", "运动服装", 25, 120, {"XL 速干", "L 纯棉", "M 圆领", "XXL 短袖"}},
    {"运动短裤", "运动服装", 20, 90, {"L 速干", "XL 五分", "M 篮球裤", ""}},
    {"运动套装", "运动服装", 120, 480, {"L 春秋款", "XL 加绒", "M 针织", "XXL"}},
    {"护膝", "护具", 15, 80, {"M 弹力", "L 加厚", "均码 运动", ""}},
    {"护腕", "护具", 6, 30, {"均码 2只装", "加长 吸汗", "", ""}},
    {"瑜伽垫", "健身器材", 30, 150, {"6mm TPE", "8mm NBR", "10mm 加宽", "4mm 天然橡胶"}},
    {"哑铃", "健身器材", 40, 260, {"5kg 一对", "10kg 可调", "2kg 包胶", "15kg 电镀"}},
    {"跳绳", "健身器材", 8, 60, {"计数 钢丝", "竞速 轴承", "负重 儿童", ""}},
    {"泳镜", "游泳用品", 20, 150, {"高清 防雾", "近视 300度", "儿童 卡通", ""}},
    {"泳帽", "游泳用品", 10, 50, {"硅胶 长发", "布料 男款", "", ""}},
    {"登山包", "户外用品", 90, 460, {"40L 防水", "30L 轻量", "50L 专业", "20L 日常"}},
    {"帐篷", "户外用品", 150, 900, {"双人 双层", "三人 速开", "单人 超轻", "四人 家庭"}},
    {"运动袜", "运动服装", 5, 25, {"中筒 3双装", "船袜 5双装", "加厚 毛巾底", ""}},
    {"健身手套", "护具", 15, 70, {"M 半指", "L 护腕", "XL 全指", ""}},
};

const char* kMakers[] = {"飞燕", "劲峰", "远航", "星驰", "青山", "蓝海", "金羚", "朝阳"};
const char* kSuppliers[] = {"城东体育用品批发部", "华南运动器材有限公司", "星河商贸",
                            "光明体育用品厂",     "远航户外专营",         "恒力健身器材公司"};
const char* kRemarks[] = {"", "", "", "促销款", "新品", "老款清仓", "门店陈列", "团购备货"};
const char* kCustomers[] = {"",      "", "", "张伟", "王芳", "李娜", "刘洋", "陈静", "第三中学体育组", "飞跃篮球俱乐部",
                            "O'Neil"};

QString u8(const char* s)
{
    return QString::fromUtf8(s);
}

// A computed figure as the tables hold it: passed through its general text.
long double asStored(long double v)
{
    return *num::toDecimal(num::general(v));
}

// A figure written as a double and read back as the sale operation reads a
// stored figure: through the double's general text.
long double readBack(double stored)
{
    return *num::toDecimal(num::general(QVariant(stored)));
}

// The texts of the articles, made once: a stock row keeps only the indexes
// of its name and model, and a sale copies the texts from here.
struct Texts
{
    struct Text
    {
        QString text;
        QString initials;
    };
    Text names[std::size(kMakers)][std::size(kArticles)];
    Text models[std::size(kArticles)][4];
    QString categories[std::size(kArticles)];

    Texts()
    {
        for (size_t a = 0; a < std::size(kArticles); ++a) {
            categories[a] = u8(kArticles[a].category);
            for (size_t m = 0; m < std::size(kMakers); ++m) {
                const QString name = u8(kMakers[m]) + u8(kArticles[a].name);
                names[m][a] = {name, PinyinInitials(name)};
            }
            for (int m = 0; m < 4; ++m) {
                const QString model = u8(kArticles[a].models[m]);
                models[a][m] = {model, PinyinInitials(model)};
            }
        }
    }
};

// One stock row while the sales are made: what a sale of it copies, and its
// figures as the sale operation would find them stored at that point.
struct Batch
{
    qint64 id = -1;
    qint64 code = 0;       // the 13 digits of its code
    long double cost = 0;  // purchase price, as read back
    long double price = 0; // list price
    long double sold = 0, salesAmount = 0, stock = 0; // as read back
    double stockAmount = 0;                           // as stored by the last sale
    int day = 0;                                      // days after the first day
    int remaining = 0;                                // what the stock check of a sale allows
    quint8 article = 0, maker = 0, model = 0;
    bool touched = false; // sold or returned: its figures are written at the end
};

// A sale that may come back: the batch it was sold from, whether at the
// discount, and whether it came back already.
struct Sold
{
    qint32 batch;
    bool discounted;
    bool returned;
};

// Calls the progress callback every `step` rows and once at the end.
class Progress
{
public:
    explicit Progress(const DemoOptions& options)
        : m_report(options.progress)
        , m_total(qint64(options.stockRows) + qint64(options.sales))
    {
    }
    void step()
    {
        if (++m_done % kStep == 0 && m_report)
            m_report(m_done, m_total);
    }
    void finish()
    {
        if (m_report && m_total >= kStep)
            m_report(m_total, m_total);
    }

private:
    static constexpr qint64 kStep = 100000;
    const std::function<void(qint64, qint64)>& m_report;
    qint64 m_total;
    qint64 m_done = 0;
};

bool failed(const Error& e, QString* error)
{
    *error = MessagePort::userErrorText(e.text);
    return false;
}

bool fillRows(Database& db, const DemoOptions& options, DemoResult* result, QString* error);

} // namespace

bool fillDemo(const DemoOptions& options, DemoResult* result, QString* error)
{
    // A new file is built under a temporary name and appears complete or not at
    // all; an existing one takes the whole fill in one transaction. Either way
    // a fill that fails half-way (a full disk) leaves nothing of itself.
    std::optional<NewDatabaseFile> fresh;
    QString path = options.path;
    if (!QFileInfo::exists(options.path)) {
        fresh.emplace(options.path);
        if (!fresh->reserve(error))
            return false;
        Database db;
        if (!db.open(fresh->tempPath(), true, error) || !schema::createDelivered(db, error))
            return false;
        path = fresh->tempPath();
    }
    {
        Database db;
        if (!db.open(path, false, error) || !schema::migrate(db, error) || !schema::verifyUsable(db, error))
            return false;
        // A new file is synced once when it is published; an existing shop's
        // file keeps every sync.
        if (fresh)
            db.exec(QStringLiteral("PRAGMA synchronous = OFF"), error);
        // A transaction of its own, not a savepoint: inside a savepoint the
        // engine keeps the former content of every page written for as long
        // as it is open (gigabytes for a million sales).
        Transaction all(db, Transaction::Lock::Immediate);
        if (!all.begun()) {
            *error = all.error();
            return false;
        }
        DemoResult filled;
        if (!fillRows(db, options, &filled, error) || !all.commit(error))
            return false;
        *result = filled;
    }
    return !fresh || fresh->publish(error);
}

namespace {

bool fillRows(Database& db, const DemoOptions& options, DemoResult* result, QString* error)
{
    std::mt19937 rng(options.seed);
    auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    const QDate today = wallclock::today();
    const QDate first = today.addYears(-4);
    const int span = int(first.daysTo(today));
    const Texts texts;
    Progress progress(options);

    RowInserter stockRows(db, QLatin1StringView("data"),
                          {stockcol::name, stockcol::model, stockcol::code, stockcol::category, stockcol::nameInitials,
                           stockcol::modelInitials, stockcol::supplier, stockcol::purchasePrice, stockcol::quantityIn,
                           stockcol::purchaseAmount, stockcol::salePrice, stockcol::soldQuantity, stockcol::salesAmount,
                           stockcol::stockQuantity, stockcol::stockAmount, stockcol::remark, stockcol::stockInDate});
    if (!stockRows.error().isEmpty()) {
        *error = stockRows.error();
        return false;
    }
    std::vector<Batch> batches;
    batches.reserve(size_t(options.stockRows));
    for (int i = 0; i < options.stockRows; ++i) {
        Batch b;
        b.article = quint8(pick(int(std::size(kArticles))));
        const Article& art = kArticles[b.article];
        b.maker = quint8(pick(int(std::size(kMakers))));
        do
            b.model = quint8(pick(4));
        while (texts.models[b.article][b.model].text.isEmpty() && pick(2));
        const int costCents = between(art.costLow * 100, art.costHigh * 100) / 50 * 50;
        const long double cost = costCents / 100.0L;
        b.price = num::round2(cost * (130 + between(0, 70)) / 100.0L);
        const int qty = between(1, 60);
        b.day = int(qint64(span) * i / qMax(1, options.stockRows));
        const int codeTail = between(100, 999);
        b.code = 6900000000000LL + qint64(between(10000000, 99999999)) * 1000 + codeTail;
        const QString supplier = u8(kSuppliers[pick(int(std::size(kSuppliers)))]);
        const QString remark = u8(kRemarks[pick(int(std::size(kRemarks)))]);
        const double held = double(*num::toDecimal(num::general(cost * qty)));
        const Texts::Text& name = texts.names[b.maker][b.article];
        const Texts::Text& model = texts.models[b.article][b.model];
        const Result<qint64> id = stockRows.insert({name.text, model.text, QString::number(b.code),
                                                    texts.categories[b.article], name.initials, model.initials,
                                                    supplier, double(cost), double(qty), held, double(b.price), 0.0,
                                                    0.0, double(qty), held, remark, num::dateText(first.addDays(b.day))});
        if (!id)
            return failed(id.error(), error);
        b.id = *id;
        b.cost = readBack(double(cost));
        b.stock = readBack(double(qty));
        b.stockAmount = held;
        b.remaining = qty;
        batches.push_back(b);
        progress.step();
    }
    result->stockRows = int(batches.size());

    if (batches.empty() || options.sales == 0) {
        progress.finish();
        return true;
    }

    // Sales in date order, numbered per day; now and then a return of an
    // earlier sale. The days are drawn first; only their counts are kept.
    std::vector<int> salesOnDay(size_t(span) + 1, 0);
    for (int i = 0; i < options.sales; ++i)
        ++salesOnDay[size_t(between(0, span))];

    RowInserter saleRows(db, QLatin1StringView("data1"),
                         {salecol::name, salecol::model, salecol::code, salecol::category, salecol::nameInitials,
                          salecol::modelInitials, salecol::customer, salecol::address, salecol::contact,
                          salecol::customerRemark, salecol::saleNumber, salecol::purchasePrice, salecol::price,
                          salecol::quantity, salecol::amount, salecol::profit, salecol::owed, salecol::saleDate,
                          salecol::stockInDate, salecol::stockRowId});
    if (!saleRows.error().isEmpty()) {
        *error = saleRows.error();
        return false;
    }
    std::vector<Sold> sold;
    sold.reserve(size_t(options.sales));
    for (int dayIndex = 0; dayIndex <= span; ++dayIndex) {
        const QDate day = first.addDays(dayIndex);
        const QString dayText = num::dateText(day);
        const QString numberHead = day.toString(QStringLiteral("yyyyMMdd"));
        int sequence = 0;
        for (int n = 0; n < salesOnDay[size_t(dayIndex)]; ++n) {
            progress.step();
            // Now and then one piece of an earlier sale comes back; otherwise a
            // batch already in stock on that day sells no more than it has left.
            Sold* back = nullptr;
            if (!sold.empty() && pick(20) == 0) {
                Sold& s = sold[size_t(pick(int(sold.size())))];
                if (!s.returned)
                    back = &s;
            }
            const bool isReturn = back != nullptr;
            int chosen = -1;
            int quantity;
            long double price;
            if (isReturn) {
                back->returned = true;
                chosen = back->batch;
                Batch& b = batches[size_t(chosen)];
                quantity = -1;
                price = back->discounted ? num::round2(b.price * 0.9L) : b.price;
                ++b.remaining;
            } else {
                for (int tries = 0; tries < 30 && chosen < 0; ++tries) {
                    const int c = pick(int(batches.size()));
                    if (batches[size_t(c)].day <= dayIndex && batches[size_t(c)].remaining > 0)
                        chosen = c;
                }
                if (chosen < 0)
                    continue;
                Batch& b = batches[size_t(chosen)];
                quantity = between(1, std::min(3, b.remaining));
                b.remaining -= quantity;
                const bool discounted = pick(3) == 0;
                price = discounted ? num::round2(b.price * 0.9L) : b.price;
                sold.push_back({qint32(chosen), discounted, false});
            }
            const QString priceText = num::general(price);
            const QString number = numberHead + QStringLiteral("%1").arg(++sequence, 3, 10, QLatin1Char('0'));
            const QString customer = u8(kCustomers[pick(int(std::size(kCustomers)))]);
            QString contact;
            if (!customer.isEmpty() && pick(3) == 0)
                contact = QStringLiteral("13%1").arg(between(100000000, 999999999));
            const QString owedText = pick(15) == 0 ? priceText : QStringLiteral("0");

            // The figures as the program's sale operation computes them from
            // the typed texts and the stock row's stored figures.
            Batch& b = batches[size_t(chosen)];
            const long double q = quantity;
            const std::optional<long double> p = num::toStorable(priceText, QStringLiteral("实际销售价"), error);
            const std::optional<long double> owed =
                p ? num::toStorable(owedText, QStringLiteral("欠款金额"), error) : std::nullopt;
            if (!owed)
                return false;
            const long double remaining = b.stock - q;
            const long double saleAmount = asStored(*p * q);
            b.sold = readBack(double(asStored(b.sold + q)));
            b.salesAmount = readBack(double(asStored(b.salesAmount + saleAmount)));
            b.stock = readBack(double(num::round2(remaining)));
            b.stockAmount = double(asStored(remaining * b.cost));
            b.touched = true;

            const Texts::Text& name = texts.names[b.maker][b.article];
            const Texts::Text& model = texts.models[b.article][b.model];
            const Result<qint64> row = saleRows.insert(
                {name.text, model.text, QString::number(b.code), texts.categories[b.article], name.initials,
                 model.initials, customer, QString(), contact, QString(), number, double(b.cost), double(*p),
                 double(q), double(saleAmount), double(num::round2((*p - b.cost) * q)), double(*owed), dayText,
                 num::dateText(first.addDays(b.day)), b.id});
            if (!row)
                return failed(row.error(), error);
            ++(isReturn ? result->returns : result->sales);
        }
    }

    // Each stock row that was sold from takes the figures of its last sale.
    RowUpdater figures(db, QLatin1StringView("data"),
                       {stockcol::soldQuantity, stockcol::salesAmount, stockcol::stockQuantity, stockcol::stockAmount});
    if (!figures.error().isEmpty()) {
        *error = figures.error();
        return false;
    }
    for (const Batch& b : batches) {
        if (!b.touched)
            continue;
        const Result<void> written =
            figures.update(b.id, {double(b.sold), double(b.salesAmount), double(b.stock), b.stockAmount});
        if (!written)
            return failed(written.error(), error);
    }
    progress.finish();
    return true;
}

} // namespace
