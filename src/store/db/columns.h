#pragma once

#include <QLatin1StringView>

// The column names of the stock table `data` and the sale table `data1`, said
// once. Everything that names a column (the schema, statements, operations,
// grid columns, panels, tests) uses these.

// Table `data`: one row per batch of an article taken into stock. The row
// identity is the engine's rowid; `ID` is its name as an autoincrement key, so
// an identity is never given to a second row, not even after the last row was
// deleted (files of schema version 3 on). Nobody sees or types `ID`.
namespace stockcol {
inline constexpr QLatin1StringView id{"ID"};            // the rowid, never reused
inline constexpr QLatin1StringView name{"a"};           // 商品名称, trimmed
inline constexpr QLatin1StringView model{"b"};          // 规格型号, trimmed
inline constexpr QLatin1StringView code{"c"};           // 商品编码 (may be a barcode)
inline constexpr QLatin1StringView category{"d"};       // 类别
inline constexpr QLatin1StringView nameInitials{"e"};   // pinyin initials of name
inline constexpr QLatin1StringView modelInitials{"f"};  // pinyin initials of model
inline constexpr QLatin1StringView supplier{"g"};       // 供货商
inline constexpr QLatin1StringView remark{"z"};         // 备注
inline constexpr QLatin1StringView purchasePrice{"1"};  // 进货单价
inline constexpr QLatin1StringView quantityIn{"2"};     // 进货数量
inline constexpr QLatin1StringView purchaseAmount{"3"}; // 进货金额
inline constexpr QLatin1StringView salePrice{"4"};      // 销售单价 (list price, suggested when selling)
inline constexpr QLatin1StringView soldQuantity{"5"};   // 销售数量, running total
inline constexpr QLatin1StringView salesAmount{"6"};    // 销售金额, running total
inline constexpr QLatin1StringView stockQuantity{"7"};  // 存货数量
inline constexpr QLatin1StringView stockAmount{"8"};    // 存货金额 at purchase price
inline constexpr QLatin1StringView stockInDate{"day1"}; // 入库日期, "yyyy-mm-dd"
} // namespace stockcol

// Table `data1`: one row per article sold or returned. Columns `k` to `y`,
// `7`, `8`, `9` and `day3` to `day6` exist but stay empty.
namespace salecol {
inline constexpr QLatin1StringView id{"ID"};            // autonumber
inline constexpr QLatin1StringView name{"a"};           // copied from the stock row
inline constexpr QLatin1StringView model{"b"};          // copied from the stock row
inline constexpr QLatin1StringView code{"c"};           // copied from the stock row
inline constexpr QLatin1StringView category{"d"};       // copied from the stock row
inline constexpr QLatin1StringView nameInitials{"e"};   // pinyin initials of name
inline constexpr QLatin1StringView modelInitials{"f"};  // pinyin initials of model
inline constexpr QLatin1StringView customer{"g"};       // 客户名称
inline constexpr QLatin1StringView address{"h"};        // 地址
inline constexpr QLatin1StringView contact{"i"};        // 联系方式
inline constexpr QLatin1StringView customerRemark{"j"}; // 备注
inline constexpr QLatin1StringView saleNumber{"z"};     // 销售单号, shared by the rows of one sale
inline constexpr QLatin1StringView purchasePrice{"1"};  // the stock row's purchase price at the sale
inline constexpr QLatin1StringView price{"2"};          // actual unit sale price
inline constexpr QLatin1StringView quantity{"3"};       // negative for a return
inline constexpr QLatin1StringView amount{"4"};         // price × quantity
inline constexpr QLatin1StringView profit{"a5"};        // 净利润, rounded to two decimals
inline constexpr QLatin1StringView owed{"6"};           // 欠款额
inline constexpr QLatin1StringView saleDate{"day1"};    // 销售日期
inline constexpr QLatin1StringView stockInDate{"day2"}; // the stock row's stock-in date
// The identity of the stock row the sale was taken from (schema version 3 on;
// NULL on older rows). Kept for giving the sale back, never shown.
inline constexpr QLatin1StringView stockRowId{"stockrow"};
} // namespace salecol

// The sale numbers' day counters: the highest sequence handed out for each day.
namespace daySequence {
inline constexpr QLatin1StringView table{"daysequence"};
inline constexpr QLatin1StringView day{"day"};           // "yyyymmdd"
inline constexpr QLatin1StringView sequence{"sequence"}; // the last sequence taken that day
} // namespace daySequence

// Failed logins: the name tried and when, kept for the super administrator.
namespace failedLogin {
inline constexpr QLatin1StringView table{"loginfail"};
inline constexpr QLatin1StringView id{"id"};
inline constexpr QLatin1StringView name{"username"};
inline constexpr QLatin1StringView at{"ftime"}; // "yyyy-mm-dd hh:mm:ss"
} // namespace failedLogin
