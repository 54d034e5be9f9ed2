// SPDX-License-Identifier: MIT
#include "tables/summarymodel.h"

#include "analysis/territory.h"
#include "calc/incidencetext.h"
#include "calc/spelling.h"

#include <QBrush>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using summary::ColumnId;

// The columns a person scans a table by; the rest are in the saved summary.
constexpr ColumnId ShownColumns[] = {ColumnId::FirstYear, ColumnId::LastYear, ColumnId::N,
    ColumnId::TrendClassRu, ColumnId::VerdictRu, ColumnId::AverageAnnualChangeRate,
    ColumnId::ReportYear, ColumnId::ReportValue, ColumnId::ChangePrevPct, ColumnId::SmuRatio,
    ColumnId::Expected, ColumnId::ExpectedLow, ColumnId::ExpectedHigh, ColumnId::PiReportLow,
    ColumnId::PiReportHigh, ColumnId::ReportCi95Low, ColumnId::ReportCi95High, ColumnId::QpExpected,
    ColumnId::QpLow, ColumnId::QpHigh, ColumnId::RatioToRegion, ColumnId::Sir, ColumnId::FunnelRu,
    ColumnId::OlsSlopePerYear, ColumnId::OlsPValue, ColumnId::Apc, ColumnId::ApcCi95Low,
    ColumnId::ApcCi95High, ColumnId::MkPValue, ColumnId::SenSlope, ColumnId::JpCount,
    ColumnId::JpYears, ColumnId::Aapc, ColumnId::LastSegmentStart, ColumnId::LastApc};
constexpr ColumnId IntegerColumns[] = {ColumnId::FirstYear, ColumnId::LastYear, ColumnId::N,
    ColumnId::JpCount, ColumnId::LastSegmentStart, ColumnId::ReportYear};
constexpr ColumnId TextColumns[] = {ColumnId::JpYears, ColumnId::FunnelRu};
// What a row's territory is read from.
constexpr ColumnId TerritoryColumns[]
    = {ColumnId::ReportYear, ColumnId::ReportValue, ColumnId::RegionRate, ColumnId::RatioToRegion,
        ColumnId::Sir, ColumnId::SirCi95Low, ColumnId::SirCi95High, ColumnId::FunnelRu,
        ColumnId::FunnelNote, ColumnId::Risk, ColumnId::TerritoryRank};
// The cells that are empty where the model gives no APC, or no joinpoint
// fit: their note tells why.
constexpr ColumnId ApcColumns[] = {ColumnId::Apc, ColumnId::ApcCi95Low, ColumnId::ApcCi95High};
constexpr ColumnId JoinpointColumns[] = {ColumnId::JpCount, ColumnId::JpYears, ColumnId::Aapc,
    ColumnId::LastSegmentStart, ColumnId::LastApc};

// The bounds of the expected level that the verdict goes by; the others
// are in the saved summary.
bool boundsShown(ColumnId id, stats::ExpectedBy by)
{
    switch (id) {
    case ColumnId::ExpectedLow:
    case ColumnId::ExpectedHigh:
        return by == stats::ExpectedBy::Normative;
    case ColumnId::PiReportLow:
    case ColumnId::PiReportHigh:
        return by == stats::ExpectedBy::Prediction;
    case ColumnId::ReportCi95Low:
    case ColumnId::ReportCi95High:
        return by == stats::ExpectedBy::Poisson;
    // The quasi-Poisson bounds come with their own expected level.
    case ColumnId::Expected:
        return by != stats::ExpectedBy::QuasiPoisson;
    case ColumnId::QpExpected:
    case ColumnId::QpLow:
    case ColumnId::QpHigh:
        return by == stats::ExpectedBy::QuasiPoisson;
    default:
        return true;
    }
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double numberOf(const summary::CellValue &cell)
{
    return std::visit(summary::Overloaded {[](qint64 x) { return double(x); },
                          [](double x) { return x; }, [](const auto &) { return NaN; }},
        cell);
}

QString textOf(const summary::CellValue &cell)
{
    const QString *text = std::get_if<QString>(&cell);
    return text ? *text : QString();
}

// Rising incidence is the alarm, falling the relief; a stable trend has
// no colour.
const QColor Rising(0xf6, 0xd3, 0xcf);
const QColor Falling(0xd4, 0xec, 0xd8);

template<std::size_t N> bool among(const ColumnId (&ids)[N], ColumnId id)
{
    return std::find(std::begin(ids), std::end(ids), id) != std::end(ids);
}

// A title in lines of about `width` characters, broken between words: the
// table's header shows every title whole.
QString wrapped(const QString &title, int width = 14)
{
    QString out, line;
    for (const QString &word : title.split(u' ')) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            out += line + u'\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line;
}

} // namespace

