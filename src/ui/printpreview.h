#pragma once

#include <QDialog>

#include <functional>

class QAction;
class QLabel;
class QPrintPreviewWidget;
class QPrinter;
class QToolButton;

// The print preview window of the program's printouts (grids, sales slips):
// the pages as they will print, and a toolbar with "打印", " 打印设置",
// "缩放" (500% … 10%, "页宽度", "全部页面"), "上一页", "下一页", "停止" and
// "关闭". Printing happens from here, on the printer the window was given,
// through the same painting as the preview.
class PrintPreview final : public QDialog
{
    Q_OBJECT
public:
    // Paints the printout on the printer: for the preview (`forPreview`, it
    // may paint only the first pages) and again for the print (every page).
    // False when the printing was stopped before its end.
    using Paint = std::function<bool(QPrinter&, bool forPreview)>;

    // `note` (e.g. that only the first pages are shown) shows above the pages.
    PrintPreview(QPrinter& printer, Paint paint, QWidget* parent = nullptr, const QString& note = {});

    QPrintPreviewWidget* pages() const { return m_pages; }
    QString note() const;
    // The toolbar's command with this text; nullptr when there is none.
    QAction* command(const QString& text) const;
    // The zoom choices of "缩放", in menu order.
    QList<QAction*> zoomChoices() const;

    // Opens the window modally over the active window and returns when it closes.
    static void run(QPrinter& printer, Paint paint, const QString& title, const QString& note = {});

private:
    void print();
    void pageSetup();
    void zoomTo(const QString& choice);
    void updatePageCommands();

    QPrinter& m_printer;
    Paint m_paint;
    QPrintPreviewWidget* m_pages = nullptr;
    QToolButton* m_zoom = nullptr;
    QLabel* m_note = nullptr;
    QList<QAction*> m_commands;
};
