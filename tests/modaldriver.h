// Test helpers for the form.
//
// ModalDriver answers modal dialogs from the event loop: each dialog that
// becomes the active modal widget is handed to the next expected handler.
// A modal dialog that no handler expects is recorded and closed, so a test
// that goes wrong fails instead of hanging.
//
// RecordingTranslator records the context of every look-up.
#pragma once

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
class QMessageBox;

class ModalDriver : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(QWidget *)>;

    ModalDriver();
    ~ModalDriver() override;

    void expect(Handler handler);
    // Handlers not yet used.
    int pending() const { return int(handlers.size()); }
    // Descriptions of dialogs that came unexpected.
    QStringList unexpected;

    // Common answers.
    static Handler clickButton(
        const QString &text, QString *title = nullptr, QString *message = nullptr);
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