bool SummaryModel::needs(const summary::Column &column)
{
    return among(ShownColumns, column.id) || column.id == ColumnId::TrendClass
        || column.id == ColumnId::AverageAnnualChangeRate || column.id == ColumnId::Verdict
        || column.id == ColumnId::ApcNote || column.id == ColumnId::JpNote
        || among(TerritoryColumns, column.id);
}

SummaryModel::Layout SummaryModel::layoutFor(const QStringList &labelNames,
    const std::vector<summary::Column> &columns, stats::ExpectedBy by)
{
    Layout layout;
    layout.labelNames = labelNames;
    for (const ColumnId id : ShownColumns) {
        for (std::size_t at = 0; at < columns.size(); ++at) {
            if (columns[at].id == id && boundsShown(id, by))
                layout.shown.push_back({id, QString::fromLatin1(columns[at].name),
                    QString::fromUtf8(columns[at].title), at,
                    id == ColumnId::TrendClassRu    ? Shown::Class
                        : id == ColumnId::VerdictRu ? Shown::Verdict
                                                    : Shown::Plain,
                    among(TextColumns, id) ? layout.textColumns++ : -1, among(IntegerColumns, id),
                    among(ApcColumns, id)             ? Shown::ApcNote
                        : among(JoinpointColumns, id) ? Shown::JoinpointNote
                                                      : Shown::NoNote});
        }
    }
    for (std::size_t at = 0; at < columns.size(); ++at) {
        if (columns[at].id == ColumnId::TrendClass)
            layout.classAt = at;
        if (columns[at].id == ColumnId::AverageAnnualChangeRate)
            layout.rateAt = at;
        if (columns[at].id == ColumnId::Verdict)
            layout.verdictAt = at;
        if (columns[at].id == ColumnId::ApcNote)
            layout.apcNoteAt = at;
        if (columns[at].id == ColumnId::JpNote)
            layout.jpNoteAt = at;
        if (among(TerritoryColumns, columns[at].id))
            layout.territoryCells.emplace_back(columns[at].id, at);
    }
    return layout;
}

SummaryModel::Compact SummaryModel::compact(const engine::Row &row, const Layout &layout)
{
    const table::Series &s = row.series;
    Compact c;
    c.labels = s.labels;
    c.funnel = row.funnel;
    c.file = s.file;
    c.line = s.line;
    c.firstYear = s.years.front();
    c.unit = s.unit;
    // Cells as written give both readings again; rates have no cells.
    if (s.unit.isEmpty()) {
        for (std::size_t i = 0; i < s.typed.size(); ++i) {
            if (i)
                c.typed += '\x1f';
            c.typed += s.typed[i].toUtf8();
        }
        c.typed.squeeze();
    } else {
        c.rates = s.exact;
        c.cases = s.cases;
        c.population = s.population;
        c.per = s.per;
    }
    for (const Shown &column : layout.shown) {
        const summary::CellValue &cell = row.cells[column.at];
        c.numbers.push_back(numberOf(cell));
        c.absent.push_back(std::holds_alternative<summary::Absent>(cell));
        if (column.text >= 0)
            c.texts.push_back(textOf(cell));
    }
    const auto note
        = [&](std::size_t at) { return at < row.cells.size() ? textOf(row.cells[at]) : QString(); };
    c.apcNote = note(layout.apcNoteAt);
    c.jpNote = note(layout.jpNoteAt);
    c.trendClass = std::get<trend::TrendClass>(row.cells[layout.classAt]);
    c.verdict = std::get<stats::Verdict>(row.cells[layout.verdictAt]);
    const double rate = std::get<double>(row.cells[layout.rateAt]);
    c.direction = rate > 0 ? 1 : rate < 0 ? -1 : 0;
    if (layout.territory >= 0)
        c.territory = territoryOf(row, layout);
    return c;
}

