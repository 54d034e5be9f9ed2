// SPDX-License-Identifier: MIT
#include "tables/readchoices.h"

#include "table/cells.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

// The year a cell of a block of years ends in: 2015 of "случаи 2015".
std::optional<qint32> blockYear(const table::Header &header, const QString &cell)
{
    const bool inBlock = std::any_of(header.blocks.begin(), header.blocks.end(),
        [&](const QString &block) { return cell.startsWith(block); });
    return inBlock ? table::readYear(cell.right(4).toUtf8()) : std::nullopt;
}

// The years a header shows: its cells' own, or else those its blocks end
// in.
std::vector<qint32> yearsOf(const table::Header &header)
{
    std::vector<qint32> own, blocks;
    for (const QString &cell : header.cells) {
        if (const auto year = table::readYear(cell.toUtf8()))
            own.push_back(*year);
        else if (const auto year = blockYear(header, cell))
            blocks.push_back(*year);
    }
    return own.empty() ? blocks : own;
}

// The label columns as a layout reads them: a wide table's before its
// years, a long table's but the year and the value, or the cases and the
// population.
QStringList labelColumns(const table::Header &header, bool longLayout, bool counts)
{
    if (longLayout)
        return header.cells.mid(0, std::max<qsizetype>(0, header.cells.size() - (counts ? 3 : 2)));
    QStringList labels;
    for (const QString &cell : header.cells) {
        if (table::readYear(cell.toUtf8()) || blockYear(header, cell))
            break;
        labels << cell;
    }
    return labels;
}

} // namespace

ReadChoices::ReadChoices(QWidget *parent)
    : QWidget(parent)
    , recompute(new QTimer(this))
{
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addLayout(buildReading());
    rows->addLayout(buildReport());
    // Filled from a header after they are shown: each as wide as its names.
    for (QComboBox *box : {casesBox, populationBox, territoryBox})
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    recompute->setSingleShot(true);
    recompute->setInterval(600);
    connectChoices();
}

QLayout *ReadChoices::buildReading()
{
    auto *row = new QHBoxLayout;
    layoutBox = new QComboBox;
    layoutBox->addItems({tr("годы по столбцам"), tr("длинная: год и значение в строках")});
    ratesBox = new QCheckBox(tr("из числа &случаев:"));
    casesBox = new QComboBox;
    populationBox = new QComboBox;
    perBox = new QComboBox;
    perBox->addItem(tr("на 100 тыс."), 100000.0);
    perBox->addItem(tr("на 1 млн"), 1000000.0);
    perBox->addItem(tr("на 10 тыс."), 10000.0);
    perBox->addItem(tr("на 1000"), 1000.0);
    modelBox = new QComboBox;
    modelBox->addItem(tr("по данным"), int(analysis::TrendModel::Auto));
    modelBox->addItem(tr("логлинейная"), int(analysis::TrendModel::LogLinear));
    modelBox->addItem(tr("числа случаев"), int(analysis::TrendModel::QuasiPoisson));
    modelBox->setToolTip(
        tr("Модель APC и точек перелома. По данным: для показателей из числа "
           "случаев — квазипуассоновская модель числа случаев, иначе логлинейная"));
    joinpointBox = new QComboBox;
    joinpointBox->addItem(tr("взвешенный BIC"), int(stats::JoinpointMethod::Wbic));
    joinpointBox->addItem(tr("BIC"), int(stats::JoinpointMethod::Bic));
    joinpointBox->addItem(tr("BIC3"), int(stats::JoinpointMethod::Bic3));
    joinpointBox->addItem(tr("перестановочный тест"), int(stats::JoinpointMethod::Permutation));
    joinpointBox->addItem(tr("не искать"), -1);
    auto *layoutLabel = new QLabel(tr("&Раскладка:"));
    layoutLabel->setBuddy(layoutBox);
    row->addWidget(layoutLabel);
    row->addWidget(layoutBox);
    row->addSpacing(12);
    row->addWidget(ratesBox);
    row->addWidget(casesBox);
    row->addWidget(new QLabel(tr("население:")));
    row->addWidget(populationBox);
    row->addWidget(perBox);
    row->addSpacing(12);
    auto *modelLabel = new QLabel(tr("&Модель:"));
    modelLabel->setBuddy(modelBox);
    row->addWidget(modelLabel);
    row->addWidget(modelBox);
    auto *joinpointLabel = new QLabel(tr("&Точки перелома:"));
    joinpointLabel->setBuddy(joinpointBox);
    row->addWidget(joinpointLabel);
    row->addWidget(joinpointBox);
    row->addStretch(1);
    return row;
}

