// SPDX-License-Identifier: MIT
#include "summarymodel.h"

#include "incidencetext.h"

#include <QBrush>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The columns a person scans a table by; the rest are in the saved summary.
const char *const ShownColumns[]
    = {"first_year", "last_year", "n", "trend_class_ru", "average_annual_change_rate",
        "ols_slope_per_year", "ols_p_value", "apc", "apc_ci95_low", "apc_ci95_high", "mk_p_value",
        "sen_slope", "jp_count", "jp_years", "aapc", "last_segment_start", "last_apc"};
const char *const IntegerColumns[]
    = {"first_year", "last_year", "n", "jp_count", "last_segment_start"};
const char *const TextColumns[] = {"jp_years"};

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Rising incidence is the alarm, falling the relief; a stable trend has
// no colour.
const QColor Rising(0xf6, 0xd3, 0xcf);
const QColor Falling(0xd4, 0xec, 0xd8);

template<std::size_t N> bool among(const char *const (&names)[N], const char *name)
{
    return std::any_of(
        std::begin(names), std::end(names), [&](const char *n) { return qstrcmp(n, name) == 0; });
}

} // namespace

bool SummaryModel::needs(const summary::Column &column)
{
    return among(ShownColumns, column.name) || qstrcmp(column.name, "trend_class") == 0
        || qstrcmp(column.name, "average_annual_change_rate") == 0;
}

SummaryModel::Layout SummaryModel::layoutFor(
    const QStringList &labelNames, const std::vector<summary::Column> &columns)
{
    Layout layout;
    layout.labelNames = labelNames;
    for (const char *name : ShownColumns) {
        for (std::size_t at = 0; at < columns.size(); ++at) {
            if (qstrcmp(columns[at].name, name) == 0)
                layout.shown.push_back({QString::fromLatin1(name),
                    QString::fromUtf8(columns[at].title), at, qstrcmp(name, "trend_class_ru") == 0,
                    among(TextColumns, name) ? layout.textColumns++ : -1,
                    among(IntegerColumns, name)});
        }
    }
    for (std::size_t at = 0; at < columns.size(); ++at) {
        if (qstrcmp(columns[at].name, "trend_class") == 0)
            layout.classAt = at;
        if (qstrcmp(columns[at].name, "average_annual_change_rate") == 0)
            layout.rateAt = at;
    }
    return layout;
}

SummaryModel::Compact SummaryModel::compact(const engine::Row &row, const Layout &layout)
{
    const table::Series &s = row.series;
    Compact c;
    c.labels = s.labels;
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
    }
    for (const Shown &column : layout.shown) {
        const summary::CellValue &cell = row.cells[column.at];
        c.numbers.push_back(cell.type == summary::CellType::Integer ? double(cell.integer)
                : cell.type == summary::CellType::Real              ? cell.real
                                                                    : NaN);
        c.absent.push_back(cell.type == summary::CellType::Absent);
        if (column.text >= 0)
            c.texts.push_back(cell.text);
    }
    c.trendClass = row.cells[layout.classAt].trendClass;
    const double rate = row.cells[layout.rateAt].real;
    c.direction = rate > 0 ? 1 : rate < 0 ? -1 : 0;
    return c;
}

SummaryModel::SummaryModel(QObject *parent)
    : QAbstractTableModel(parent)
{ }

void SummaryModel::reset(const Layout &newLayout)
{
    beginResetModel();
    layout = newLayout;
    rows.clear();
    endResetModel();
}

void SummaryModel::append(std::vector<Compact> &batch)
{
    if (batch.empty())
        return;
    beginInsertRows({}, int(rows.size()), int(rows.size() + batch.size() - 1));
    std::move(batch.begin(), batch.end(), std::back_inserter(rows));
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
    if (s.trendClass)
        return classWord(row);
    if (s.text >= 0)
        return r.texts[std::size_t(s.text)];
    if (r.absent[shown])
        return {};
    const double value = r.numbers[shown];
    return s.integer && std::isfinite(value) ? QString::number(qint64(value)) : human(value);
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
    case Qt::TextAlignmentRole:
        return label ? int(Qt::AlignLeft | Qt::AlignVCenter)
                     : int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::BackgroundRole: {
        // The class column is the one the eye runs down for alarms.
        const signed char direction = rows[std::size_t(row)].direction;
        if (label || !layout.shown[std::size_t(column - layout.labelNames.size())].trendClass
            || trendClass(row) == trend::TrendClass::Stable || direction == 0)
            return {};
        return QBrush(direction > 0 ? Rising : Falling);
    }
    default:
        return {};
    }
}

QVariant SummaryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section < layout.labelNames.size())
        return layout.labelNames[section].isEmpty() ? tr("метка %1").arg(section + 1)
                                                    : layout.labelNames[section];
    return layout.shown[std::size_t(section - layout.labelNames.size())].title;
}

bool SummaryModel::numeric(int column) const
{
    if (column < layout.labelNames.size())
        return false;
    const Shown &s = layout.shown[std::size_t(column - layout.labelNames.size())];
    return !s.trendClass && s.text < 0;
}

QString SummaryModel::columnKey(int column) const
{
    if (column < layout.labelNames.size())
        return layout.labelNames[column];
    return layout.shown[std::size_t(column - layout.labelNames.size())].name;
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
    }
    s.years = trend::seriesYears(r.firstYear, int(s.values.size()));
    return s;
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

