// SPDX-License-Identifier: MIT
// ReadChoices: how the window reads a table and what it computes of it —
// the layout, rates from counts (cases, population, per how many), the
// model of the APC and the joinpoints, the joinpoint method, the reporting year with its
// baseline and the bounds of its verdict, and the label column that names the territory. Filled
// from a table's header, a table of counts is read as rates without being asked, and the baseline
// offered is the table's years. changed() says that a run must be computed again; a year typed
// digit by digit says it once, when the typing rests.
#pragma once

#include "engine/options.h"
#include "table/tableinput.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QComboBox;
class QLayout;
class QSpinBox;
class QTimer;

class ReadChoices : public QWidget
{
    Q_OBJECT

public:
    explicit ReadChoices(QWidget *parent = nullptr);

    // Offers the names of a table's header to the rate choices, reads a
    // table of counts as rates, and offers its years as the baseline.
    void fillChoices(const table::Header &header);
    // The baseline offered when the header showed no years (a long table
    // has them in its rows), unless one is chosen already.
    void offerYears(int first, int last);
    // The options the choices make, of no input and no output.
    engine::Options options() const;
    // Why options make no run, in the words of the window's controls.
    static std::optional<QString> problem(const engine::Options &options);

signals:
    void changed();

private:
    QLayout *buildReading();
    QLayout *buildReport();
    void connectChoices();
    void setBaseline(int first, int last);
    // The label columns of the layout chosen, as the territory's column.
    void offerTerritories();

    table::Header header;
    bool filling = false; // the choices are being filled, not chosen
    bool headerYears = false; // the baseline offered is the header's years

    QComboBox *layoutBox, *casesBox, *populationBox, *perBox, *modelBox, *joinpointBox;
    QCheckBox *ratesBox;
    // The reporting year (its least: each series' last), the baseline when
    // narrowed, the bounds of the verdict.
    QSpinBox *yearBox, *baselineFrom, *baselineTo;
    QCheckBox *baselineBox;
    QComboBox *expectedBox;
    QComboBox *territoryBox; // its data: the column's name, empty for none
    QTimer *recompute; // a year typed digit by digit computes once
};
