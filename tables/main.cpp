// SPDX-License-Identifier: MIT
// vantorel-tables: a whole surveillance table in a window. A table named on
// the command line is opened at once.
#include "app/startup.h"
#include "tables/tableswindow.h"

#include "version.h"

#include <QApplication>
#include <QHashFunctions>

#include <cstdio>
#include <string_view>

int main(int argc, char **argv)
{
    // Asked what it is, the program answers on the terminal, with or
    // without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("vantorel-tables %s\n", VANTOREL_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::fputs("Использование: vantorel-tables [параметры Qt] [ТАБЛИЦА]\n"
                       "Многолетние тенденции всех рядов таблицы эпиднадзора в окне; ряды "
                       "считаются так же,\nкак их считает vantorel-batch.\n\n"
                       "ТАБЛИЦА — CSV или TSV в UTF-8 или CP1251, или книга Excel (.xlsx); "
                       "названная, она\nоткрывается сразу.\n\n"
                       "  -h, --help     эта справка\n"
                       "      --version  версия программы\n",
                stdout);
            return 0;
        }
    }
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
