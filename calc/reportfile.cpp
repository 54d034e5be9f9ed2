// SPDX-License-Identifier: MIT
#include "calc/reportfile.h"

#include <QDir>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>
#include <QStringConverter>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace trend {

namespace {

QString openFailure(const QString &path, const QSaveFile &file)
{
    return whyNotCreated(path, file.error() == QFileDevice::PermissionsError, file.errorString());
}

} // namespace

QString whyNotCreated(const QString &path, bool permissionDenied, const QString &systemReason)
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
    if (!folder.isWritable() || permissionDenied)
        return QObject::tr("нет права записи в папку «%1»")
            .arg(QDir::toNativeSeparators(folder.filePath()));
    return QObject::tr("файл не удалось создать (%1)").arg(systemReason);
}

QByteArray fileBytes(const QString &text)
{
    // The locale's encoding, without a byte-order mark.
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

QString writeFailure(QFileDevice &file, QByteArrayView rest)
{
    if (file.error() == QFileDevice::NoError && file.handle() >= 0 && !rest.isEmpty()) {
        errno = 0;
        if (::write(file.handle(), rest.data(), std::size_t(rest.size())) < 0 && errno != 0)
            return QString::fromLocal8Bit(std::strerror(errno));
    }
    return file.errorString();
}

bool writeTextFile(const QString &path, const QString &text, QString *reason)
{
    QSaveFile file(path);
    return writeTextFile(file, text, reason);
}

QString writeError(const QString &systemReason)
{
    return QObject::tr("ошибка записи; возможно, диск заполнен (%1)").arg(systemReason);
}

bool writeTextFile(QSaveFile &file, const QString &text, QString *reason)
{
    const QByteArray bytes = fileBytes(text);
    const QString path = file.fileName();
    QString why;
    qint64 written = 0;
    if (QFileInfo(path).isDir() || !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        why = openFailure(path, file);
    } else if ((written = file.write(bytes.data(), bytes.size())) != bytes.size()) {
        why = writeError(
            writeFailure(file, QByteArrayView(bytes).sliced(std::max<qint64>(written, 0))));
        file.cancelWriting(); // the temporary file goes with `file`
    } else if (!file.commit()) {
        why = QObject::tr("запись не удалось завершить (%1)").arg(file.errorString());
    }
    if (reason)
        *reason = why;
    return why.isEmpty();
}

} // namespace trend
