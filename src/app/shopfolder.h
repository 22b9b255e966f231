#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QLineEdit;
class QPushButton;

// The shop folder is the folder that holds data.mdb; the program works in it
// (relative paths, the desktop shortcut's working folder). Started from a
// terminal in a shop folder, or by the desktop shortcut, the current folder is
// it. Started from the menu there is none: the folder chosen at the first such
// start is used, by default the user's data folder.
namespace shopfolder {

// $XDG_DATA_HOME/tarvik, or ~/.local/share/tarvik.
QString defaultFolder();

enum class Outcome {
    Ready,     // the current folder is the shop folder; the database may still be missing
    Cancelled, // the user closed the first-start question
    Failed,    // the folder could not be entered or the database not created; *error says why
};

// Makes the shop folder the current folder. `arguments` are the program's
// arguments after its name: a folder given there is the shop folder, whatever
// it holds (a missing database is then reported when it is opened). Without
// one, a current folder that holds data.mdb, or a database.conf naming the
// shop's server database, is kept. Otherwise the remembered
// folder is entered, asked for first when none is remembered yet, created when
// missing, and given the delivered database when it holds neither; the user is
// told where that new database is.
Outcome enter(const QStringList& arguments, QString* error);

} // namespace shopfolder

// The first-start question: where the shop's database is to be kept.
class ShopFolderDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit ShopFolderDialog(const QString& proposed, QWidget* parent = nullptr);

    QString folder() const;
    QLineEdit* folderBox() const { return m_folder; }
    QPushButton* browseButton() const { return m_browse; }

private:
    void browse();

    QLineEdit* m_folder;
    QPushButton* m_browse;
};
