#include "demo.h"

#include "core/clock.h"
#include "core/messageport.h"
#include "core/numbers.h"
#include "store/db/columns.h"
#include "store/db/newdatabasefile.h"
#include "store/db/schema.h"
#include "store/ops/saleops.h"
#include "store/ops/tdmfm.h"
#include "text/pinyininitials.h"

#include <QDate>
#include <QFileInfo>
#include <QVariantMap>

#include <optional>
#include <random>

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

bool fillRows(Tdmfm& dm, const DemoOptions& options, DemoResult* result, QString* error);

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
        Tdmfm dm;
        if (const Result<void> opened = dm.open(path); !opened) {
            *error = opened.error().text;
            return false;
        }
        // A new file is synced once when it is published; an existing shop's
        // file keeps every sync.
        if (fresh)
            dm.db().exec(QStringLiteral("PRAGMA synchronous = OFF"), error);
        Transaction all(dm.db());
        if (!all.begun()) {
            *error = all.error();
            return false;
        }
        DemoResult filled;
        if (!fillRows(dm, options, &filled, error) || !all.commit(error))
            return false;
        *result = filled;
    }
    return !fresh || fresh->publish(error);
}

namespace {

bool fillRows(Tdmfm& dm, const DemoOptions& options, DemoResult* result, QString* error)
{
    std::mt19937 rng(options.seed);
    auto pick = [&](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    auto between = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    const QDate today = wallclock::today();
    const QDate first = today.addYears(-4);
    const int span = int(first.daysTo(today));

    struct Batch
    {
        qint64 id;
        QDate day;
        long double price;
        int remaining; // what the stock check of a sale allows
    };
    QVector<Batch> batches;
    {
        Transaction t(dm.db());
        for (int i = 0; i < options.stockRows; ++i) {
            const Article& art = kArticles[pick(int(std::size(kArticles)))];
            const QString name = u8(kMakers[pick(int(std::size(kMakers)))]) + u8(art.name);
            QString model;
            do
                model = u8(art.models[pick(4)]);
            while (model.isEmpty() && pick(2));
            const int costCents = between(art.costLow * 100, art.costHigh * 100) / 50 * 50;
            const long double cost = costCents / 100.0L;
            const long double price = num::round2(cost * (130 + between(0, 70)) / 100.0L);
            const long double qty = between(1, 60);
            const QDate day = first.addDays(span * i / qMax(1, options.stockRows));
            const QString code =
                QStringLiteral("69%1").arg(between(10000000, 99999999)) + QStringLiteral("%1").arg(between(100, 999));
            const QVariantMap row{
                {QString(stockcol::name), name},
                {QString(stockcol::model), model},
                {QString(stockcol::code), code},
                {QString(stockcol::category), u8(art.category)},
                {QString(stockcol::nameInitials), PinyinInitials(name)},
                {QString(stockcol::modelInitials), PinyinInitials(model)},
                {QString(stockcol::supplier), u8(kSuppliers[pick(int(std::size(kSuppliers)))])},
                {QString(stockcol::purchasePrice), double(cost)},
                {QString(stockcol::quantityIn), double(qty)},
                {QString(stockcol::purchaseAmount), double(*num::toDecimal(num::general(cost * qty)))},
                {QString(stockcol::salePrice), double(price)},
                {QString(stockcol::soldQuantity), 0.0},
                {QString(stockcol::salesAmount), 0.0},
                {QString(stockcol::stockQuantity), double(qty)},
                {QString(stockcol::stockAmount), double(*num::toDecimal(num::general(cost * qty)))},
                {QString(stockcol::remark), u8(kRemarks[pick(int(std::size(kRemarks)))])},
                {QString(stockcol::stockInDate), num::dateText(day)},
            };
            const Result<qint64> id = dm.appendRow(QStringLiteral("data"), row);
            if (!id) {
                *error = MessagePort::userErrorText(id.error().text);
                return false;
            }
            batches.append({*id, day, price, int(qty)});
        }
        if (!t.commit(error))
            return false;
    }
    result->stockRows = int(batches.size());

    if (batches.isEmpty() || options.sales == 0)
        return true;

    // Sales in date order, numbered per day; now and then a return of an earlier sale.
    QVector<QDate> days;
    for (int i = 0; i < options.sales; ++i)
        days.append(first.addDays(between(0, span)));
    std::sort(days.begin(), days.end());
    QMap<QDate, int> sequence;
    struct Sold
    {
        int batch;
        long double price;
        bool returned;
    };
    QVector<Sold> sold;
    Transaction t(dm.db());
    for (const QDate& day : days) {
        saleops::SaleInput in;
        // Now and then one piece of an earlier sale comes back; otherwise a batch
        // already in stock on that day sells no more than it has left.
        Sold* back = nullptr;
        if (!sold.isEmpty() && pick(20) == 0) {
            Sold& s = sold[pick(int(sold.size()))];
            if (!s.returned)
                back = &s;
        }
        const bool isReturn = back != nullptr;
        long double price;
        if (isReturn) {
            back->returned = true;
            Batch& b = batches[back->batch];
            in.stockRowId = b.id;
            in.quantity = QStringLiteral("-1");
            price = back->price;
            ++b.remaining;
        } else {
            int chosen = -1;
            for (int tries = 0; tries < 30 && chosen < 0; ++tries) {
                const int c = pick(int(batches.size()));
                if (batches.at(c).day <= day && batches.at(c).remaining > 0)
                    chosen = c;
            }
            if (chosen < 0)
                continue;
            Batch& b = batches[chosen];
            const int q = between(1, std::min(3, b.remaining));
            b.remaining -= q;
            in.stockRowId = b.id;
            in.quantity = QString::number(q);
            price = pick(3) == 0 ? num::round2(b.price * 0.9L) : b.price;
            sold.append({chosen, price, false});
        }
        in.price = num::general(price);
        const int seq = ++sequence[day];
        in.saleNumber =
            day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("%1").arg(seq, 3, 10, QLatin1Char('0'));
        in.saleDate = num::dateText(day);
        in.customer = u8(kCustomers[pick(int(std::size(kCustomers)))]);
        if (!in.customer.isEmpty() && pick(3) == 0)
            in.contact = QStringLiteral("13%1").arg(between(100000000, 999999999));
        in.owed = pick(15) == 0 ? in.price : QStringLiteral("0");
        if (const Result<qint64> saleRow = saleops::recordSale(dm, in); !saleRow) {
            *error = MessagePort::userErrorText(saleRow.error().text);
            return false;
        }
        ++(isReturn ? result->returns : result->sales);
    }
    return t.commit(error);
}

} // namespace