// The reporting year, its baseline and the bounds of its verdict.
QLayout *ReadChoices::buildReport()
{
    auto *row = new QHBoxLayout;
    yearBox = new QSpinBox;
    yearBox->setRange(trend::MinYear - 1, trend::MaxYear);
    yearBox->setSpecialValueText(tr("последний год ряда"));
    yearBox->setValue(yearBox->minimum());
    baselineBox = new QCheckBox(tr("&база:"));
    baselineBox->setToolTip(tr("Без отметки база — все годы ряда до отчётного"));
    baselineFrom = new QSpinBox;
    baselineTo = new QSpinBox;
    for (QSpinBox *box : {baselineFrom, baselineTo}) {
        box->setRange(trend::MinYear, trend::MaxYear);
        box->setEnabled(false);
    }
    expectedBox = new QComboBox;
    expectedBox->addItem(tr("нормативные"), int(stats::ExpectedBy::Normative));
    expectedBox->addItem(tr("интервал прогноза МНК"), int(stats::ExpectedBy::Prediction));
    expectedBox->addItem(tr("Пуассона, по числу случаев"), int(stats::ExpectedBy::Poisson));
    expectedBox->addItem(
        tr("квазипуассоновские, по числу случаев"), int(stats::ExpectedBy::QuasiPoisson));
    territoryBox = new QComboBox;
    territoryBox->addItem(tr("нет"), QString());
    territoryBox->setToolTip(
        tr("Столбец меток, который называет территорию (район, город): территории каждой группы "
           "сравниваются с показателем по территориям в целом"));
    auto *territoryLabel = new QLabel(tr("Терр&итория:"));
    territoryLabel->setBuddy(territoryBox);
    auto *yearLabel = new QLabel(tr("Отчётный &год:"));
    yearLabel->setBuddy(yearBox);
    auto *expectedLabel = new QLabel(tr("&границы ожидаемого:"));
    expectedLabel->setBuddy(expectedBox);
    row->addWidget(yearLabel);
    row->addWidget(yearBox);
    row->addSpacing(12);
    row->addWidget(baselineBox);
    row->addWidget(baselineFrom);
    row->addWidget(new QLabel(QStringLiteral("–")));
    row->addWidget(baselineTo);
    row->addSpacing(12);
    row->addWidget(expectedLabel);
    row->addWidget(expectedBox);
    row->addSpacing(12);
    row->addWidget(territoryLabel);
    row->addWidget(territoryBox);
    row->addStretch(1);
    return row;
}

void ReadChoices::connectChoices()
{
    const auto chosen = [this] {
        if (!filling)
            emit changed();
    };
    for (QComboBox *box :
        {casesBox, populationBox, perBox, modelBox, joinpointBox, expectedBox, territoryBox})
        connect(box, &QComboBox::currentIndexChanged, this, chosen);
    // A long table's counts take one more of its columns from the labels.
    connect(ratesBox, &QCheckBox::toggled, this, [this] {
        const bool was = std::exchange(filling, true);
        offerTerritories();
        filling = was;
    });
    connect(ratesBox, &QCheckBox::toggled, this, chosen);
    // Another layout names other columns: they are offered before the table
    // is read again.
    connect(layoutBox, &QComboBox::currentIndexChanged, this, [this] {
        if (filling)
            return;
        fillChoices(header);
        emit changed();
    });
    connect(recompute, &QTimer::timeout, this, &ReadChoices::changed);
    for (QSpinBox *box : {yearBox, baselineFrom, baselineTo})
        connect(box, &QSpinBox::valueChanged, this, [this] {
            if (!filling)
                recompute->start();
        });
    connect(baselineBox, &QCheckBox::toggled, this, [this](bool narrowed) {
        baselineFrom->setEnabled(narrowed);
        baselineTo->setEnabled(narrowed);
        emit changed();
    });
}

