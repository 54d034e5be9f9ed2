// SPDX-License-Identifier: MIT
#include "reportfile.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

namespace trend {

namespace {

QString openFailure(const QString &path, const QSaveFile &file)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QObject::tr("под этим именем уже есть папка");
    const QFileInfo folder(info.absolutePath());
    if (!folder.exists())
        return QObject::tr("папка «%1» не существует")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isDir())
        return QObject::tr("«%1» не является папкой")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    if (!folder.isWritable() || file.error() == QFileDevice::PermissionsError)
        return QObject::tr("нет права записи в папку «%1»")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    return QObject::tr("файл не удалось создать (%1)").arg(file.errorString());
}

} // namespace

bool writeTextFile(const QString &path, const QString &text, QString *reason)
{
    QSaveFile file(path);
    return writeTextFile(file, text, reason);
}

bool writeTextFile(QSaveFile &file, const QString &text, QString *reason)
{
    const QString path = file.fileName();
    QString why;
    if (QFileInfo(path).isDir() || !file.open(QIODevice::WriteOnly)) {
        why = openFailure(path, file);
    } else {
        QTextStream stream(&file);
        // The locale's encoding, without a byte-order mark.
        stream.setEncoding(QStringConverter::System);
        stream << text;
        stream.flush();
        if (stream.status() != QTextStream::Ok || file.error() != QFileDevice::NoError) {
            why = QObject::tr("ошибка записи; возможно, диск заполнен (%1)")
                      .arg(file.errorString());
            file.cancelWriting(); // the temporary file goes with `file`
        } else if (!file.commit()) {
            why = QObject::tr("запись не удалось завершить (%1)").arg(file.errorString());
        }
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

} // namespace trend
