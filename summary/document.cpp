// SPDX-License-Identifier: MIT
#include "summary/document.h"

#include "calc/reportfile.h"
#include "summary/chart.h"
#include "summary/documentpages.h"
#include "summary/reporttext.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QImage>
#include <QObject>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace summary {

namespace {

// The chart's picture in an ODT: about 220 dots an inch as it is printed.
constexpr int ChartPixels = 1200;

constexpr QChar Nbsp(0x00A0);

QString orEmpty(const std::optional<double> &x, QString (*spell)(double))
{
    return x ? spell(*x) : QString();
}

// A chart drawn by `draw` as the PNG the ODT holds.
template<typename Draw> QByteArray chartPng(Draw draw)
{
    QImage image(ChartPixels, int(ChartPixels * Height / Width), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(ChartPixels / Width, ChartPixels / Width);
    draw(painter);
    painter.end();
    return encodePng(image);
}

// The reporting year's cases, where the series has counts for it.
QString yearCases(const table::Series &s, std::int32_t year)
{
    const std::int64_t at = std::int64_t(year) - s.years.front();
    if (s.cases.empty() || at < 0 || at >= std::int64_t(s.cases.size()))
        return {};
    const double c = s.cases[std::size_t(at)];
    return std::isfinite(c) ? QString::number(std::llround(c)) : QString();
}

} // namespace

std::optional<DocumentFormat> documentFormat(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("odt"))
        return DocumentFormat::Odt;
    if (suffix == QLatin1String("pdf"))
        return DocumentFormat::Pdf;
    return std::nullopt;
}

QString defaultDocumentTitle()
{
    return QObject::tr("Многолетняя динамика заболеваемости");
}

Document::Section Document::section(
    const RowInput &row, const QString &valueName, DocumentFormat format)
{
    const stats::ReportYear &y = row.result.report;
    const table::Series &s = row.result.series;
    Section out;
    out.heading = s.labels.join(QStringLiteral(" / "));
    out.paragraph = reportParagraph(row);
    if (format == DocumentFormat::Odt)
        out.chart = chartPng([&](QPainter &p) { drawChart(p, row, valueName); });
    else
        out.drawing = std::make_shared<const analysis::SeriesResult>(row.result);
    out.valueName = valueName;
    out.unit = s.unit;
    out.counts = !s.cases.empty();
    out.firstYear = s.years.front();
    out.lastYear = s.years[std::size_t(row.result.practice.count) - 1];
    out.reportYear = y.year;
    const auto &fit = row.result.joinpoints;
    const stats::JoinpointFit *jp = fit && fit->reason == stats::Reason::None ? &*fit : nullptr;
    out.cells = s.labels;
    out.cells << QString::number(y.year);
    if (out.counts)
        out.cells << yearCases(s, y.year);
    out.cells << orEmpty(y.value, spelling::rate) << orEmpty(y.changePercent, spelling::percent)
              << (y.meanRatio ? spelling::rate(*y.meanRatio) : QString()) << verdictText(y.verdict)
              << QObject::tr("%1, %2%3%")
                     .arg(classWord(row.result.practice.trendClass),
                         spelling::percent(row.result.practice.averageAnnualChangeRate), Nbsp)
              << (jp ? spelling::percent(jp->aapc) : QString())
              << (jp ? QObject::tr("%1 с %2%3г.")
                             .arg(spelling::percent(jp->segments.back().apc))
                             .arg(jp->segments.back().start)
                             .arg(Nbsp)
                     : QString());
    return out;
}

FunnelInput funnelOf(const QString &title,
    const std::vector<analysis::TerritoryCensus::Territory> &all, const QString &unit, double per)
{
    FunnelInput f;
    f.title = title;
    f.unit = unit;
    f.per = per;
    for (const auto &t : all) {
        const analysis::TerritoryComparison &c = *t.comparison;
        if (!c.funnel || !(c.population > 0))
            continue;
        f.year = c.year;
        f.regionRate = c.regionRate;
        f.dispersion = std::isnan(c.dispersion) ? 0 : c.dispersion;
        f.points.push_back({t.name, c.population, c.rate, *c.funnel, c.risk && *c.risk});
    }
    return f;
}