SummaryModel::Territory SummaryModel::territoryOf(const engine::Row &row, const Layout &layout)
{
    Territory t;
    double year = NaN;
    for (const auto &[id, at] : layout.territoryCells) {
        const summary::CellValue &cell = row.cells[at];
        const double x = numberOf(cell);
        switch (id) {
        case ColumnId::ReportYear:
            year = x;
            break;
        case ColumnId::ReportValue:
            t.rate = x;
            break;
        case ColumnId::RegionRate:
            t.regionRate = x;
            break;
        case ColumnId::RatioToRegion:
            t.ratio = x;
            break;
        case ColumnId::Sir:
            t.sir = x;
            break;
        case ColumnId::SirCi95Low:
            t.sirLow = x;
            break;
        case ColumnId::SirCi95High:
            t.sirHigh = x;
            break;
        case ColumnId::FunnelRu:
            t.funnel = textOf(cell);
            break;
        case ColumnId::FunnelNote:
            t.note = textOf(cell);
            break;
        case ColumnId::Risk:
            t.risk = std::get_if<bool>(&cell) && std::get<bool>(cell);
            break;
        case ColumnId::TerritoryRank:
            t.rank = std::isfinite(x) ? int(x) : 0;
            break;
        default:
            break;
        }
    }
    const table::Series &s = row.series;
    const double at = year - s.years.front();
    if (at >= 0 && at < double(s.cases.size()))
        t.cases = s.cases[std::size_t(at)];
    // The region is compared with nothing: summed by the run (its line
    // below the table's), or a row of the table that says it is the whole.
    t.region = std::isnan(t.regionRate)
        && (s.line < 0 || analysis::namesRegion(s.labels.value(layout.territory)));
    return t;
}

SummaryModel::SummaryModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void SummaryModel::reset(const Layout &newLayout)
{
    beginResetModel();
    layout = newLayout;
    rows.clear();
    groups.clear();
    endResetModel();
}

void SummaryModel::append(std::vector<Compact> &batch)
{
    if (batch.empty())
        return;
    beginInsertRows({}, int(rows.size()), int(rows.size() + batch.size() - 1));
    for (Compact &row : batch) {
        if (row.territory) {
            std::vector<int> &group = groups[groupKey(row.labels)];
            // The region comes before its territories; a later row that
            // says it is the whole is one the run did not take for it.
            row.territory->region = row.territory->region && group.empty();
            group.push_back(int(rows.size()));
        }
        rows.push_back(std::move(row));
    }
    endInsertRows();
    batch.clear();
}

int SummaryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int SummaryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(layout.labelNames.size() + qsizetype(layout.shown.size()));
}

double SummaryModel::number(int row, int column) const
{
    const qsizetype shown = column - layout.labelNames.size();
    return shown < 0 ? NaN : rows[std::size_t(row)].numbers[std::size_t(shown)];
}

QString SummaryModel::text(int row, int column) const
{
    const Compact &r = rows[std::size_t(row)];
    if (column < layout.labelNames.size())
        return r.labels.value(column);
    const std::size_t shown = std::size_t(column - layout.labelNames.size());
    const Shown &s = layout.shown[shown];
    if (s.kind == Shown::Class)
        return classWord(row);
    if (s.kind == Shown::Verdict)
        return summary::verdictText(r.verdict);
    if (s.text >= 0)
        return r.texts[std::size_t(s.text)];
    if (r.absent[shown])
        return {};
    const double value = r.numbers[shown];
    return s.integer && std::isfinite(value) ? QString::number(qint64(value))
                                             : spelling::tableNumber(value);
}