QString SummaryModel::human(double value)
{
    static const QLocale russian(QLocale::Russian);
    if (std::isnan(value))
        return QStringLiteral("—");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("∞") : QStringLiteral("−∞");
    const double size = std::fabs(value);
    QString out;
    if (size >= 1e5) {
        out = russian.toString(value, 'f', 0);
    } else if (size != 0 && size < 1e-3) {
        // "1,27·10⁻¹⁷", as a person writes it.
        const int exponent = int(std::floor(std::log10(size)));
        static const char16_t superscripts[] = u"⁰¹²³⁴⁵⁶⁷⁸⁹";
        QString power = QStringLiteral("⁻");
        for (const QChar digit : QString::number(-exponent))
            power += QChar(superscripts[digit.digitValue()]);
        out = russian.toString(value / std::pow(10.0, exponent), 'f', 2) + QStringLiteral("·10")
            + power;
    } else {
        out = russian.toString(value, 'g', 4);
    }
    return out.replace(u'-', QChar(0x2212));
}

SummaryFilter::SummaryFilter(SummaryModel *source, QObject *parent)
    : QAbstractProxyModel(parent)
    , model(source)
{
    QAbstractProxyModel::setSourceModel(model);
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        beginResetModel();
        shown.clear();
        at.clear();
        endResetModel();
    });
    connect(model, &QAbstractItemModel::rowsInserted, this,
        [this](const QModelIndex &, int first, int last) { sourceRowsInserted(first, last); });
}

void SummaryFilter::setText(const QString &t)
{
    text = t.trimmed();
    rebuild();
}

void SummaryFilter::setClass(int c)
{
    trendClass = c;
    rebuild();
}

void SummaryFilter::sort(int column, Qt::SortOrder o)
{
    sortColumn = column;
    order = o;
    rebuild();
}

bool SummaryFilter::accepts(int row) const
{
    if (trendClass >= 0 && int(model->trendClass(row)) != trendClass)
        return false;
    if (text.isEmpty())
        return true;
    const QStringList &labels = model->labels(row);
    return std::any_of(labels.begin(), labels.end(),
        [&](const QString &label) { return label.contains(text, Qt::CaseInsensitive); });
}

namespace {

// Sorts `rows` by their keys; ties keep the table's order.
template<typename Key, typename Less> void sortByKeys(std::vector<int> &rows, Key key, Less less)
{
    using K = decltype(key(0));
    std::vector<std::pair<K, int>> keyed;
    keyed.reserve(rows.size());
    for (const int row : rows)
        keyed.emplace_back(key(row), row);
    std::stable_sort(keyed.begin(), keyed.end(),
        [&](const auto &a, const auto &b) { return less(a.first, b.first); });
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = keyed[i].second;
}

} // namespace

// By keys taken out first: comparing through the model, or through a
// variant, millions of times would make sorting a national table take
// seconds. Not a number goes last, whichever way the column is sorted.
void SummaryFilter::sortShown()
{
    const bool up = order == Qt::AscendingOrder;
    if (model->numeric(sortColumn))
        sortByKeys(
            shown, [&](int row) { return model->number(row, sortColumn); },
            [up](double x, double y) {
                if (std::isnan(x) || std::isnan(y))
                    return !std::isnan(x) && std::isnan(y);
                return up ? x < y : y < x;
            });
    else
        sortByKeys(
            shown, [&](int row) { return model->text(row, sortColumn); },
            [up](const QString &s, const QString &t) { return up ? s < t : t < s; });
}

void SummaryFilter::rebuild()
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> sources;
    for (const QModelIndex &index : before)
        sources.push_back(shown[std::size_t(index.row())]);
    shown.clear();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (accepts(row))
            shown.push_back(row);
    }
    if (sortColumn >= 0 && sortColumn < model->columnCount())
        sortShown();
    at.assign(std::size_t(model->rowCount()), -1);
    for (std::size_t i = 0; i < shown.size(); ++i)
        at[std::size_t(shown[i])] = int(i);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = at[std::size_t(sources[std::size_t(i)])];
        after << (row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

// Rows computed while the table is shown: at the end when nothing is
// sorted, or all sorted again.
void SummaryFilter::sourceRowsInserted(int first, int last)
{
    at.resize(std::size_t(last + 1), -1);
    std::vector<int> added;
    for (int row = first; row <= last; ++row) {
        if (accepts(row))
            added.push_back(row);
    }
    if (added.empty())
        return;
    if (sortColumn >= 0)
        return rebuild();
    beginInsertRows({}, int(shown.size()), int(shown.size() + added.size() - 1));
    for (const int row : added) {
        at[std::size_t(row)] = int(shown.size());
        shown.push_back(row);
    }
    endInsertRows();
}

QModelIndex SummaryFilter::mapToSource(const QModelIndex &proxy) const
{
    if (!proxy.isValid() || proxy.row() >= int(shown.size()))
        return {};
    return model->index(shown[std::size_t(proxy.row())], proxy.column());
}

QModelIndex SummaryFilter::mapFromSource(const QModelIndex &source) const
{
    if (!source.isValid() || source.row() >= int(at.size()) || at[std::size_t(source.row())] < 0)
        return {};
    return index(at[std::size_t(source.row())], source.column());
}

QModelIndex SummaryFilter::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= int(shown.size()) || column < 0
        || column >= model->columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex SummaryFilter::parent(const QModelIndex &) const
{
    return {};
}

int SummaryFilter::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(shown.size());
}

int SummaryFilter::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : model->columnCount();
}