Document::Territories Document::territories(const QString &territoryName,
    const std::vector<analysis::TerritoryCensus::Territory> &all, const FunnelInput &funnel,
    bool counts, DocumentFormat format)
{
    Territories out;
    const QString &unit = funnel.unit;
    if (counts && !funnel.points.empty()) {
        if (format == DocumentFormat::Odt) {
            out.chart = chartPng([&](QPainter &p) { drawFunnel(p, funnel); });
        } else {
            out.drawing = std::make_shared<const FunnelInput>(funnel);
        }
    }
    out.heading = QObject::tr("Территории");
    Table &t = out.table;
    t.header << QObject::tr("Место") << territoryName
             << (unit.isEmpty() ? QObject::tr("Показатель")
                                : QObject::tr("Показатель %1").arg(unit));
    if (counts)
        t.header << QObject::tr("Случаев");
    t.header << QObject::tr("Отношение к показателю по территориям");
    if (counts)
        t.header << QObject::tr("SIR (95%1% ДИ)").arg(Nbsp) << QObject::tr("Положение на воронке")
                 << QObject::tr("Территория риска");
    t.numeric = {true, false, true};
    if (counts)
        t.numeric.push_back(true);
    t.numeric.push_back(true);
    if (counts)
        t.numeric.insert(t.numeric.end(), {false, false, false});
    const auto number = [](double x, auto spell) { return std::isnan(x) ? QString() : spell(x); };
    for (const auto &territory : all) {
        const analysis::TerritoryComparison &c = *territory.comparison;
        QStringList row;
        row << (c.rank > 0 ? QString::number(c.rank) : QString()) << territory.name
            << number(c.rate, spelling::rate);
        if (counts)
            row << number(c.observed, [](double x) { return spelling::whole(qint64(x)); });
        row << number(c.ratio, [](double x) { return spelling::fixed(x, 2); });
        if (counts)
            row << (c.sir ? QObject::tr("%1 (%2–%3)")
                                .arg(spelling::fixed(c.sir->ratio, 2),
                                    spelling::fixed(c.sir->low, 2), spelling::fixed(c.sir->high, 2))
                          : QString())
                << (c.funnel ? funnelText(*c.funnel) : QString())
                << (c.risk && *c.risk ? QObject::tr("да") : QString());
        t.rows.push_back(row);
    }
    out.paragraph = territoryParagraph(territoryName, all);
    return out;
}

Document::Document(Info info)
    : about(std::move(info))
{ }

void Document::reorder(const std::vector<std::size_t> &order)
{
    std::vector<Section> ordered;
    ordered.reserve(order.size());
    for (const std::size_t at : order)
        ordered.push_back(std::move(sections[at]));
    sections = std::move(ordered);
}

QString Document::title() const
{
    return about.title.isEmpty() ? defaultDocumentTitle() : about.title;
}

// The years covered and the reporting years.
QString Document::coverage() const
{
    if (sections.empty())
        return QObject::tr("Ни один ряд таблицы не рассчитан.");
    std::int32_t first = 0, last = 0;
    QList<std::int32_t> reported;
    for (const Section &s : sections) {
        first = first == 0 ? s.firstYear : std::min(first, s.firstYear);
        last = std::max(last, s.lastYear);
        if (!reported.contains(s.reportYear))
            reported << s.reportYear;
    }
    std::sort(reported.begin(), reported.end());
    QStringList years;
    for (const std::int32_t y : reported)
        years << QString::number(y);
    return QObject::tr("Годы наблюдения: %1–%2. Отчётный год: %3.")
        .arg(first)
        .arg(last)
        .arg(years.join(QStringLiteral(", ")));
}

// A row a series; the columns no series has a value in are left out.
Document::Table Document::table() const
{
    const bool counts
        = std::any_of(sections.begin(), sections.end(), [](const Section &s) { return s.counts; });
    const QString unit = sections.empty() ? QString() : sections.front().unit;
    Table t;
    t.header = about.labelNames;
    t.header << QObject::tr("Год");
    if (counts)
        t.header << QObject::tr("Случаев");
    t.header << (unit.isEmpty() ? QObject::tr("Показатель")
                                : QObject::tr("Показатель %1").arg(unitWords(unit)))
             << QObject::tr("К прошлому году, %") << QObject::tr("К СМУ, раз")
             << QObject::tr("Оценка") << QObject::tr("Тенденция, среднегодовой темп")
             << QObject::tr("AAPC, %") << QObject::tr("APC последнего отрезка, %");
    const qsizetype labels = about.labelNames.size();
    std::vector<bool> used(std::size_t(t.header.size()), false);
    for (const Section &s : sections) {
        for (qsizetype c = 0; c < t.header.size(); ++c)
            used[std::size_t(c)]
                = used[std::size_t(c)] || c < labels || !s.cells.value(c).isEmpty();
    }
    const auto keep = [&](const QStringList &all) {
        QStringList kept;
        for (qsizetype c = 0; c < all.size(); ++c) {
            if (used[std::size_t(c)])
                kept << all[c];
        }
        return kept;
    };
    for (const Section &s : sections)
        t.rows.push_back(keep(s.cells));
    // Words are the labels, the verdict and the trend; the rest is numbers.
    const qsizetype verdict = labels + (counts ? 5 : 4), trend = verdict + 1;
    for (qsizetype c = 0; c < t.header.size(); ++c) {
        if (used[std::size_t(c)])
            t.numeric.push_back(c >= labels && c != verdict && c != trend);
    }
    t.header = keep(t.header);
    return t;
}