void ReadChoices::fillChoices(const table::Header &read)
{
    header = read;
    filling = true;
    const bool wide = layoutBox->currentIndex() == 0;
    const QStringList &names = wide ? header.blocks : header.cells;
    for (QComboBox *box : {casesBox, populationBox}) {
        box->clear();
        box->addItems(names);
    }
    const table::CountNames counts = table::countNames(header, !wide);
    casesBox->setCurrentIndex(counts.cases);
    populationBox->setCurrentIndex(counts.population);
    ratesBox->setEnabled(names.size() >= 2);
    ratesBox->setChecked(counts.countTable);
    // The baseline offered: the table's years but the last.
    const std::vector<qint32> years = yearsOf(header);
    const auto [first, last] = std::minmax_element(years.begin(), years.end());
    headerYears = !years.empty() && *first < *last;
    if (headerYears)
        setBaseline(*first, *last);
    offerTerritories();
    filling = false;
}

// The column chosen stays chosen while the layout offers it.
void ReadChoices::offerTerritories()
{
    const QString chosen = territoryBox->currentData().toString();
    territoryBox->clear();
    territoryBox->addItem(tr("нет"), QString());
    for (const QString &name :
        labelColumns(header, layoutBox->currentIndex() == 1, ratesBox->isChecked())) {
        if (!name.isEmpty() && territoryBox->findData(name) < 0)
            territoryBox->addItem(name, name);
    }
    territoryBox->setCurrentIndex(std::max(0, territoryBox->findData(chosen)));
}

void ReadChoices::offerYears(int first, int last)
{
    if (headerYears || baselineBox->isChecked() || first >= last)
        return;
    filling = true;
    setBaseline(first, last);
    filling = false;
}

void ReadChoices::setBaseline(int first, int last)
{
    baselineFrom->setValue(first);
    baselineTo->setValue(last - 1);
}

engine::Options ReadChoices::options() const
{
    engine::Options o;
    o.longLayout = layoutBox->currentIndex() == 1;
    if (ratesBox->isChecked()) {
        o.rates.cases = casesBox->currentText();
        o.rates.population = populationBox->currentText();
        o.rates.per = perBox->currentData().toDouble();
    }
    o.analysis.model = analysis::TrendModel(modelBox->currentData().toInt());
    const int method = joinpointBox->currentData().toInt();
    if (method < 0)
        o.analysis.joinpoints.reset();
    else
        o.analysis.joinpoints->method = stats::JoinpointMethod(method);
    if (yearBox->value() != yearBox->minimum())
        o.analysis.report.year = yearBox->value();
    if (baselineBox->isChecked()) {
        o.analysis.report.baselineFrom = baselineFrom->value();
        o.analysis.report.baselineTo = baselineTo->value();
    }
    o.analysis.report.expectedBy = stats::ExpectedBy(expectedBox->currentData().toInt());
    o.territory = territoryBox->currentData().toString();
    o.format = summary::SummaryFormat::None;
    return o;
}

std::optional<QString> ReadChoices::problem(const engine::Options &o)
{
    const auto why = engine::invalid(o);
    if (!why)
        return std::nullopt;
    switch (*why) {
    case engine::Invalid::SameColumns:
        return tr("Выберите разные столбцы случаев и населения.");
    case engine::Invalid::BaselineOrder:
        return tr("База: начало должно быть раньше конца.");
    case engine::Invalid::BaselineAfterYear:
        return tr("База должна кончаться до отчётного года (%1).").arg(o.analysis.report.year);
    case engine::Invalid::PoissonWithoutCounts:
        return tr("Границы ожидаемого по Пуассону — только для показателей «из числа случаев».");
    case engine::Invalid::QuasiPoissonWithoutCounts:
        return tr("Квазипуассоновские границы ожидаемого — только для показателей «из числа "
                  "случаев».");
    case engine::Invalid::CountModelWithoutCounts:
        return tr("Модель числа случаев — только для показателей «из числа случаев».");
    case engine::Invalid::PermutationWithCountModel:
        return tr("Перестановочный тест есть только у логлинейной модели: выберите её или "
                  "взвешенный BIC, BIC, BIC3.");
    default: // nothing the window's choices make
        return engine::validate(o);
    }
}