QVariant SummaryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const int row = index.row(), column = index.column();
    const bool label = column < layout.labelNames.size();
    switch (role) {
    case Qt::DisplayRole:
        return text(row, column);
    case SortRole:
        return label ? QVariant(text(row, column)) : QVariant(number(row, column));
    case Qt::ToolTipRole: {
        // An empty statistic says why it is empty.
        if (label)
            return {};
        const std::size_t shown = std::size_t(column - layout.labelNames.size());
        const Compact &r = rows[std::size_t(row)];
        if (!r.absent[shown])
            return {};
        const auto kind = layout.shown[shown].note;
        return kind == Shown::ApcNote      ? QVariant(r.apcNote)
            : kind == Shown::JoinpointNote ? QVariant(r.jpNote)
                                           : QVariant();
    }
    case Qt::TextAlignmentRole:
        return label ? int(Qt::AlignLeft | Qt::AlignVCenter)
                     : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole: {
        // The class and the verdict are the columns the eye runs down for
        // alarms.
        const Compact &r = rows[std::size_t(row)];
        const auto kind = label ? Shown::Plain
                                : layout.shown[std::size_t(column - layout.labelNames.size())].kind;
        if (kind == Shown::Verdict && r.verdict != stats::Verdict::Within
            && r.verdict != stats::Verdict::None)
            return QBrush(r.verdict == stats::Verdict::Above ? Rising : Falling);
        if (kind != Shown::Class || r.trendClass == trend::TrendClass::Stable || r.direction == 0)
            return {};
        return QBrush(r.direction > 0 ? Rising : Falling);
    }
    default:
        return {};
    }
}

QVariant SummaryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    const QString title = section >= layout.labelNames.size()
        ? layout.shown[std::size_t(section - layout.labelNames.size())].title
        : layout.labelNames[section].isEmpty() ? tr("метка %1").arg(section + 1)
                                               : layout.labelNames[section];
    return role == Qt::DisplayRole ? wrapped(title) : title;
}

bool SummaryModel::numeric(int column) const
{
    if (column < layout.labelNames.size())
        return false;
    const Shown &s = layout.shown[std::size_t(column - layout.labelNames.size())];
    return s.kind == Shown::Plain && s.text < 0;
}

QString SummaryModel::columnKey(int column) const
{
    if (column < layout.labelNames.size())
        return layout.labelNames[column];
    return layout.shown[std::size_t(column - layout.labelNames.size())].name;
}

int SummaryModel::column(summary::ColumnId id) const
{
    return columnIn(layout, id);
}

int SummaryModel::columnIn(const Layout &layout, summary::ColumnId id)
{
    for (std::size_t i = 0; i < layout.shown.size(); ++i) {
        if (layout.shown[i].id == id)
            return int(layout.labelNames.size() + qsizetype(i));
    }
    return -1;
}

table::Series SummaryModel::series(int row) const
{
    const Compact &r = rows[std::size_t(row)];
    table::Series s;
    s.labels = r.labels;
    s.file = r.file;
    s.line = r.line;
    s.unit = r.unit;
    if (r.unit.isEmpty()) {
        for (const QByteArray &cell : r.typed.split('\x1f')) {
            const trend::Entry entry = trend::parseEntry(QByteArrayView(cell));
            s.values.push_back(entry.value);
            s.exact.push_back(entry.exact);
            s.typed.push_back(QString::fromUtf8(cell));
        }
    } else {
        s.values = s.exact = r.rates;
        for (const double value : r.rates)
            s.typed.push_back(trend::formatReal(value));
        s.cases = r.cases;
        s.population = r.population;
        s.per = r.per;
    }
    s.years = trend::seriesYears(r.firstYear, int(s.values.size()));
    return s;
}

QString SummaryModel::groupKey(const QStringList &labels) const
{
    QStringList others = labels;
    if (layout.territory < others.size())
        others.removeAt(layout.territory);
    return others.join(u'\x1f');
}

std::vector<int> SummaryModel::group(int row) const
{
    if (!territory(row))
        return {};
    std::vector<int> group = groups.value(groupKey(labels(row)));
    const auto place = [this](int r) {
        const Territory &t = *rows[std::size_t(r)].territory;
        return t.region ? 0 : t.rank > 0 ? t.rank : std::numeric_limits<int>::max();
    };
    std::stable_sort(group.begin(), group.end(), [&](int a, int b) { return place(a) < place(b); });
    return group;
}

// The class in a word, and which way the trend goes: "умеренная ↑".
QString SummaryModel::classWord(int row) const
{
    const bool rising = rows[std::size_t(row)].direction > 0;
    switch (trendClass(row)) {
    case trend::TrendClass::Stable:
        return tr("стабильная");
    case trend::TrendClass::Moderate:
        return rising ? tr("умеренная ↑") : tr("умеренная ↓");
    case trend::TrendClass::Pronounced:
        return rising ? tr("выраженная ↑") : tr("выраженная ↓");
    }
    return {};
}
