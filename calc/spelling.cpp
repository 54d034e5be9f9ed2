// SPDX-License-Identifier: MIT
#include "calc/spelling.h"

#include <QLocale>
#include <QObject>

#include <algorithm>
#include <cmath>

namespace spelling {

QString russian(QString number)
{
    return number.replace(u'.', u',').replace(u'-', QChar(0x2212));
}

QString fixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    // "−0,0" and "−0" are 0; "−5" is not.
    if (text.startsWith(u'-') && std::all_of(text.begin() + 1, text.end(), [](QChar c) {
            return c == u'0' || c == u'.';
        }))
        text.remove(0, 1);
    return russian(text);
}

QString rate(double value)
{
    const double size = std::fabs(value);
    if (size >= 10 || size == 0 || !std::isfinite(size))
        return fixed(value, size == 0 ? 0 : 1);
    // Three significant digits: 0,0412; 0,00305. Counted on the value as
    // rounded to them: a float's 0,01 is 0,0099999998, and would be 0,01000.
    const double rounded = QString::number(size, 'g', 3).toDouble();
    if (rounded >= 0.1)
        return fixed(value, 2);
    const int decimals = 2 - int(std::floor(std::log10(rounded)));
    return fixed(value, decimals);
}

QString percent(double value)
{
    return fixed(value, 1);
}

QString times(double times)
{
    QString number = fixed(times, 1);
    if (number.endsWith(QLatin1String(",0")))
        number.chop(2);
    const bool whole = !number.contains(u',');
    const qint64 n = qint64(std::llround(times));
    // «раза» after a fraction and after 2, 3, 4, but not 12 to 14.
    const bool few = !whole || (n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14));
    return few ? QObject::tr("в %1 раза").arg(number) : QObject::tr("в %1 раз").arg(number);
}

QString whole(qint64 n)
{
    QString digits = QString::number(n);
    const qsizetype first = digits.startsWith(u'-') ? 1 : 0;
    if (digits.size() - first > 4)
        for (qsizetype at = digits.size() - 3; at > first; at -= 3)
            digits.insert(at, QChar(0x00A0));
    return russian(digits);
}

Numeral numeral(qint64 n)
{
    const qint64 last = std::abs(n % 10), lastTwo = std::abs(n % 100);
    if (lastTwo >= 11 && lastTwo <= 14)
        return Numeral::Many;
    return last == 1 ? Numeral::One : last >= 2 && last <= 4 ? Numeral::Few : Numeral::Many;
}

QString cases(qint64 n)
{
    switch (numeral(n)) {
    case Numeral::One:
        return QObject::tr("%1\u00A0случай").arg(whole(n));
    case Numeral::Few:
        return QObject::tr("%1\u00A0случая").arg(whole(n));
    case Numeral::Many:
        break;
    }
    return QObject::tr("%1\u00A0случаев").arg(whole(n));
}

QString cases(double value, int decimals)
{
    return QObject::tr("%1\u00A0случая").arg(fixed(value, decimals));
}

QString tick(double value, double step)
{
    const int decimals = step > 0 && step < 1 ? int(std::ceil(-std::log10(step) - 1e-9)) : 0;
    return fixed(value, std::min(decimals, 15));
}

QString scientific(double value, int decimals)
{
    const QString e = QString::number(value, 'e', decimals);
    const qsizetype at = e.indexOf(u'e');
    const int exponent = e.mid(at + 1).toInt();
    static const char16_t superscripts[] = u"⁰¹²³⁴⁵⁶⁷⁸⁹";
    QString power = exponent < 0 ? QStringLiteral("⁻") : QString();
    for (const QChar digit : QString::number(std::abs(exponent)))
        power += QChar(superscripts[digit.digitValue()]);
    return russian(e.left(at)) + QStringLiteral("·10") + power;
}

QString tableNumber(double value)
{
    static const QLocale ru(QLocale::Russian);
    if (std::isnan(value))
        return QStringLiteral("—");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("∞") : QStringLiteral("−∞");
    const double size = std::fabs(value);
    if (size != 0 && size < 1e-3)
        return scientific(value, 2);
    const QString out = size >= 1e5 ? ru.toString(value, 'f', 0) : ru.toString(value, 'g', 4);
    return QString(out).replace(u'-', QChar(0x2212));
}

} // namespace spelling
