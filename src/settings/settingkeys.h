#pragma once

#include <QLatin1StringView>
#include <QString>

// Every value the program keeps in the per-user settings store, declared once
// with its meaning and what applies when it is missing (or empty). Windows use
// these names; they never spell a value name themselves. Every value is text.
namespace settingkeys {

// Skin number "0" to "4". Missing, empty or any other text: the built-in default look.
inline constexpr QLatin1StringView skin{"skin"};

// Stock alarm number, 1 to 9 digits. Missing, empty or anything else:
// stockAlarmDefault (SettingsStore::readAlarmNumber).
inline constexpr QLatin1StringView stockAlarm{"number"};
inline constexpr QLatin1StringView stockAlarmDefault{"5"};

// Day sequence of the last confirmed sale, written after every confirmation
// for older programs on this PC. This program takes its sale numbers from the
// shop database, where every till on the file sees them.
inline constexpr QLatin1StringView saleDaySequence{"danhao"};

// Text of the sale date field ("yyyy-mm-dd") when the program last closed.
inline constexpr QLatin1StringView saleDate{"riqi"};

// Receipt texts. Missing or empty: the receipt settings window shows its initial
// texts; its values other than `company` are loaded only when pos1 is not empty.
inline constexpr QLatin1StringView company{"company"};        // shop or company name
inline constexpr QLatin1StringView receiptTitle{"pos1"};      // POS receipt: title line
inline constexpr QLatin1StringView receiptPromotion1{"pos2"}; // POS receipt: first promotional line
inline constexpr QLatin1StringView receiptPromotion2{"pos3"}; // POS receipt: second promotional line
inline constexpr QLatin1StringView receiptClosing{"pos4"};    // POS receipt: closing line
inline constexpr QLatin1StringView slipHeader{"dan1"};        // sales slip: header
inline constexpr QLatin1StringView slipAddress{"dan2"};       // sales slip: address and telephone line
inline constexpr QLatin1StringView slipPromotion1{"dan3"};    // sales slip: first promotional line
inline constexpr QLatin1StringView slipPromotion2{"dan4"};    // sales slip: second promotional line

// The POS receipt's printer, set in the receipt settings window. Each is read
// on its own (not only when pos1 is set); a missing or unknown value takes the
// default named.
inline constexpr QLatin1StringView receiptAddress{"posaddress"}; // shop address printed under its name; none
inline constexpr QLatin1StringView receiptPhone{"posphone"};     // shop telephone; none
// Paper width in millimetres: "58", "80" or any whole number from 40 to 120. Default "80".
inline constexpr QLatin1StringView receiptPaperWidth{"poswidth"};
inline constexpr QLatin1StringView receiptPaperWidthDefault{"80"};
// "escpos": ESC/POS bytes straight to the printer; anything else: a page
// through the default printer (Qt printing).
inline constexpr QLatin1StringView receiptOutput{"posoutput"};
inline constexpr QLatin1StringView receiptOutputEscPos{"escpos"};
// Where ESC/POS bytes go: "cups" (a raw queue), "device" (a device file) or
// "network" (TCP, port 9100 unless given). Default "network".
inline constexpr QLatin1StringView receiptPort{"posport"};
// The queue name, device path or "host[:port]" of receiptPort. Default none.
inline constexpr QLatin1StringView receiptTarget{"postarget"};
// "gb18030", "gbk" or "raster" (a picture, for printers without Chinese fonts). Default "gb18030".
inline constexpr QLatin1StringView receiptTextMode{"postext"};
// "no": do not switch the printer's Chinese mode on (FS &) before text. Default yes.
inline constexpr QLatin1StringView receiptChineseMode{"poschinese"};
// "yes": open the cash drawer after a sale paid in cash. Default no.
inline constexpr QLatin1StringView receiptDrawer{"posdrawer"};

// The shop folder chosen at the first start without one (see app/shopfolder.h):
// where the program finds data.mdb when the folder it starts in holds none.
// Missing or empty: the first-start question is asked.
inline constexpr QLatin1StringView shopFolder{"shopfolder"};

// Path of the backup copy of the database. Missing: defaultBackupPath().
inline constexpr QLatin1StringView backupPath{"save"};
// There is no drive D here: the backup copy goes to beifen.mdb in the user's
// home folder, a place that exists and that the user can write to.
QString defaultBackupPath();

// Support contact number shown after "QQ:" when the stock import fails.
// Missing or empty: supportNumberDefault.
inline constexpr QLatin1StringView supportNumber{"qq"};
inline constexpr QLatin1StringView supportNumberDefault{"800100864"};

// Zero-stock choice: "no" hides Stock rows with zero stock, "yes" shows them.
// Missing: zero stock is shown.
inline constexpr QLatin1StringView zeroStock{"n0"};

// Values the yes/no flags above and below hold.
inline constexpr QLatin1StringView yes{"yes"};
inline constexpr QLatin1StringView no{"no"};

// Column flags of the stock grid: "yes" hides the columns, "no" shows them, any
// other text (or none) leaves the designed visibility.
inline constexpr QLatin1StringView hidePurchasePrice{"rukuyin1"}; // 进货单价
inline constexpr QLatin1StringView hideAmounts{"rukuyin2"};       // 进货金额, 销售金额, 存货金额
inline constexpr QLatin1StringView hideStockInDate{"rukuyin3"};   // 入库日期
inline constexpr QLatin1StringView hideSupplier{"rukuyin4"};      // 供货商
inline constexpr QLatin1StringView hideRemark{"rukuyin5"};        // 备注
inline constexpr QLatin1StringView hideSalePrice{"rukuyin6"};     // 销售单价

// Column flags of the sales detail grid: "yes" hides the columns, "no" shows
// them, except xiaoshouyin6 where "yes" SHOWS the sale number column. Any other
// text (or none) leaves the designed visibility.
inline constexpr QLatin1StringView salesHidePrice{"xiaoshouyin1"};        // 销售单价
inline constexpr QLatin1StringView salesHideDate{"xiaoshouyin2"};         // 销售日期
inline constexpr QLatin1StringView salesHideOwed{"xiaoshouyin3"};         // 欠款
inline constexpr QLatin1StringView salesHideProfit{"xiaoshouyin4"};       // 净利润
inline constexpr QLatin1StringView salesHideCustomer{"xiaoshouyin5"};     // all customer columns
inline constexpr QLatin1StringView salesShowNumber{"xiaoshouyin6"};       // sale number column ("yes" = shown)
inline constexpr QLatin1StringView salesHideCustomerName{"xiaoshouyin7"}; // 客户名称
inline constexpr QLatin1StringView salesHideContact{"xiaoshouyin8"};      // 联系方式
inline constexpr QLatin1StringView salesHideAddress{"xiaoshouyin9"};      // 地址
inline constexpr QLatin1StringView salesHideRemark{"xiaoshouyin10"};      // 备注

// Column-layout file (see layoutfile.h): the section of each grid and the name
// both grids bear, which prefixes every column key ("DBGridEh1.day1").
inline constexpr QLatin1StringView layoutSectionStock{"korvel-net"};
inline constexpr QLatin1StringView layoutSectionSales{"korvel-net2"};
inline constexpr QLatin1StringView layoutGridName{"DBGridEh1"};

} // namespace settingkeys
