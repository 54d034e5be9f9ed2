// SPDX-License-Identifier: MIT
#include "analysis/territory.h"

#include "calc/incidencetext.h"
#include "calc/trendcore.h"

#include <QObject>

#include <algorithm>
#include <cmath>
#include <future>

namespace analysis {

namespace {

// A group's key: its labels but the territory, apart by a character no
// label holds.
QString groupKey(const QStringList &labels, qsizetype column)
{
    QString key;
    for (qsizetype i = 0; i < labels.size(); ++i) {
        if (i != column)
            key += labels[i] + QChar(0x1f);
    }
    return key;
}

int strength(stats::Funnel f)
{
    switch (f) {
    case stats::Funnel::Above998:
    case stats::Funnel::Below998:
        return 2;
    case stats::Funnel::Above95:
    case stats::Funnel::Below95:
        return 1;
    case stats::Funnel::Within:
        break;
    }
    return 0;
}

bool above(stats::Funnel f)
{
    return f == stats::Funnel::Above998 || f == stats::Funnel::Above95;
}

QString joined(const QString &a, const QString &b)
{
    return a.isEmpty() ? b : b.isEmpty() ? a : a + QStringLiteral("; ") + b;
}

QString yearSpan(qint32 from, qint32 to)
{
    return from == to ? QObject::tr("%1 г.").arg(from) : QObject::tr("%1–%2 гг.").arg(from).arg(to);
}

} // namespace

QString summedRegionName()
{
    return QObject::tr("Всего по территориям");
}

bool namesRegion(const QString &territory)
{
    QString name = territory.trimmed().toCaseFolded();
    name.replace(QChar(0x451), QChar(0x435)); // ё
    static const char *const prefixes[] = {"всего", "итого", "область", "по области", "регион"};
    for (const char *prefix : prefixes) {
        if (name.startsWith(QString::fromUtf8(prefix)))
            return true;
    }
    return false;
}

stats::Funnel funnelClass(double observed, double expected, double dispersion)
{
    const stats::Funnel exact = stats::funnelByTails(observed, expected);
    if (!(dispersion > 1))
        return exact;
    const stats::Funnel widened
        = stats::funnelByZ((observed - expected) / std::sqrt(expected), dispersion);
    // Both lie on one side or within: the weaker of the two.
    return strength(widened) < strength(exact) ? widened : exact;
}

bool riskTerritory(stats::Funnel year, std::optional<stats::Funnel> before)
{
    return year == stats::Funnel::Above998 || (above(year) && before && above(*before));
}

TerritoryCensus::TerritoryCensus(qsizetype column, qint32 reportYear)
    : territoryColumn(column)
    , reportYear(reportYear)
{ }

TerritoryCensus::Year TerritoryCensus::in(qint32 first, const std::vector<double> &exact,
    const std::vector<double> &cases, const std::vector<double> &population, qint32 year)
{
    Year y;
    const qint64 n = qint64(exact.size());
    if (n == 0 || year < first || year >= first + n)
        return y;
    const std::size_t i = std::size_t(year - first);
    y.rate = exact[i];
    if (!cases.empty()) {
        y.cases = cases[i];
        y.population = population[i];
    }
    return y;
}

TerritoryCensus::Year TerritoryCensus::in(const table::Series &s, qint32 year)
{
    return s.years.empty() ? Year {} : in(s.years.front(), s.exact, s.cases, s.population, year);
}

TerritoryCensus::Prepared TerritoryCensus::prepare(table::Series &&s) const
{
    Prepared p;
    p.key = groupKey(s.labels, territoryColumn);
    p.line = s.line;
    p.first = s.years.front();
    p.per = s.per;
    p.unit = s.unit;
    if (namesRegion(s.labels.value(territoryColumn))) {
        p.labels = s.labels;
        p.exact = s.exact;
        p.cases = s.cases;
        p.population = s.population;
        p.whole = std::move(s);
        return p;
    }
    p.labels = std::move(s.labels);
    p.exact = std::move(s.exact);
    p.cases = std::move(s.cases);
    p.population = std::move(s.population);
    return p;
}

void TerritoryCensus::add(Prepared &&s)
{
    auto found = groupOf.constFind(s.key);
    if (found == groupOf.cend()) {
        Group g;
        g.labels = s.labels;
        while (g.labels.size() <= territoryColumn)
            g.labels.append(QString());
        g.labels[territoryColumn] = summedRegionName();
        g.firstLine = s.line;
        g.unit = s.unit;
        found = groupOf.insert(s.key, groups.size());
        groups.push_back(std::move(g));
    }
    Group &g = groups[*found];
    Member m;
    m.line = s.line;
    m.territory = s.labels.value(territoryColumn);
    m.first = s.first;
    m.last = s.first + qint32(s.exact.size()) - 1;
    m.year = reportYear != 0 ? reportYear : m.last;
    m.at = in(s.first, s.exact, s.cases, s.population, m.year);
    m.before = in(s.first, s.exact, s.cases, s.population, m.year - 1);
    m.counts = !s.cases.empty();
    m.per = s.per;
    g.counts = g.counts && m.counts;
    const std::size_t at = members.size();
    byLine.emplace_back(s.line, at);

    if (s.whole) {
        if (!g.found) {
            g.found = at;
            g.region = std::move(*s.whole);
            g.regionLine = s.line;
        } else {
            g.otherTotals.push_back(at);
        }
        members.push_back(std::move(m));
        return;
    }
    const auto known = g.territories.constFind(m.territory);
    if (known != g.territories.cend()) {
        m.duplicate = true;
        m.duplicateOf = *known;
    } else {
        g.territories.insert(m.territory, m.line);
        if (g.years.empty())
            g.base = m.first;
        if (m.first < g.base) {
            g.years.insert(g.years.begin(), std::size_t(g.base - m.first), Sum {});
            g.base = m.first;
        }
        const std::size_t from = std::size_t(m.first - g.base);
        if (g.years.size() < from + s.exact.size())
            g.years.resize(from + s.exact.size());
        for (std::size_t i = 0; i < s.exact.size(); ++i) {
            Sum &y = g.years[from + i];
            y.rates += s.exact[i];
            if (m.counts) {
                y.cases += s.cases[i];
                y.population += s.population[i];
            }
            ++y.count;
        }
    }
    g.members.push_back(at);
    g.names.push_back(m.territory);
    members.push_back(std::move(m));
}

void TerritoryCensus::skipped(const QString &label, qint64 line, qsizetype labelCount)
{
    // A label with « / » of its own, or an empty one, names no group.
    QStringList parts = label.split(QStringLiteral(" / "));
    if (parts.size() == labelCount && territoryColumn < labelCount)
        skips[groupKey(parts, territoryColumn)].append(line);
}

void TerritoryCensus::finish(int jobs)
{
    for (auto it = groupOf.cbegin(); it != groupOf.cend(); ++it) {
        const auto lines = skips.constFind(it.key());
        if (lines == skips.cend())
            continue;
        QStringList at;
        for (qint64 line : *lines)
            at << QString::number(line);
        Group &g = groups[*it];
        g.note = (at.size() == 1 ? QObject::tr("ряд группы в строке %1 пропущен: его нет ни в "
                                               "сумме, ни в сравнении")
                                 : QObject::tr("ряды группы в строках %1 пропущены: их нет ни в "
                                               "сумме, ни в сравнении"))
                     .arg(at.join(QStringLiteral(", ")));
    }
    compared.resize(members.size());
    std::sort(byLine.begin(), byLine.end());
    for (std::size_t i = 0; i < groups.size(); ++i) {
        Group &g = groups[i];
        if (g.found)
            moved.insert(g.regionLine, true);
        else
            sum(g, -qint64(i) - 1);
        if (g.region) {
            startsAt[g.firstLine].push_back(i);
            groupByRegion.insert(g.regionLine, i);
        }
        g.territories.clear();
        g.years = {};
    }
    // The groups are compared apart, on as many threads as asked: each
    // writes the comparisons of its own members only.
    std::vector<std::optional<TerritoryComparison>> summed(groups.size());
    const std::size_t threads = std::max(1, std::min(jobs, 64));
    std::vector<std::future<void>> running;
    for (std::size_t t = 0; t < threads; ++t) {
        running.push_back(std::async(std::launch::async, [&, t] {
            for (std::size_t i = t; i < groups.size(); i += threads)
                summed[i] = compare(groups[i]);
        }));
    }
    for (auto &done : running)
        done.get();
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (summed[i])
            regions.insert(groups[i].regionLine, std::move(*summed[i]));
    }
    // What is asked afterwards is by line.
    members = {};
}

