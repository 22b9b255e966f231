#include "print/tpos.h"

#include "core/messageport.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

struct FieldSpec
{
    QLatin1StringView key;
    const char* label;
    const char* initial;
};

// In the order of Tpos::Field.
const FieldSpec kFields[Tpos::FieldCount] = {
    {settingkeys::receiptTitle, "小票标题：", "POS小票销售单"},
    {settingkeys::receiptPromotion1, "宣传语1：", "Tarvik进销存软件提供技术支持"},
    {settingkeys::receiptPromotion2, "宣传语2：", "官网：https://tarvik.example.com"},
    {settingkeys::receiptClosing, "结束语：", "欢迎下次惠顾！"},
    {settingkeys::slipHeader, "销售单表头：", "Tarvik运动用品店销售单"},
    {settingkeys::slipAddress, "联系地址电话：", "地址：体育路88号  电话：0571-88886666"},
    {settingkeys::slipPromotion1, "宣传语1：", "正品保证，七日内凭单据退换"},
    {settingkeys::slipPromotion2, "宣传语2：", "官网：https://tarvik.example.com"},
    {settingkeys::company, "公司(店铺)名称：", "Tarvik运动用品店"},
    {settingkeys::receiptAddress, "店铺地址：", ""},
    {settingkeys::receiptPhone, "店铺电话：", ""},
};

// The texts the window stores its printer choices as, in the order of the boxes' items.
const QLatin1StringView kPortValues[] = {QLatin1StringView("network"), QLatin1StringView("cups"),
                                         QLatin1StringView("device")};
const PrinterPort::Kind kPortKinds[] = {PrinterPort::Kind::Network, PrinterPort::Kind::CupsQueue,
                                        PrinterPort::Kind::DeviceFile};
const QLatin1StringView kModeValues[] = {QLatin1StringView("gb18030"), QLatin1StringView("gbk"),
                                         QLatin1StringView("raster")};
const escpos::Mode kModes[] = {escpos::Mode::Gb18030, escpos::Mode::Gbk, escpos::Mode::Raster};

template <typename T, std::size_t N> int indexOf(const T (&values)[N], const T& value)
{
    for (std::size_t i = 0; i < N; ++i)
        if (values[i] == value)
            return int(i);
    return 0;
}

