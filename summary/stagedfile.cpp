// SPDX-License-Identifier: MIT
#include "summary/stagedfile.h"

#include "calc/reportfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace summary {

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Removes the files a run staged in `folder` (its lock and its .tmp files;
// nothing else), then the folder if that leaves it empty.
void removeStaged(const QByteArray &folder)
{
    if (DIR *d = ::opendir(folder.constData())) {
        while (const dirent *entry = ::readdir(d)) {
            const QByteArray name(entry->d_name);
            if (name == "lock" || (name.endsWith(".tmp") && !name.startsWith('.')))
                ::unlinkat(::dirfd(d), entry->d_name, 0);
        }
        ::closedir(d);
    }
    ::rmdir(folder.constData());
}

// Removes the folders of runs that ended without removing them: those
// whose lock no one holds.
void sweep(const QString &dir)
{
    const QStringList folders = QDir(dir).entryList({QString::fromLatin1(Staging::Prefix) + u'*'},
        QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : folders) {
        const QByteArray folder = QFile::encodeName(QDir(dir).filePath(name));
        const int fd = ::open((folder + "/lock").constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            // Not locked yet, or never: empty, it goes; otherwise it waits.
            if (errno == ENOENT)
                ::rmdir(folder.constData());
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            removeStaged(folder);
        ::close(fd);
    }
}

// Whether `fd` is still the lock file in `folder`: a sweep by another run
// may have taken the folder between its making and its locking.
bool stillThere(int fd, const QByteArray &folder)
{
    struct stat held, there;
    return ::fstat(fd, &held) == 0 && ::stat((folder + "/lock").constData(), &there) == 0
        && held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

} // namespace

std::unique_ptr<Staging> Staging::open(const QString &dir, QString *reason)
{
    sweep(dir);
    int error = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString name = QString::fromLatin1(Prefix)
            + QStringLiteral("%1-%2")
                  .arg(::getpid())
                  .arg(QRandomGenerator::global()->generate64(), 0, 36);
        const QByteArray folder = QFile::encodeName(QDir(dir).filePath(name));
        if (::mkdir(folder.constData(), 0700) != 0) {
            error = errno;
            if (error == EEXIST)
                continue;
            break;
        }
        const int fd
            = ::open((folder + "/lock").constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && stillThere(fd, folder))
            return std::unique_ptr<Staging>(new Staging(QFile::decodeName(folder), fd));
        error = errno;
        if (fd >= 0)
            ::close(fd);
        else
            ::rmdir(folder.constData());
    }
    *reason = systemReason(error);
    return nullptr;
}

Staging::~Staging()
{
    removeStaged(QFile::encodeName(folder));
    ::close(lock);
}

QString Staging::reserve()
{
    return QDir(folder).filePath(QStringLiteral("%1.tmp").arg(counter++));
}

StagedFile Staging::stage(QByteArrayView bytes)
{
    StagedFile staged;
    const QByteArray temp = QFile::encodeName(reserve());
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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

bool Staging::sync(QString *reason) const
{
    if (::syncfs(lock) == 0)
        return true;
    *reason = systemReason(errno);
    return false;
}

bool Staging::commit(const StagedFile &file, const QString &path, QString *reason) const
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
    discard(file);
    *reason = trend::whyNotCreated(path, error == EACCES, systemReason(error));
    return false;
}

void Staging::discard(const StagedFile &file)
{
    if (!file.temp.isEmpty())
        ::unlink(QFile::encodeName(file.temp).constData());
}

StagedTarget::StagedTarget(const QString &target, std::unique_ptr<Staging> staging)
    : target(target)
    , area(std::move(staging))
    , temporary(area->reserve())
{ }

std::unique_ptr<StagedTarget> StagedTarget::open(const QString &target, QString *reason)
{
    if (QFileInfo(target).isDir()) {
        *reason = QObject::tr("под этим именем уже есть папка");
        return nullptr;
    }
    auto area = Staging::open(QFileInfo(target).absolutePath(), reason);
    if (!area)
        return nullptr;
    std::unique_ptr<StagedTarget> staged(new StagedTarget(target, std::move(area)));
    if (!staged->temporary.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *reason = staged->temporary.errorString();
        return nullptr;
    }
    return staged;
}

bool StagedTarget::finish(QString *reason)
{
    if (!temporary.isOpen())
        return true;
    errno = 0;
    if (!temporary.flush() || ::fdatasync(temporary.handle()) != 0) {
        // The system's reason: the toolkit's, after a flush, is "Unknown error".
        *reason = errno != 0 ? systemReason(errno) : temporary.errorString();
        return false;
    }
    temporary.close();
    return true;
}

bool StagedTarget::commit(QString *reason)
{
    if (!finish(reason))
        return false;
    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
            QFile::encodeName(target).constData())
        == 0)
        return true;
    const int error = errno;
    *reason = trend::whyNotCreated(target, error == EACCES, systemReason(error));
    return false;
}

} // namespace summary
