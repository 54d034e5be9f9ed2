// SPDX-License-Identifier: MIT
// Start-up: the About box first, then the form, until the form is closed.
#include "app/startup.h"
#include "form/trendform.h"
#include "version.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    if (!startup::displayAvailable(argc, argv)) {
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
