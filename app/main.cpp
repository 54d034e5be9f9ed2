// SPDX-License-Identifier: MIT
// Start-up: the About box first, then the form, until the form is closed.
#include "startup.h"
#include "trendform.h"
#include "version.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// Without a display the toolkit would print a stack of warnings and abort;
// one line that says what to do serves the user better.
bool displayAvailable()
{
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char **argv)
{
    bool platformArgument = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        platformArgument = platformArgument || arg == "-platform" || arg == "--platform"
            || arg == "-display" || arg == "--display";
    }
    if (!platformArgument && !displayAvailable()) {
        std::fputs("vantorel: нет дисплея (переменная DISPLAY не задана); запустите программу "
                   "под виртуальным дисплеем: xvfb-run -a vantorel\n",
            stderr);
        return 1;
    }

    startup::keepNoToolkitSettings();
    QApplication app(argc, argv);
    startup::installToolkitTranslation(app);
    // The form is deleted before the application object, after the loop.
    const auto form = std::make_unique<TTrendForm>();

    const QString text = QObject::tr(
        "<h2>Vantorel " VANTOREL_VERSION "</h2>"
        "<p>Для эпидемиологов: по ряду ежегодных показателей заболеваемости строит линию "
        "тенденции методом наименьших квадратов, оценивает её и даёт прогноз на следующий год."
        "<p>Программа вычисляет многолетнюю линейную эпидемическую тенденцию.");
    const QString caption = QObject::tr("О программе");
    QMessageBox::about(nullptr, caption, text);

    form->show();
    return app.exec();
}
