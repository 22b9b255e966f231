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

    const QString dbPath = QStringLiteral("data.mdb");
    // What a killed backup, restore or init left of its temporary copy beside the database.
    backup::removeLeftovers(dbPath);

    // Nothing works without the database: it opens before any window shows.
    Tdmfm dm;
    QString error;
    if (!dm.open(dbPath, &error)) {
        QMessageBox box(QMessageBox::Critical, startup::applicationTitle(), MessagePort::userErrorText(error),
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
