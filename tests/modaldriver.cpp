#include "modaldriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

ModalDriver::ModalDriver()
{
    connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer.start(10);
}

ModalDriver::~ModalDriver() = default;

void ModalDriver::expect(Handler handler)
{
    handlers.push_back(std::move(handler));
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
    if (handlers.empty()) {
        QString description
            = modal->metaObject()->className() + QStringLiteral(": ") + modal->windowTitle();
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            description += QStringLiteral(": ") + box->text();
        unexpected.append(description);
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
        return;
    }
    Handler handler = std::move(handlers.front());
    handlers.pop_front();
    handler(modal);
}

ModalDriver::Handler ModalDriver::clickButton(const QString &text, QString *title, QString *message)
{
    return [=](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (title)
            *title = w->windowTitle();
        if (message && box)
            *message = box->text();
        for (QAbstractButton *button : w->findChildren<QAbstractButton *>()) {
            if (button->text() == text) {
                button->click();
                return;
            }
        }
        if (title)
            *title += QStringLiteral(" [no button ") + text + QStringLiteral("]");
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->done(QDialog::Rejected);
    };
}

ModalDriver::Handler ModalDriver::acceptFile(const QString &path)
{
    return [=](QWidget *w) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (!dialog) {
            w->close();
            return;
        }
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

ModalDriver::Handler ModalDriver::reject()
{
    return [](QWidget *w) {
        if (auto *dialog = qobject_cast<QDialog *>(w))
            dialog->reject();
        else
            w->close();
    };
}

QString RecordingTranslator::translate(
    const char *context, const char *sourceText, const char *, int) const
{
    lookups.insert(QString::fromUtf8(sourceText), QString::fromUtf8(context));
    return QString();
}
