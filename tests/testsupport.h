// SPDX-License-Identifier: MIT
// Test helpers for the window and its files.
//
// ModalDriver answers modal dialogs from the event loop: each dialog that
// becomes the active modal widget goes to the next expected handler. One
// that no handler expects is recorded ("QMessageBox: caption: text") and
// closed, so a test that goes wrong fails instead of hanging.
//
// RecordingTranslator records the context of every look-up.
//
// goldenDifference compares output with a file kept under tests/golden;
// contents, filesBelow and csvTable read what a program wrote.
#pragma once

#include <QMap>
#include <QMultiHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QTranslator>

#include <deque>
#include <functional>
#include <vector>

class QWidget;

class ModalDriver : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(QWidget *)>;

    ModalDriver();
    void expect(Handler handler) { handlers.push_back(std::move(handler)); }
    int pending() const { return int(handlers.size()); }
    QStringList unexpected;

    // Presses the button with this text in a message box, or Escape when
    // the text is "Escape"; `seen` receives the box's caption, its default
    // button's text and its text, joined by " | ".
    static Handler answer(const QString &button, QString *seen = nullptr);
    static Handler acceptFile(const QString &path);
    static Handler reject();

private:
    void poll();

    QTimer timer;
    std::deque<Handler> handlers;
    std::vector<QPointer<QWidget>> handled;
};

class RecordingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
        int n) const override;
    bool isEmpty() const override { return false; }

    // Source text -> contexts it was looked up in.
    mutable QMultiHash<QString, QString> lookups;
};

// Empty when `actual` equals the golden file at `path` (relative to
// tests/golden); otherwise the first line that differs. With
// VANTOREL_UPDATE_GOLDEN=1 in the environment the file is written instead.
QString goldenDifference(const QByteArray &actual, const QString &path);

// A file's bytes, or "<none>" when it cannot be read.
QByteArray contents(const QString &path);
// Every entry below `root`, hidden ones and folders too, by its path
// relative to `root`: a file's bytes, or "/" for a folder.
QMap<QString, QByteArray> filesBelow(const QString &root);
void writeFile(const QString &path, const QByteArray &bytes);
// A table slow enough to be caught in the middle of a run: `rows` series of
// 100 years, in `dir`.
QString slowTable(const QString &dir, int rows);
// A file's bytes by part: each part of a zip container (a workbook) but
// the one that records when it was made; the whole file, for any other.
QMap<QString, QByteArray> workbookParts(const QString &path);
// The rows of a CSV text, each a list of unquoted cells.
QList<QStringList> csvTable(const QByteArray &csv, QChar separator = u',');