// The region of a group as a series of its own, over the years every
// territory has: as the table would give it with those sums in a row.
void TerritoryCensus::sum(Group &g, qint64 line)
{
    std::vector<std::size_t> own;
    for (std::size_t at : g.members) {
        if (!members[at].duplicate)
            own.push_back(at);
    }
    if (own.size() < 2)
        return;
    qint32 from = members[own.front()].first, to = members[own.front()].last;
    qint32 earliest = from, latest = to;
    for (std::size_t at : own) {
        from = std::max(from, members[at].first);
        to = std::min(to, members[at].last);
        earliest = std::min(earliest, members[at].first);
        latest = std::max(latest, members[at].last);
    }
    g.regionLine = line;
    if (to - from + 1 < trend::MinValues)
        return;
    table::Series s;
    s.labels = g.labels;
    s.line = line;
    const double per = members[own.front()].per;
    if (g.counts) {
        s.per = per;
        s.unit = g.unit;
    }
    for (qint32 year = from; year <= to; ++year) {
        const Sum &y = g.years[std::size_t(year - g.base)];
        double value = 0, exact = 0;
        if (g.counts) {
            s.cases.push_back(y.cases);
            s.population.push_back(y.population);
            value = exact = y.cases * per / y.population;
            s.typed.push_back(trend::formatReal(value));
        } else {
            // Written out and read back, as from a table holding the means.
            const QByteArray text = QByteArray::number(y.rates / y.count, 'g', 17);
            const trend::Entry entry = trend::parseEntry(text);
            value = entry.value;
            exact = entry.exact;
            s.typed.push_back(QString::fromLatin1(text));
        }
        s.values.push_back(value);
        s.exact.push_back(exact);
    }
    s.years = trend::seriesYears(from, int(to - from + 1));
    if (earliest < from || latest > to) {
        QStringList out;
        if (earliest < from)
            out << yearSpan(earliest, from - 1);
        if (latest > to)
            out << yearSpan(to + 1, latest);
        g.note = joined(QObject::tr("не у всех территорий есть %1: в сумму не вошли")
                            .arg(out.join(QObject::tr(" и "))),
            g.note);
    }
    g.region = std::move(s);
}

