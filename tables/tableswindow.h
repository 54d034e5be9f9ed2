// SPDX-License-Identifier: MIT
// TablesWindow: a whole surveillance table in one window, for those who
// never open a terminal. A table is opened from the menu, dropped on the
// window or named on the command line; a few choices (layout, rates from
// counts, joinpoints) say how to read it, and changing one computes it
// again. The engine computes it on threads while rows fill a sortable,
// filterable table; a selected row shows its chart, the report the
// trend form would save and, by a territory column, its group's
// territories; skipped series are listed with the cell to fix. Saving the
// summary, or the reports and charts, runs the engine once more into the
// files, so the bytes are what vantorel-batch writes. The
// runs go one at a time through a RunController; the choices are closed
// while one goes. A summary computed and not saved is not left, by
// closing or by another table, without asking.
//
// The window is the frame: its menus, the table and its filters, the
// skipped series, the status and the runs. The choices (ReadChoices) and
// the selected series (SeriesDetail) are widgets of their own.
//
// The window computes nothing and writes no file of its own: it only
// drives the engine and shows what it is told.
#pragma once

#include "tables/runcontroller.h"
#include "tables/summaryfilter.h"

#include <QMainWindow>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class ReadChoices;
class SeriesDetail;

class TablesWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit TablesWindow(QWidget *parent = nullptr);
    ~TablesWindow() override;

    // Opens a table and computes it; a workbook of several sheets asks
    // which, and a summary not saved asks first whether to leave it. False
    // when nothing was opened (the user was told why).
    bool openTable(const QString &path);
    // Begins writing the summary to `path` in `format`; the window says
    // when it is written, or why not. False when another run goes.
    bool saveSummary(const QString &path, summary::SummaryFormat format);
    // Begins writing a report and a chart for every series into `folder`.
    // False when another run goes.
    bool saveFiles(const QString &folder, summary::ChartFormat format);
    // Begins writing the annual report's chapter (.odt or .pdf) of the rows
    // shown, in the order shown. False when another run goes.
    bool saveDocument(const QString &path);
    // A run is going: computing the table, or saving.
    bool busy() const { return runs.state() != RunController::State::Idle; }
    // Computed rows whose summary has not been written.
    bool unsaved() const { return notSaved; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void buildActions();
    QLayout *buildFilters();
    QWidget *buildTable();
    void buildSkipped();
    void buildStatus();

    void chooseTable();
    void chooseSummary();
    void chooseFolder();
    void chooseDocument();
    void compute();
    // The choices' options over the table opened.
    engine::Options options() const;
    // Whether a run of `options` may begin; the status says why not.
    bool runnable(const engine::Options &options);
    // Whether the rows may be left: they are saved, or the user lets them
    // go, asked `question`, by the button `leave`.
    bool maybeSave(const QString &question, const QString &leave);
    void takeArrived();
    void computed(const engine::Result &result, const QStringList &failures);
    void saved(bool written, const QString &target, const engine::Result &result,
        const QStringList &failures);
    void offerRowYears();
    void offerRiskFilter();
    void showSelected();
    void explainSkip(QTreeWidgetItem *item);
    void setBusy(bool busy);

    // The table opened.
    QString path;
    QString sheet;

    bool notSaved = false; // computed rows whose summary was not saved
    bool savingSummary = false; // the save going writes the summary
    QString valueName;

    RunController runs;
    QTimer *poll;
    SummaryModel *model;
    SummaryFilter *filter;

    QAction *openAction, *saveAction, *saveFilesAction, *saveDocumentAction, *stopAction,
        *computeAction;
    ReadChoices *choices; // closed, as one, while a run goes
    QLineEdit *filterEdit;
    QLineEdit *titleEdit;
    QComboBox *classBox;
    QTableView *tableView;
    SeriesDetail *detail;
    QTreeWidget *skippedList;
    QLabel *statusText;
    QProgressBar *progressBar;
    QPushButton *stopButton;
};
