// Trepair is the backup window "数据库备份"; the shop's documents fix the name (docs/names.md).
#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class Tdmfm;

// The backup window "数据库备份": copies the open database to a remembered
// backup path, and, for the super administrator only, restores the database
// from a backup file. Not modal; it deletes itself when closed. The main
// window hides itself while this window is open and comes back on closed().
class Trepair final : public QWidget
{
    Q_OBJECT
public:
    // `mayRestore`: the logged-in user is the super administrator. Nobody
    // else sees or reaches the restore panel: a restore would roll the shop
    // back to an older state after money was taken. On a shop on a server
    // nobody else backs up either: the till may connect with a role that
    // cannot read every table.
    Trepair(Tdmfm& dm, bool mayRestore, QWidget* parent = nullptr);

    QLabel* defaultLink() const { return m_default; }
    QLineEdit* backupPathBox() const { return m_backupPath; }
    QPushButton* backupButton() const { return m_backup; }
    QFrame* restorePanel() const { return m_restorePanel; }
    QLineEdit* restoreSourceBox() const { return m_restoreSource; }
    QPushButton* openButton() const { return m_open; }
    QPushButton* restoreButton() const { return m_restore; }

signals:
    // The window is closing: the database may have been replaced.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    // "默认"
    void onDefaultClicked();
    // The backup path field changed: it is remembered at once.
    void onBackupPathEdited(const QString& text);
    // "备份数据库"
    void onBackupClicked();
    // "打开备份文件"
    void onOpenClicked();
    // "恢复数据库"
    void onRestoreClicked();

private:
    // A path as typed: a relative one is taken in the shop folder, where the database is.
    QString resolved(const QString& path) const;
    QString proposed(const QString& path) const;

    Tdmfm& m_dm;
    bool m_mayRestore;
    QLabel* m_default;
    QLineEdit* m_backupPath;
    QPushButton* m_backup;
    QFrame* m_restorePanel;
    QLineEdit* m_restoreSource;
    QPushButton* m_open;
    QPushButton* m_restore;
};