std::optional<TerritoryComparison> TerritoryCensus::compare(const Group &g)
{
    std::vector<std::size_t> own;
    for (std::size_t at : g.members) {
        const Member &m = members[at];
        if (m.duplicate) {
            TerritoryComparison c;
            c.note = QObject::tr("территория «%1» в группе уже есть (строка %2): не сравнивается "
                                 "и в сумму не входит")
                         .arg(m.territory)
                         .arg(m.duplicateOf);
            compared[at] = c;
        } else {
            own.push_back(at);
        }
    }
    for (std::size_t at : g.otherTotals) {
        TerritoryComparison c;
        c.note = QObject::tr("итог группы уже взят из строки %1: эта строка не сравнивается")
                     .arg(g.regionLine);
        compared[at] = c;
    }
    if (g.region) {
        TerritoryComparison c;
        c.region = true;
        QStringList notes;
        if (!g.found && !g.counts)
            notes
                << QObject::tr("без населения: среднее показателей %1 территорий").arg(own.size());
        if (!g.note.isEmpty())
            notes << g.note;
        c.note = notes.join(QStringLiteral("; "));
        compareTo(g, own);
        if (!g.found)
            return c;
        compared[*g.found] = c;
        return std::nullopt;
    }
    const QString why = own.size() < 2
        ? QObject::tr("в группе одна территория: сравнивать не с чем")
        : QObject::tr("у территорий группы меньше %1 общих лет: нет суммы по территориям")
              .arg(trend::MinValues);
    for (std::size_t at : own) {
        TerritoryComparison c;
        c.note = why;
        compared[at] = c;
    }
    return std::nullopt;
}

