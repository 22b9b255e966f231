#include "print/tpos.h"

#include "core/messageport.h"
#include "settings/settingkeys.h"
#include "settings/settingsstore.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
};

} // namespace

Tpos::Tpos(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Tpos"));
    setWindowTitle(QStringLiteral("销售单小票设置"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(430, 430);
    setModal(false);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(14);
    setFont(font);

    auto* posGroup = new QGroupBox(QStringLiteral("POS小票设置"), this);
    posGroup->setGeometry(10, 8, 410, 150);
    auto* danGroup = new QGroupBox(QStringLiteral("销售单设置"), this);
    danGroup->setGeometry(10, 164, 410, 172);
    for (int f = 0; f < FieldCount; ++f) {
        QWidget* parentWidget = f < Dan1 ? posGroup : f < Company ? static_cast<QWidget*>(danGroup) : this;
        const int y = f < Dan1 ? 24 + f * 30 : f < Company ? 24 + (f - Dan1) * 30 : 344;
        const int x = f < Company ? 8 : 18;
        auto* label = new QLabel(QString::fromUtf8(kFields[f].label), parentWidget);
        label->setGeometry(x, y, 120, 24);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_fields[f] = new QLineEdit(QString::fromUtf8(kFields[f].initial), parentWidget);
        m_fields[f]->setObjectName(QString(kFields[f].key));
        m_fields[f]->setGeometry(x + 124, y, 270, 24);
    }
    auto* note = new QLabel(QStringLiteral("说明：宣传语1不填写，销售单可以不打印此项"), danGroup);
    note->setGeometry(8, 146, 390, 18);
    QFont small = font;
    small.setPixelSize(12);
    note->setFont(small);
    note->setStyleSheet(QStringLiteral("color: blue;"));

    m_save = new QPushButton(QStringLiteral("保存"), this);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_save->setGeometry(165, 380, 100, 36);
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

void Tpos::load()
{
    if (SettingsStore::read(QString(settingkeys::receiptTitle)).isEmpty())
        return;
    for (int f = 0; f < FieldCount; ++f)
        m_fields[f]->setText(SettingsStore::read(QString(kFields[f].key)));
}

bool Tpos::save()
{
    for (int f = 0; f < FieldCount; ++f) {
        QString error;
        if (!SettingsStore::write(QString(kFields[f].key), m_fields[f]->text(), &error)) {
            messagePort().error(error);
            return false;
        }
    }
    messagePort().inform(QStringLiteral("已保存成功！"));
    close();
    return true;
}
