// SPDX-License-Identifier: MIT
#include "stagedfile.h"

#include "reportfile.h"

#include <QDir>
#include <QFile>
#include <QObject>

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace summary {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

StagedFile stageFile(const QString &dir, QByteArrayView bytes)
{
    static std::atomic<quint64> counter {0};
    StagedFile staged;
    int fd = -1;
    QByteArray temp;
    do {
        temp = QFile::encodeName(
            QDir(dir).filePath(QStringLiteral(".vantorel-%1-%2.tmp").arg(getpid()).arg(counter++)));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EEXIST);
    if (fd < 0) {
        staged.notCreated = true;
        staged.permissionDenied = errno == EACCES || errno == EPERM || errno == EROFS;
        staged.reason = systemReason(errno);
        return staged;
    }
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    int error = 0;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? errno : ENOSPC;
            break;
        }
        data += written;
        left -= written;
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.constData());
        staged.reason = systemReason(error);
        return staged;
    }
    staged.temp = QFile::decodeName(temp);
    return staged;
}

bool syncFolder(const QString &dir, QString *reason)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::syncfs(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        *reason = systemReason(error);
    return synced;
}

bool commitStaged(const StagedFile &file, const QString &path, QString *reason)
{
    if (file.temp.isEmpty()) {
        *reason = file.notCreated ? trend::whyNotCreated(path, file.permissionDenied, file.reason)
                                  : trend::writeError(file.reason);
        return false;
    }
    if (::rename(QFile::encodeName(file.temp).constData(), QFile::encodeName(path).constData())
        == 0)
        return true;
    const int error = errno;
    discardStaged(file);
    *reason = trend::whyNotCreated(path, error == EACCES, systemReason(error));
    return false;
}

void discardStaged(const StagedFile &file)
{
    if (!file.temp.isEmpty())
        ::unlink(QFile::encodeName(file.temp).constData());
}

} // namespace summary
