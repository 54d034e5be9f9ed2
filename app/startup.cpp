// SPDX-License-Identifier: MIT
#include "app/startup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

namespace startup {

void keepNoToolkitSettings()
{
    // A path below a device file: no folder can be made there.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/vantorel"));
        QSettings::setPath(format, QSettings::SystemScope, QStringLiteral("/dev/null/vantorel"));
    }
}

bool displayAvailable(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-platform" || arg == "--platform" || arg == "-display" || arg == "--display")
            return true;
    }
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
}

bool installToolkitTranslation(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (!translator->load(
            QStringLiteral("qtbase_ru"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace startup