bool Document::write(QIODevice *device, DocumentFormat format, QString *why) const
{
    // Made in memory, then written at once: the file is staged and takes
    // its name only whole.
    QByteArray bytes;
    if (!(format == DocumentFormat::Odt ? pages::writeOdt(*this, &bytes, why)
                                        : pages::writePdf(*this, &bytes, why)))
        return false;
    const qint64 written = device->write(bytes);
    if (written == bytes.size())
        return true;
    // After a short write the toolkit gives no reason; the system does.
    auto *file = qobject_cast<QFileDevice *>(device);
    *why = file
        ? trend::writeFailure(*file, QByteArrayView(bytes).sliced(std::max<qint64>(written, 0)))
        : device->errorString();
    return false;
}

QString methodsNote(const analysis::AnalysisOptions &o, bool counts)
{
    QStringList note;
    note << QObject::tr("Тенденция — прямая, проведённая методом наименьших квадратов по годам, "
                        "закодированным симметрично относительно середины ряда; среднегодовой "
                        "темп прироста — прирост прямой за год в процентах от среднего уровня. "
                        "Тенденция выраженная при темпе более 5\u00A0% в год, умеренная — от 1 до "
                        "5\u00A0%, стабильная — не более 1\u00A0%.");
    const bool countModel = o.model == analysis::TrendModel::QuasiPoisson
        || (o.model == analysis::TrendModel::Auto && counts);
    const QString model = countModel
        ? QObject::tr("квазипуассоновской модели числа случаев (логарифм ожидаемого числа случаев "
                      "линеен по годам при населении как экспозиции, избыточная дисперсия оценена "
                      "по статистике χ² Пирсона)")
        : QObject::tr("логлинейной модели (прямая наименьших квадратов по логарифму показателя)");
    note << QObject::tr("Среднегодовое изменение (APC) с 95\u00A0% доверительным интервалом "
                        "вычислено по %1.")
                .arg(model);
    if (o.joinpoints) {
        QString criterion;
        switch (o.joinpoints->method) {
        case stats::JoinpointMethod::Wbic:
            criterion = QObject::tr("взвешенному байесовскому информационному критерию (WBIC)");
            break;
        case stats::JoinpointMethod::Bic:
            criterion = QObject::tr("байесовскому информационному критерию (BIC)");
            break;
        case stats::JoinpointMethod::Bic3:
            criterion = QObject::tr("байесовскому информационному критерию со штрафом 3 (BIC3)");
            break;
        case stats::JoinpointMethod::Permutation:
            criterion = QObject::tr("перестановочному тесту");
            break;
        }
        note << QObject::tr("Точки перелома найдены перебором всех допустимых положений по той "
                            "же модели, их число выбрано по %1; AAPC — среднее изменение за "
                            "весь период.")
                    .arg(criterion);
    }
    // The trend's continuation, then the bounds it is judged by.
    const QString trendLevel
        = QObject::tr("Ожидаемый уровень отчётного года — продолжение тенденции базовых лет; %1");
    switch (o.report.expectedBy) {
    case stats::ExpectedBy::Normative:
        note << trendLevel.arg(QObject::tr(
            "его границы — ожидаемый уровень плюс среднее положительных и минус среднее "
            "отрицательных отклонений фактических показателей базы от её теоретических уровней."));
        break;
    case stats::ExpectedBy::Prediction:
        note << trendLevel.arg(QObject::tr("его границы — 95\u00A0% интервал предсказания прямой "
                                           "наименьших квадратов по базовым годам."));
        break;
    case stats::ExpectedBy::Poisson:
        note << trendLevel.arg(QObject::tr(
            "показатель выше или ниже ожидаемого, когда ожидаемый уровень лежит вне точного "
            "95\u00A0% доверительного интервала показателя по числу случаев (распределение "
            "Пуассона)."));
        break;
    case stats::ExpectedBy::QuasiPoisson:
        note << QObject::tr("Ожидаемое число случаев отчётного года — продолжение "
                            "квазипуассоновской прямой базовых лет; показатель выше или ниже "
                            "ожидаемого, когда число случаев выходит за её 95\u00A0% границы "
                            "(с учётом избыточной дисперсии и неопределённости прямой).");
        break;
    }
    note << QObject::tr("«Достоверно» означает p\u00A0<\u00A00,05: 95\u00A0% доверительный "
                        "интервал не включает нуля.");
    return QObject::tr("Методы. ") + note.join(u' ');
}

} // namespace summary
