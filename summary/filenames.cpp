// SPDX-License-Identifier: MIT
#include "summary/filenames.h"

namespace summary {

namespace {

constexpr qsizetype MaxStemBytes = 120;

bool forbidden(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7f || u == u'/' || u == u'\\' || u == u':' || u == u'*' || u == u'?'
        || u == u'"' || u == u'<' || u == u'>' || u == u'|' || c.category() == QChar::Other_Format
        || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph;
}

} // namespace

QString safeFileStem(const QStringList &labels)
{
    QStringList parts;
    for (const QString &label : labels) {
        if (!label.trimmed().isEmpty())
            parts.append(label.trimmed());
    }
    QString stem = parts.join(QLatin1Char('_'));
    for (QChar &c : stem) {
        if (forbidden(c))
            c = QLatin1Char('_');
    }
    // Lone surrogates cannot be written as UTF-8.
    for (qsizetype i = 0; i < stem.size(); ++i) {
        const bool high = stem[i].isHighSurrogate();
        const bool low = stem[i].isLowSurrogate();
        if (high && i + 1 < stem.size() && stem[i + 1].isLowSurrogate())
            ++i;
        else if (high || low)
            stem[i] = QLatin1Char('_');
    }
    const auto trim = [&] {
        while (!stem.isEmpty() && (stem.front() == QLatin1Char('.') || stem.front().isSpace()))
            stem.remove(0, 1);
        while (!stem.isEmpty() && (stem.back() == QLatin1Char('.') || stem.back().isSpace()))
            stem.chop(1);
    };
    trim();
    while (stem.toUtf8().size() > MaxStemBytes) {
        stem.chop(stem.back().isLowSurrogate() ? 2 : 1);
        trim();
    }
    if (stem.isEmpty())
        stem = QStringLiteral("series");
    return stem;
}

QString FileNamer::next(const QStringList &labels)
{
    const QString stem = safeFileStem(labels);
    QString name = stem;
    for (int k = 2; used.contains(name.toCaseFolded()); ++k)
        name = stem + QLatin1Char('_') + QString::number(k);
    used.insert(name.toCaseFolded());
    return name;
}

} // namespace summary
