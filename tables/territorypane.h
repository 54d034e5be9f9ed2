// SPDX-License-Identifier: MIT
// The selected series' group of territories (the rows whose labels are its
// own but the territory): its region first and in bold, then its
// territories by rank, each with its rate, its ratio to the region's, its
// SIR with the interval, its place on the funnel and whether it is one of
// risk. Read from the model's rows, which index their groups as they come.
#pragma once

#include <QWidget>

class QLabel;
class QTableWidget;
class SummaryModel;

class TerritoryPane : public QWidget
{
    Q_OBJECT

public:
    explicit TerritoryPane(QWidget *parent = nullptr);
    // The group of the model's `row`; a run without a territory column
    // says where to choose one.
    void display(const SummaryModel &model, int row);
    void clear();

private:
    class FunnelView;
    FunnelView *funnel; // the group's funnel plot
    QLabel *message; // why there is no table, or the group's note
    QTableWidget *table;
};
