// SPDX-License-Identifier: MIT
// Where a run writes its files before they get their names. Each run has a
// hidden folder of its own in every target folder, and holds a lock on a
// file in it (flock) for as long as it runs. A worker writes each file into
// that folder; when a batch of series is done, one sync of the file system
// makes them all durable, and only then are they renamed to their names.
// After a crash a file is either complete or absent, as with one sync per
// file, at a fraction of the cost.
//
// A run that ends removes its folder with whatever is still in it. A run
// that is killed, or a machine that loses power, leaves the folder behind
// with its lock released: the next run into the same folder removes it.
// A folder whose lock is held belongs to a run that is still going and is
// left alone, and nothing else in the target folder is ever touched.
#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <atomic>
#include <memory>

namespace summary {

struct StagedFile {
    QString temp; // the temporary file; empty when it could not be written
    QString reason; // why not, as the system says
    bool notCreated = false; // the temporary file could not even be created
    bool permissionDenied = false;
};

class Staging
{
public:
    // The run's folder in `dir`, made after removing what runs that died
    // left there; null with the system's `reason` when it cannot be made.
    static std::unique_ptr<Staging> open(const QString &dir, QString *reason);
    ~Staging();
    Staging(const Staging &) = delete;
    Staging &operator=(const Staging &) = delete;

    // Writes `bytes` to a new file in the folder. Safe to call from several
    // threads at once.
    StagedFile stage(QByteArrayView bytes);
    // A name for a file that the caller writes itself.
    QString reserve();
    // Makes every file written to the folder's file system durable.
    bool sync(QString *reason) const;
    // Renames the staged file to `path`, replacing what is there; on failure
    // removes it and says why, as a short Russian phrase.
    bool commit(const StagedFile &file, const QString &path, QString *reason) const;
    static void discard(const StagedFile &file);

    // The prefix of every run's folder, for tests that look for leftovers.
    static constexpr char Prefix[] = ".vantorel-run-";

private:
    Staging(const QString &folder, int lock)
        : folder(folder)
        , lock(lock)
    { }

    const QString folder;
    const int lock; // the descriptor that holds the run's lock
    std::atomic<quint64> counter {0};
};

// One file, such as a summary, written in a run's folder beside its target,
// which it replaces only when it is whole and on disk. Given up (destroyed
// without commit()), it leaves the target as it was.
class StagedTarget
{
public:
    // Null with the system's `reason` when the file cannot be begun.
    static std::unique_ptr<StagedTarget> open(const QString &target, QString *reason);
    // The temporary file, opened for writing; or its name, for a writer
    // that makes the file itself.
    QFile &file() { return temporary; }
    QString fileName() const { return temporary.fileName(); }
    // Writes what is buffered and makes the file durable, still under its
    // temporary name; false with the system's `reason` when it cannot.
    bool finish(QString *reason);
    // Finishes the file, if it is not yet, and gives it the target's name;
    // false with a short `reason` when it cannot.
    bool commit(QString *reason);

private:
    StagedTarget(const QString &target, std::unique_ptr<Staging> area);

    const QString target;
    std::unique_ptr<Staging> area;
    QFile temporary;
};

} // namespace summary