void TerritoryCensus::compareTo(const Group &g, const std::vector<std::size_t> &own)
{
    const table::Series &region = *g.region;
    // Cases observed and expected in a year, against the region's rate;
    // none where either is missing.
    struct Expected {
        double observed = TerritoryComparison::None, expected = TerritoryComparison::None;
        qint32 year = 0;
        bool exists() const { return expected > 0; }
    };
    const auto expectedIn = [&](const Year &y, qint32 year) {
        Expected e;
        e.year = year;
        const Year r = in(region, year);
        if (std::isnan(y.cases) || !(y.population > 0) || !(r.population > 0))
            return e;
        e.observed = y.cases;
        e.expected = y.population * r.cases / r.population;
        return e;
    };
    std::vector<TerritoryComparison> all(own.size());
    std::vector<Expected> now(own.size()), before(own.size());
    QHash<qint32, std::vector<double>> z; // the group's z-scores by year
    for (std::size_t i = 0; i < own.size(); ++i) {
        const Member &m = members[own[i]];
        TerritoryComparison &c = all[i];
        c.year = m.year;
        const Year r = in(region, m.year);
        if (std::isnan(m.at.rate)) {
            c.note = QObject::tr("нет показателя за %1 г.").arg(m.year);
            continue;
        }
        c.rate = m.at.rate;
        if (std::isnan(r.rate)) {
            c.note = QObject::tr("за %1 г. нет показателя по территориям в целом").arg(m.year);
            continue;
        }
        c.regionRate = r.rate;
        if (r.rate > 0)
            c.ratio = m.at.rate / r.rate;
        else
            c.note = QObject::tr("в %1 г. по территориям в целом показатель 0: отношения нет")
                         .arg(m.year);
        if (!m.counts)
            continue;
        if (std::isnan(m.at.population) || !(m.at.population > 0)) {
            c.note = joined(c.note,
                QObject::tr("нет населения за %1 г.: не сравнивается с ожидаемым").arg(m.year));
            continue;
        }
        c.population = m.at.population;
        now[i] = expectedIn(m.at, m.year);
        before[i] = expectedIn(m.before, m.year - 1);
        for (const Expected *e : {&now[i], &before[i]}) {
            if (e->exists())
                z[e->year].push_back((e->observed - e->expected) / std::sqrt(e->expected));
        }
    }
    QHash<qint32, double> dispersion;
    QHash<qint32, QString> allowed; // the note of a year whose φ is allowed for
    for (auto it = z.begin(); it != z.end(); ++it) {
        const double phi = stats::funnelDispersion(std::move(it.value()));
        dispersion.insert(it.key(), phi);
        if (phi > 1)
            allowed.insert(it.key(),
                QObject::tr("учтена избыточная дисперсия (φ = %1)")
                    .arg(QString::number(phi, 'f', 2).replace('.', ',')));
    }

    std::vector<double> rates(own.size(), TerritoryComparison::None);
    for (std::size_t i = 0; i < own.size(); ++i) {
        TerritoryComparison &c = all[i];
        rates[i] = c.rate;
        if (!now[i].exists())
            continue;
        c.observed = now[i].observed;
        c.expected = now[i].expected;
        c.sir = stats::standardisedRatio(c.observed, c.expected);
        c.pValue = stats::sirPValue(c.observed, c.expected);
        const double phi = dispersion.value(c.year, 0);
        c.funnel = funnelClass(c.observed, c.expected, phi);
        if (phi > 1) {
            c.dispersion = phi;
            c.note = joined(c.note, allowed.value(c.year));
        }
        std::optional<stats::Funnel> last;
        if (before[i].exists())
            last = funnelClass(
                before[i].observed, before[i].expected, dispersion.value(c.year - 1, 0));
        c.risk = riskTerritory(*c.funnel, last);
    }
    const std::vector<int> ranks = stats::rankHighestFirst(rates);
    for (std::size_t i = 0; i < own.size(); ++i) {
        all[i].rank = ranks[i];
        compared[own[i]] = std::move(all[i]);
    }
}

std::vector<TerritoryCensus::Territory> TerritoryCensus::territoriesOf(qint64 line) const
{
    std::vector<Territory> all;
    const auto found = groupByRegion.constFind(line);
    if (found == groupByRegion.cend())
        return all;
    const Group &g = groups[*found];
    for (std::size_t i = 0; i < g.members.size(); ++i) {
        const TerritoryComparison &c = compared[g.members[i]];
        if (c.rank > 0)
            all.push_back({g.names[qsizetype(i)], &c});
    }
    std::stable_sort(all.begin(), all.end(), [](const Territory &a, const Territory &b) {
        return a.comparison->rank < b.comparison->rank;
    });
    return all;
}

std::vector<const table::Series *> TerritoryCensus::regionsBefore(qint64 line) const
{
    std::vector<const table::Series *> regions;
    const auto found = startsAt.constFind(line);
    if (found != startsAt.cend()) {
        for (std::size_t g : *found)
            regions.push_back(&*groups[g].region);
    }
    return regions;
}

bool TerritoryCensus::movedAway(qint64 line) const
{
    return moved.contains(line);
}

const TerritoryComparison *TerritoryCensus::comparison(qint64 line) const
{
    if (line < 0) {
        const auto found = regions.constFind(line);
        return found == regions.cend() ? nullptr : &*found;
    }
    const auto found
        = std::lower_bound(byLine.begin(), byLine.end(), std::pair<qint64, std::size_t>(line, 0));
    return found == byLine.end() || found->first != line ? nullptr : &compared[found->second];
}

} // namespace analysis
