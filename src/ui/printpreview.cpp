#include "ui/printpreview.h"

#include "core/messageport.h"
#include "ui/pdfoutput.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QStringList kZoomChoices{
    QStringLiteral("500%"),   QStringLiteral("200%"),     QStringLiteral("150%"), QStringLiteral("100%"),
    QStringLiteral("75%"),    QStringLiteral("50%"),      QStringLiteral("25%"),  QStringLiteral("10%"),
    QStringLiteral("页宽度"), QStringLiteral("全部页面"),
};

} // namespace

PrintPreview::PrintPreview(QPrinter& printer, Paint paint, QWidget* parent, const QString& note)
    : QDialog(parent)
    , m_printer(printer)
    , m_paint(std::move(paint))
{
    setObjectName(QStringLiteral("printPreview"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new QToolBar(this);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(bar);
    m_note = new QLabel(note, this);
    m_note->setObjectName(QStringLiteral("previewNote"));
    m_note->setContentsMargins(8, 4, 8, 4);
    m_note->setVisible(!note.isEmpty());
    layout->addWidget(m_note);
    m_pages = new QPrintPreviewWidget(&m_printer, this);
    layout->addWidget(m_pages, 1);
    connect(m_pages, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* p) { m_paint(*p, true); });

    const auto add = [this, bar](const QString& text, auto slot) {
        QAction* a = bar->addAction(text);
        connect(a, &QAction::triggered, this, slot);
        m_commands.append(a);
        return a;
    };
    add(QStringLiteral("打印"), &PrintPreview::print);
    add(QStringLiteral(" 打印设置"), &PrintPreview::pageSetup);

    m_zoom = new QToolButton(bar);
    m_zoom->setText(QStringLiteral("缩放"));
    m_zoom->setPopupMode(QToolButton::InstantPopup);
    auto* zoomMenu = new QMenu(m_zoom);
    for (const QString& choice : kZoomChoices)
        connect(zoomMenu->addAction(choice), &QAction::triggered, this, [this, choice] { zoomTo(choice); });
    m_zoom->setMenu(zoomMenu);
    QAction* zoomAction = bar->addWidget(m_zoom);
    zoomAction->setText(m_zoom->text());
    m_commands.append(zoomAction);

    add(QStringLiteral("上一页"), [this] { m_pages->setCurrentPage(m_pages->currentPage() - 1); });
    add(QStringLiteral("下一页"), [this] { m_pages->setCurrentPage(m_pages->currentPage() + 1); });
    // The pages are made before the window opens, so there is never a run to stop.
    add(QStringLiteral("停止"), [] {})->setEnabled(false);
    add(QStringLiteral("关闭"), &QDialog::accept);
    connect(m_pages, &QPrintPreviewWidget::previewChanged, this, &PrintPreview::updatePageCommands);

    m_pages->setZoomMode(QPrintPreviewWidget::FitToWidth);
    if (const QScreen* screen = QApplication::primaryScreen())
        resize(screen->availableGeometry().size() * 0.8);
}

QAction* PrintPreview::command(const QString& text) const
{
    for (QAction* a : m_commands)
        if (a->text() == text)
            return a;
    return nullptr;
}

QString PrintPreview::note() const
{
    return m_note->text();
}

QList<QAction*> PrintPreview::zoomChoices() const
{
    return m_zoom->menu()->actions();
}

void PrintPreview::print()
{
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    PdfOutput pdf(m_printer);
    // Every page, painted anew on the printer; a stopped print writes no PDF file.
    if (m_paint(m_printer, false) && !pdf.finish())
        messagePort().error(pdf.errorText());
}

void PrintPreview::pageSetup()
{
    QPageSetupDialog dialog(&m_printer, this);
    if (dialog.exec() == QDialog::Accepted)
        m_pages->updatePreview();
}

void PrintPreview::zoomTo(const QString& choice)
{
    if (choice == u"页宽度") {
        m_pages->setZoomMode(QPrintPreviewWidget::FitToWidth);
    } else if (choice == u"全部页面") {
        m_pages->setViewMode(QPrintPreviewWidget::AllPagesView);
        m_pages->setZoomMode(QPrintPreviewWidget::FitInView);
    } else {
        QString percent = choice;
        percent.chop(1);
        m_pages->setViewMode(QPrintPreviewWidget::SinglePageView);
        m_pages->setZoomMode(QPrintPreviewWidget::CustomZoom);
        m_pages->setZoomFactor(percent.toDouble() / 100.0);
    }
}

void PrintPreview::updatePageCommands()
{
    command(QStringLiteral("上一页"))->setEnabled(m_pages->currentPage() > 1);
    command(QStringLiteral("下一页"))->setEnabled(m_pages->currentPage() < m_pages->pageCount());
}

void PrintPreview::run(QPrinter& printer, Paint paint, const QString& title, const QString& note)
{
    PrintPreview window(printer, std::move(paint), QApplication::activeWindow(), note);
    window.setWindowTitle(title);
    window.exec();
}
