// SPDX-License-Identifier: MIT
// vantorel-tables: a whole surveillance table in a window. A table named on
// the command line is opened at once.
#include "app/startup.h"
#include "tables/tableswindow.h"

#include <QApplication>
#include <QHashFunctions>

#include <cstdio>

int main(int argc, char **argv)
{
    // The toolkit's hashes in one order: with one seed, a file it helps to
    // write comes out as vantorel-batch writes it.
    QHashSeed::setDeterministicGlobalSeed();
    if (!startup::displayAvailable(argc, argv)) {
        std::fputs("vantorel-tables: нет дисплея (переменная DISPLAY не задана); запустите "
                   "программу под виртуальным дисплеем: xvfb-run -a vantorel-tables\n",
            stderr);
        return 1;
    }
    startup::keepNoToolkitSettings();
    QApplication app(argc, argv);
    startup::installToolkitTranslation(app);
    TablesWindow window;
    window.show();
    const QStringList args = QApplication::arguments();
    if (args.size() > 1)
        window.openTable(args.at(1));
    return app.exec();
}
