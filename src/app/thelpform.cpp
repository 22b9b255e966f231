#include "app/thelpform.h"

#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

THelpForm::THelpForm(QWidget* parent)
    // Only a close box: without the customize hint the desktop adds its own boxes.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("使用帮助"));
    setFixedSize(569, 369);
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(14);
    setFont(f);
    auto* tabs = new QTabWidget(this);
    auto* text = new QPlainTextEdit(tabs);
    text->setReadOnly(true);
    text->setPlainText(lines().join(QLatin1Char('\n')));
    tabs->addTab(text, QStringLiteral("快速使用"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(tabs);
}

QStringList THelpForm::lines()
{
    return {
        QStringLiteral("1、入库："),
        QStringLiteral("选择右下角的新建入库按钮，或在表格上右键新建入库；"),
        QStringLiteral("入库窗口对已经入库的内容有记忆功能，可以下拉选择；"),
        QStringLiteral("直接点击已经输入好的记录，自动填充入库窗口中，稍加修改就可以入库。"),
        QStringLiteral("2、销售："),
        QStringLiteral("双击进货表格中待销售的记录行，直接弹出销售窗口；"),
        QStringLiteral("销售价格可以根据实际情况进行修改；"),
        QStringLiteral("销售单号以当前日期加上序号产生，为了打印销售单使用。"),
        QStringLiteral("比如：一个客户购买几件商品，销售的这几件商品就可以用同一个销售单号。"),
        QStringLiteral("可以在销售明细中查询每一笔销售记录。"),
        QStringLiteral("3、库存："),
        QStringLiteral("软件主窗体为入库明细，也可以查看商品销售和库存，通过汇总统计可以总体查询。"),
        QStringLiteral("小于库存报警数字的记录显示为红色，此数字可以自行设置，点表格后生效。"),
        QString(),
        QStringLiteral("小技巧："),
        QStringLiteral("1、入库窗口可以利用回车键在输入框中切换"),
        QStringLiteral("2、在表格中点每列字段名称可以进行排序"),
        QStringLiteral("3、查询中商品名称和规格型号支持拼音字母查询"),
        QStringLiteral("4、右键点击表格可以对表格进行各种隐藏设置，具有记忆功能"),
        QStringLiteral("5、超级管理员有最高权限，其他新增用户没有入库，查看入库单价和金额功能。"),
        QStringLiteral("6、支持各种查询结果导出Excel和打印功能"),
    };
}
