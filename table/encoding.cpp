// SPDX-License-Identifier: MIT
#include "table/encoding.h"

#include <QObject>

#include <algorithm>
#include <cerrno>

#include <iconv.h>

namespace table {

namespace {

class Cp1251Device : public QIODevice
{
public:
    explicit Cp1251Device(std::unique_ptr<QIODevice> source)
        : source(std::move(source))
        , converter(iconv_open("UTF-8", "CP1251"))
    {
        open(QIODevice::ReadOnly);
    }
    ~Cp1251Device() override
    {
        if (converter != iconv_t(-1))
            iconv_close(converter);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (converter == iconv_t(-1)) {
            setErrorString(QObject::tr("нет преобразования из CP1251"));
            return -1;
        }
        if (!failure.isEmpty()) {
            setErrorString(failure);
            return -1;
        }
        // A CP1251 byte is at most three bytes of UTF-8.
        QByteArray raw(qsizetype(std::max<qint64>(1, maxSize / 3)), Qt::Uninitialized);
        const qint64 got = source->read(raw.data(), raw.size());
        if (got <= 0) {
            if (got < 0)
                setErrorString(source->errorString());
            return got < 0 ? -1 : 0;
        }
        char *in = raw.data();
        std::size_t inLeft = std::size_t(got);
        char *out = data;
        std::size_t outLeft = std::size_t(maxSize);
        // What comes before an undefined byte is given first, so that the
        // reader's error names the line the byte is on.
        if (iconv(converter, &in, &inLeft, &out, &outLeft) == std::size_t(-1)) {
            failure = QObject::tr("байт 0x%1 не определён в CP1251")
                          .arg(QString::number(static_cast<unsigned char>(*in), 16).toUpper());
            if (out == data) {
                setErrorString(failure);
                return -1;
            }
        }
        return qint64(out - data);
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    std::unique_ptr<QIODevice> source;
    iconv_t converter;
    QString failure;
};

} // namespace

bool validUtf8(QStringDecoder &decoder, QByteArrayView bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0; }))
        return true;
    const QString decoded = decoder.decode(bytes); // decoded here, not lazily
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

bool looksLikeUtf8(QIODevice &device)
{
    QStringDecoder decoder(QStringConverter::Utf8);
    const auto valid = [&](QByteArrayView bytes) { return validUtf8(decoder, bytes); };
    if (device.isSequential())
        return valid(device.peek(1 << 16));
    bool ok = true;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 got; ok && (got = device.read(chunk.data(), chunk.size())) > 0;)
        ok = valid(QByteArrayView(chunk).first(got));
    device.seek(0);
    return ok;
}

std::unique_ptr<QIODevice> fromCp1251(std::unique_ptr<QIODevice> source)
{
    return std::make_unique<Cp1251Device>(std::move(source));
}

} // namespace table
