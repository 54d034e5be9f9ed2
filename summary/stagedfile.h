// SPDX-License-Identifier: MIT
// The per-series files of a batch run (reports, charts), written without a
// sync for each. A worker writes each file to a hidden temporary file
// beside its target. When a batch of series is done, one sync of the file
// system makes them all durable, and only then are they renamed to their
// names. After a crash a file is either complete or absent, as with one
// sync per file, at a fraction of the cost.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace summary {

struct StagedFile {
    QString temp; // the temporary file; empty when it could not be written
    QString reason; // why not, as the system says
    bool notCreated = false; // the temporary file could not even be created
    bool permissionDenied = false;
};

StagedFile stageFile(const QString &dir, QByteArrayView bytes);
// Makes every file written to the file system of `dir` durable.
bool syncFolder(const QString &dir, QString *reason);
// Renames the staged file to `path`, replacing what is there; on failure
// removes it and says why, as a short Russian phrase.
bool commitStaged(const StagedFile &file, const QString &path, QString *reason);
void discardStaged(const StagedFile &file);

} // namespace summary
