// SPDX-License-Identifier: MIT
#include "tests/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <zip.h>

#include <utility>

ModalDriver::ModalDriver()
{
    connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer.start(10);
}

void ModalDriver::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    for (const auto &done : handled) {
        if (done == modal)
            return;
    }
    handled.emplace_back(modal);
    if (!handlers.empty()) {
        Handler handler = std::move(handlers.front());
        handlers.pop_front();
        return handler(modal);
    }
    QString description
        = modal->metaObject()->className() + QStringLiteral(": ") + modal->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        description += QStringLiteral(": ") + box->text();
    unexpected.append(description);
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->done(QDialog::Rejected);
}

ModalDriver::Handler ModalDriver::answer(const QString &button, QString *seen)
{
    return [=](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (seen && box) {
            *seen = box->windowTitle() + QStringLiteral(" | ")
                + (box->defaultButton() ? box->defaultButton()->text() : QString())
                + QStringLiteral(" | ") + box->text();
        }
        if (button == QLatin1String("Escape"))
            return QTest::keyClick(w, Qt::Key_Escape);
        for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
            if (b->text() == button)
                return b->click();
        }
        if (seen)
            *seen += QStringLiteral(" [no button ") + button + QStringLiteral("]");
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->done(QDialog::Rejected);
    };
}

ModalDriver::Handler ModalDriver::acceptFile(const QString &path)
{
    return [=](QWidget *w) {
        if (auto *edit = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        QMetaObject::invokeMethod(w, "accept");
    };
}

ModalDriver::Handler ModalDriver::reject()
{
    return [](QWidget *w) { QMetaObject::invokeMethod(w, "reject"); };
}

QString RecordingTranslator::translate(
    const char *context, const char *sourceText, const char *, int) const
{
    lookups.insert(QString::fromUtf8(sourceText), QString::fromUtf8(context));
    return QString();
}

QString goldenDifference(const QByteArray &actual, const QString &path)
{
    const QString full = QStringLiteral(VANTOREL_GOLDEN_DIR "/") + path;
    QFile file(full);
    if (qEnvironmentVariableIntValue("VANTOREL_UPDATE_GOLDEN")) {
        QDir().mkpath(QFileInfo(full).path());
        return file.open(QIODevice::WriteOnly) && file.write(actual) == actual.size()
            ? QString()
            : QStringLiteral("%1 not written").arg(full);
    }
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 is missing").arg(full);
    const QByteArray expected = file.readAll();
    if (expected == actual)
        return QString();
    const QList<QByteArray> a = actual.split('\n'), e = expected.split('\n');
    qsizetype i = 0;
    while (i < a.size() && i < e.size() && a[i] == e[i])
        ++i;
    return QStringLiteral("%1, line %2:\n  got:      %3\n  expected: %4")
        .arg(path)
        .arg(i + 1)
        .arg(QString::fromUtf8(a.value(i, "<end>")), QString::fromUtf8(e.value(i, "<end>")));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

QMap<QString, QByteArray> filesBelow(const QString &root)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        entries.insert(QDir(root).relativeFilePath(entry.filePath()),
            entry.isDir() ? QByteArray("/") : contents(entry.filePath()));
    }
    return entries;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QString slowTable(const QString &dir, int rows)
{
    const QString path = QDir(dir).filePath(QStringLiteral("slow%1.csv").arg(rows));
    QByteArray table = "район";
    for (int year = 1901; year <= 2000; ++year)
        table += ',' + QByteArray::number(year);
    for (int r = 0; r < rows; ++r) {
        table += "\nрайон " + QByteArray::number(r);
        for (int i = 0; i < 100; ++i)
            table += ',' + QByteArray::number(10 + (r * 7 + i * 13) % 17);
    }
    writeFile(path, table + '\n');
    return path;
}

QMap<QString, QByteArray> workbookParts(const QString &path)
{
    int error = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    if (!zip)
        return {{QString(), contents(path)}};
    QMap<QString, QByteArray> parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(zip, 0); ++i) {
        zip_stat_t st;
        zip_file_t *file = zip_stat_index(zip, zip_uint64_t(i), 0, &st) == 0
            ? zip_fopen_index(zip, zip_uint64_t(i), 0)
            : nullptr;
        QByteArray bytes(qsizetype(st.size), '\0');
        if (file && zip_fread(file, bytes.data(), st.size) == zip_int64_t(st.size)
            && qstrcmp(st.name, "docProps/core.xml") != 0)
            parts.insert(QString::fromUtf8(st.name), bytes);
        if (file)
            zip_fclose(file);
    }
    zip_close(zip);
    return parts;
}

QList<QStringList> csvTable(const QByteArray &csv, QChar separator)
{
    QList<QStringList> rows;
    QStringList row {QString()};
    bool quoted = false;
    const QString text = QString::fromUtf8(csv);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"' && quoted && i + 1 < text.size() && text[i + 1] == u'"')
            row.back() += text[++i];
        else if (c == u'"')
            quoted = !quoted;
        else if (c == separator && !quoted)
            row << QString();
        else if (c == u'\n' && !quoted)
            rows << std::exchange(row, QStringList {QString()});
        else
            row.back() += c;
    }
    return rows;
}