QLabel* rowLabel(const QString& text, QWidget* parent, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(x, y, 120, 24);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

Tpos::Tpos(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Tpos"));
    setWindowTitle(QStringLiteral("销售单小票设置"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(430, 736);
    setModal(false);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    setFont(font);

    auto* posGroup = new QGroupBox(QStringLiteral("POS小票设置"), this);
    posGroup->setGeometry(10, 8, 410, 210);
    auto* danGroup = new QGroupBox(QStringLiteral("销售单设置"), this);
    danGroup->setGeometry(10, 224, 410, 172);
    const auto place = [&](int f, QWidget* parentWidget, int x, int y) {
        rowLabel(QString::fromUtf8(kFields[f].label), parentWidget, x, y);
        m_fields[f] = new QLineEdit(QString::fromUtf8(kFields[f].initial), parentWidget);
        m_fields[f]->setObjectName(QString(kFields[f].key));
        m_fields[f]->setGeometry(x + 124, y, 270, 24);
    };
    for (int f = Pos1; f <= Pos4; ++f)
        place(f, posGroup, 8, 24 + (f - Pos1) * 30);
    place(Address, posGroup, 8, 144);
    place(Phone, posGroup, 8, 174);
    for (int f = Dan1; f <= Dan4; ++f)
        place(f, danGroup, 8, 24 + (f - Dan1) * 30);
    place(Company, this, 18, 404);
    auto* note = new QLabel(QStringLiteral("说明：宣传语1不填写，销售单可以不打印此项"), danGroup);
    note->setGeometry(8, 146, 390, 18);
    QFont small = font;
    small.setPixelSize(12);
    note->setFont(small);
    note->setStyleSheet(QStringLiteral("color: blue;"));

    // The receipt's printer.
    auto* printerGroup = new QGroupBox(QStringLiteral("小票打印机"), this);
    printerGroup->setGeometry(10, 436, 410, 246);
    int y = 24;
    rowLabel(QStringLiteral("纸张宽度："), printerGroup, 8, y);
    m_paper = new QComboBox(printerGroup);
    m_paper->setObjectName(QStringLiteral("paperWidth"));
    m_paper->addItems({QStringLiteral("58毫米"), QStringLiteral("80毫米"), QStringLiteral("其他宽度")});
    m_paper->setGeometry(132, y, 130, 24);
    m_paperMm = new QSpinBox(printerGroup);
    m_paperMm->setObjectName(QStringLiteral("paperMm"));
    m_paperMm->setRange(posreceipt::Paper::kMinMm, posreceipt::Paper::kMaxMm);
    m_paperMm->setSuffix(QStringLiteral(" 毫米"));
    m_paperMm->setValue(76);
    m_paperMm->setGeometry(272, y, 130, 24);
    y += 30;
    rowLabel(QStringLiteral("打印方式："), printerGroup, 8, y);
    m_output = new QComboBox(printerGroup);
    m_output->setObjectName(QStringLiteral("output"));
    m_output->addItems({QStringLiteral("系统默认打印机"), QStringLiteral("ESC/POS 直接打印")});
    m_output->setGeometry(132, y, 270, 24);
    y += 30;
    rowLabel(QStringLiteral("连接方式："), printerGroup, 8, y);
    m_port = new QComboBox(printerGroup);
    m_port->setObjectName(QStringLiteral("port"));
    m_port->addItems(
        {QStringLiteral("网络打印机（9100端口）"), QStringLiteral("CUPS 原始队列"), QStringLiteral("设备文件")});
    m_port->setGeometry(132, y, 270, 24);
    y += 30;
    rowLabel(QStringLiteral("地址/队列/设备："), printerGroup, 8, y);
    m_target = new QLineEdit(printerGroup);
    m_target->setObjectName(QStringLiteral("target"));
    m_target->setPlaceholderText(QStringLiteral("192.168.1.100 或 /dev/usb/lp0"));
    m_target->setGeometry(132, y, 270, 24);
    y += 30;
    rowLabel(QStringLiteral("文字方式："), printerGroup, 8, y);
    m_textMode = new QComboBox(printerGroup);
    m_textMode->setObjectName(QStringLiteral("textMode"));
    m_textMode->addItems({QStringLiteral("GB18030 中文文字"), QStringLiteral("GBK 中文文字"),
                          QStringLiteral("图像（打印机无中文字库）")});
    m_textMode->setGeometry(132, y, 270, 24);
    y += 30;
    m_chinese = new QCheckBox(QStringLiteral("打印前开启打印机汉字模式"), printerGroup);
    m_chinese->setObjectName(QStringLiteral("chineseMode"));
    m_chinese->setChecked(true);
    m_chinese->setGeometry(132, y, 270, 24);
    y += 30;
    m_drawer = new QCheckBox(QStringLiteral("现金销售后打开钱箱"), printerGroup);
    m_drawer->setObjectName(QStringLiteral("drawer"));
    m_drawer->setGeometry(132, y, 270, 24);
    m_paper->setCurrentIndex(1);
    for (QComboBox* box : {m_paper, m_output, m_textMode})
        connect(box, &QComboBox::currentIndexChanged, this, &Tpos::enableChoices);
    enableChoices();

    m_save = new QPushButton(QStringLiteral("保存"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_save->setGeometry(165, 690, 100, 36);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(18);
    m_save->setFont(bold);
    connect(m_save, &QPushButton::clicked, this, &Tpos::save);
    load();
}

QString Tpos::text(Field f) const
{
    return m_fields[f]->text();
}

void Tpos::enableChoices()
{
    m_paperMm->setEnabled(m_paper->currentIndex() == 2);
    const bool escPos = m_output->currentIndex() == 1;
    for (QWidget* w : {static_cast<QWidget*>(m_port), static_cast<QWidget*>(m_target),
                       static_cast<QWidget*>(m_textMode), static_cast<QWidget*>(m_drawer)})
        w->setEnabled(escPos);
    m_chinese->setEnabled(escPos && m_textMode->currentIndex() != 2);
}

ReceiptSetup Tpos::setup() const
{
    ReceiptSetup s;
    s.paper.widthMm = m_paper->currentIndex() == 0 ? 58 : m_paper->currentIndex() == 1 ? 80 : m_paperMm->value();
    s.escPos = m_output->currentIndex() == 1;
    s.port.kind = kPortKinds[std::clamp(m_port->currentIndex(), 0, 2)];
    s.port.target = m_target->text().trimmed();
    s.options.mode = kModes[std::clamp(m_textMode->currentIndex(), 0, 2)];
    s.options.chineseMode = m_chinese->isChecked();
    s.options.openDrawer = m_drawer->isChecked();
    return s;
}

void Tpos::setSetup(const ReceiptSetup& s)
{
    const int mm = std::clamp(s.paper.widthMm, posreceipt::Paper::kMinMm, posreceipt::Paper::kMaxMm);
    m_paper->setCurrentIndex(mm == 58 ? 0 : mm == 80 ? 1 : 2);
    if (mm != 58 && mm != 80)
        m_paperMm->setValue(mm);
    m_output->setCurrentIndex(s.escPos ? 1 : 0);
    m_port->setCurrentIndex(indexOf(kPortKinds, s.port.kind));
    m_target->setText(s.port.target);
    m_textMode->setCurrentIndex(indexOf(kModes, s.options.mode));
    m_chinese->setChecked(s.options.chineseMode);
    m_drawer->setChecked(s.options.openDrawer);
}

QList<QPair<QString, QString>> Tpos::printerValues() const
{
    const ReceiptSetup s = setup();
    const auto yesNo = [](bool on) { return QString(on ? settingkeys::yes : settingkeys::no); };
    return {
        {QString(settingkeys::receiptPaperWidth), QString::number(s.paper.widthMm)},
        {QString(settingkeys::receiptOutput), s.escPos ? QString(settingkeys::receiptOutputEscPos) : QString()},
        {QString(settingkeys::receiptPort), QString(kPortValues[indexOf(kPortKinds, s.port.kind)])},
        {QString(settingkeys::receiptTarget), s.port.target},
        {QString(settingkeys::receiptTextMode), QString(kModeValues[indexOf(kModes, s.options.mode)])},
        {QString(settingkeys::receiptChineseMode), yesNo(s.options.chineseMode)},
        {QString(settingkeys::receiptDrawer), yesNo(s.options.openDrawer)},
    };
}

void Tpos::load()
{
    // The shop's address and telephone are newer than the title test below.
    for (int f : {Address, Phone})
        m_fields[f]->setText(SettingsStore::read(QString(kFields[f].key)));
    ReceiptSetup s;
    bool ok = false;
    const int mm = SettingsStore::read(QString(settingkeys::receiptPaperWidth)).toInt(&ok);
    s.paper.widthMm = ok && mm >= posreceipt::Paper::kMinMm && mm <= posreceipt::Paper::kMaxMm
                          ? mm
                          : QString(settingkeys::receiptPaperWidthDefault).toInt();
    s.escPos = SettingsStore::read(QString(settingkeys::receiptOutput)) == settingkeys::receiptOutputEscPos;
    const QString port = SettingsStore::read(QString(settingkeys::receiptPort));
    for (int i = 0; i < 3; ++i)
        if (port == kPortValues[i])
            s.port.kind = kPortKinds[i];
    s.port.target = SettingsStore::read(QString(settingkeys::receiptTarget));
    const QString mode = SettingsStore::read(QString(settingkeys::receiptTextMode));
    for (int i = 0; i < 3; ++i)
        if (mode == kModeValues[i])
            s.options.mode = kModes[i];
    s.options.chineseMode = SettingsStore::read(QString(settingkeys::receiptChineseMode)) != settingkeys::no;
    s.options.openDrawer = SettingsStore::read(QString(settingkeys::receiptDrawer)) == settingkeys::yes;
    setSetup(s);

    if (SettingsStore::read(QString(settingkeys::receiptTitle)).isEmpty())
        return;
    for (int f = Pos1; f <= Company; ++f)
        m_fields[f]->setText(SettingsStore::read(QString(kFields[f].key)));
}

bool Tpos::save()
{
    QList<QPair<QString, QString>> values;
    for (int f = 0; f < FieldCount; ++f)
        values.append({QString(kFields[f].key), m_fields[f]->text()});
    values += printerValues();
    for (const auto& [key, value] : values) {
        QString error;
        if (!SettingsStore::write(key, value, &error)) {
            messagePort().error(error);
            return false;
        }
    }
    messagePort().inform(QStringLiteral("已保存成功！"));
    close();
    return true;
}
