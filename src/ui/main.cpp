// brixtallow: the desktop program.
//
//     brixtallow [DATADIR]
//
// With a data folder, the window scans it as soon as it is shown, as if it
// had been chosen with Open.

#include <QApplication>
#include <QStringList>

#include "ui/brix_tallow_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The single-instance lock is taken here, before any window exists.
    brix::CBrixTallowApp app;
    const QStringList arguments = QCoreApplication::arguments();
    const QString dataFolder = arguments.size() > 1 ? arguments.at(1) : QString();
    return app.Run(application, dataFolder);
}
