#include "app/shopfolder.h"
#include "app/startup.h"
#include "app/tmainform.h"
#include "core/messageport.h"
#include "store/db/backup.h"
#include "store/ops/tdmfm.h"
#include "ui/qtmessageport.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    startup::configureApplication(app);
    QtMessagePort port(startup::applicationTitle());
    setMessagePort(&port);

    // The shop folder: named after the program's name, the current folder when
    // it holds the database, else the one chosen at the first start.
    QString error;
    switch (shopfolder::enter(app.arguments().mid(1), &error)) {
    case shopfolder::Outcome::Ready:
        break;
    case shopfolder::Outcome::Cancelled:
        return 0;
    case shopfolder::Outcome::Failed:
        messagePort().error(error);
        return 1;
    }

    const QString dbPath = QStringLiteral("data.mdb");
    startup::logDatabase(dbPath);
    // What a killed backup, restore or init left of its temporary copy beside the database.
    backup::removeLeftovers(dbPath);

    // Nothing works without the database: it opens before any window shows.
    Tdmfm dm;
    if (const Result<void> opened = dm.open(dbPath); !opened) {
        QMessageBox box(QMessageBox::Critical, startup::applicationTitle(),
                        MessagePort::userErrorText(opened.error().text),
                        QMessageBox::Ok);
        box.exec();
        return 1;
    }

    TMainForm main(dm);
    main.show();
    const int code = app.exec();
    setMessagePort(nullptr);
    return code;
}
