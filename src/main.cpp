#include "app/shopdatabase.h"
#include "app/shopfolder.h"
#include "app/startup.h"
#include "app/tmainform.h"
#include "core/messageport.h"
#include "store/db/backup.h"
#include "store/ops/tdmfm.h"
#include "ui/qtmessageport.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    startup::configureApplication(app);
    QtMessagePort port(startup::applicationTitle());
    setMessagePort(&port);

    const shopdatabase::Arguments arguments = shopdatabase::parse(app.arguments().mid(1));
    if (!arguments.error.isEmpty()) {
        messagePort().error(arguments.error);
        return 1;
    }
    // The shop folder: named after the program's name, the current folder when
    // it holds the database, else the one chosen at the first start. A shop
    // on a server named on the command line works in the current folder.
    QString error;
    if (!arguments.database || !arguments.rest.isEmpty()) {
        switch (shopfolder::enter(arguments.rest, &error)) {
        case shopfolder::Outcome::Ready:
            break;
        case shopfolder::Outcome::Cancelled:
            return 0;
        case shopfolder::Outcome::Failed:
            messagePort().error(error);
            return 1;
        }
    }

    const std::optional<ShopLocation> location = shopdatabase::choose(arguments.database, &error);
    if (!location) {
        messagePort().error(error);
        return 1;
    }
    startup::logDatabase(*location);
    if (!location->isServer()) {
        // What a killed backup, restore or init left of its temporary copy beside the database.
        backup::removeLeftovers(location->target());
    }

    // Nothing works without the database: it opens before any window shows.
    Tdmfm dm;
    if (!shopdatabase::open(dm, *location))
        return 1;

    TMainForm main(dm);
    main.show();
    const int code = app.exec();
    setMessagePort(nullptr);
    return code;
}
