// SPDX-License-Identifier: MIT
#include "tableswindow.h"

#include "cells.h"
#include "document.h"
#include "saveformats.h"
#include "seriesdetail.h"
#include "tableinput.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

namespace {

// The first name that holds `word`, or the one at `fallback`.
int pick(const QStringList &names, const QString &word, int fallback)
{
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].contains(word, Qt::CaseInsensitive))
            return i;
    }
    return std::min<int>(fallback, int(names.size()) - 1);
}

// "строка 5, столбец 4" or "Лист1!D7": where a skipped series is, the cell
// to blame when there is one, without the file.
QString where(const table::Problem &p)
{
    if (!p.sheet.isEmpty())
        return table::place(QString(), p.sheet, p.line, p.column).mid(1);
    if (p.column < 0)
        return QObject::tr("строка %1").arg(p.line);
    return QObject::tr("строка %1, столбец %2").arg(p.line).arg(p.column + 1);
}

} // namespace

TablesWindow::TablesWindow(QWidget *parent)
    : QMainWindow(parent)
    , poll(new QTimer(this))
    , model(new SummaryModel(this))
    , filter(new SummaryFilter(model, this))
{
    setWindowTitle(tr("Эпидемическая тенденция: таблицы"));
    setAcceptDrops(true);
    buildActions();
    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(buildChoices());
    layout->addWidget(buildTable(), 1);
    setCentralWidget(central);
    buildSkipped();
    buildStatus();
    resize(1200, 860);
    resizeDocks({findChild<QDockWidget *>()}, {110}, Qt::Vertical);

    poll->setInterval(100);
    connect(poll, &QTimer::timeout, this, &TablesWindow::takeArrived);
    connect(&runs, &RunController::stateChanged, this,
        [this](RunController::State state) { setBusy(state != RunController::State::Idle); });
    connect(&runs, &RunController::computed, this, &TablesWindow::computed);
    connect(&runs, &RunController::saved, this, &TablesWindow::saved);
    setBusy(false);
}

TablesWindow::~TablesWindow() = default;

void TablesWindow::buildActions()
{
    QMenu *file = menuBar()->addMenu(tr("&Файл"));
    openAction = file->addAction(
        tr("&Открыть таблицу…"), QKeySequence::Open, this, &TablesWindow::chooseTable);
    saveAction = file->addAction(
        tr("&Сохранить сводку…"), QKeySequence::Save, this, &TablesWindow::chooseSummary);
    saveFilesAction = file->addAction(tr("Сохранить &отчёты и графики…"),
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this, &TablesWindow::chooseFolder);
    saveDocumentAction = file->addAction(tr("Сохранить &документ…"),
        QKeySequence(Qt::CTRL | Qt::Key_D), this, &TablesWindow::chooseDocument);
    file->addSeparator();
    computeAction
        = file->addAction(tr("&Пересчитать"), QKeySequence::Refresh, this, &TablesWindow::compute);
    stopAction = file->addAction(
        tr("О&становить"), QKeySequence(Qt::Key_Escape), this, [this] { runs.stop(); });
    file->addSeparator();
    file->addAction(tr("&Выход"), QKeySequence::Quit, this, &QWidget::close);
}

QWidget *TablesWindow::buildChoices()
{
    choices = new QWidget;
    auto *rows = new QVBoxLayout(choices);
    rows->setContentsMargins(0, 0, 0, 0);
    auto *row = new QHBoxLayout;
    rows->addLayout(row);
    rows->addLayout(buildReportChoices());
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
    auto *joinpointLabel = new QLabel(tr("&Точки перелома:"));
    joinpointLabel->setBuddy(joinpointBox);
    row->addWidget(joinpointLabel);
    row->addWidget(joinpointBox);
    row->addStretch(1);
    for (QComboBox *box : {layoutBox, casesBox, populationBox, perBox, joinpointBox})
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            if (!filling)
                compute();
        });
    connect(layoutBox, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling)
            fillChoices();
    });
    connect(ratesBox, &QCheckBox::toggled, this, [this] {
        if (!filling)
            compute();
    });
    return choices;
}

// The reporting year, its baseline and the bounds of its verdict.
QLayout *TablesWindow::buildReportChoices()
{
    auto *row = new QHBoxLayout;
    yearBox = new QSpinBox;
    yearBox->setRange(trend::MinYear - 1, trend::MaxYear);
    yearBox->setSpecialValueText(tr("последний год ряда"));
    yearBox->setValue(yearBox->minimum());
    baselineBox = new QCheckBox(tr("&база:"));
    baselineBox->setToolTip(tr("Без отметки база - все годы ряда до отчётного"));
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
    row->addStretch(1);

    recompute = new QTimer(this);
    recompute->setSingleShot(true);
    recompute->setInterval(600);
    connect(recompute, &QTimer::timeout, this, &TablesWindow::compute);
    for (QSpinBox *box : {yearBox, baselineFrom, baselineTo})
        connect(box, &QSpinBox::valueChanged, this, [this] {
            if (!filling)
                recompute->start();
        });
    connect(baselineBox, &QCheckBox::toggled, this, [this](bool narrowed) {
        baselineFrom->setEnabled(narrowed);
        baselineTo->setEnabled(narrowed);
        compute();
    });
    connect(expectedBox, &QComboBox::currentIndexChanged, this, &TablesWindow::compute);
    return row;
}

QWidget *TablesWindow::buildTable()
{
    auto *splitter = new QSplitter(Qt::Vertical);
    auto *top = new QWidget;
    auto *column = new QVBoxLayout(top);
    column->setContentsMargins(0, 0, 0, 0);
    auto *filters = new QHBoxLayout;
    filterEdit = new QLineEdit;
    filterEdit->setPlaceholderText(tr("Отбор по меткам (Ctrl+F)"));
    filterEdit->setClearButtonEnabled(true);
    classBox = new QComboBox;
    const std::pair<QString, RowFilter> kinds[] = {{tr("все тенденции"), std::monostate()},
        {tr("выраженные"), trend::TrendClass::Pronounced},
        {tr("умеренные"), trend::TrendClass::Moderate},
        {tr("стабильные"), trend::TrendClass::Stable},
        {tr("выше ожидаемого"), stats::Verdict::Above}, {tr("в пределах"), stats::Verdict::Within},
        {tr("ниже ожидаемого"), stats::Verdict::Below}};
    for (const auto &[name, kind] : kinds)
        classBox->addItem(name, QVariant::fromValue(kind));
    filters->addWidget(filterEdit, 1);
    filters->addWidget(classBox);
    column->addLayout(filters);
    auto *find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, filterEdit, [this] { filterEdit->setFocus(); });
    addAction(find);
    connect(filterEdit, &QLineEdit::textChanged, filter, &SummaryFilter::setText);
    connect(classBox, &QComboBox::currentIndexChanged, this,
        [this] { filter->setFilter(classBox->currentData().value<RowFilter>()); });

    tableView = new QTableView;
    tableView->setModel(filter);
    tableView->setSortingEnabled(true);
    tableView->sortByColumn(-1, Qt::AscendingOrder);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableView->verticalHeader()->hide();
    tableView->setWordWrap(false);
    tableView->horizontalHeader()->setResizeContentsPrecision(200);
    tableView->horizontalHeader()->setMaximumSectionSize(180);
    column->addWidget(tableView);
    connect(tableView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        &TablesWindow::showSelected);
    splitter->addWidget(top);
    splitter->addWidget(detail = new SeriesDetail);
    splitter->setSizes({300, 420});
    return splitter;
}

void TablesWindow::buildSkipped()
{
    auto *dock = new QDockWidget(tr("Пропущенные ряды"), this);
    dock->setObjectName(QStringLiteral("skipped"));
    skippedList = new QTreeWidget;
    skippedList->setHeaderLabels({tr("Где"), tr("Ряд"), tr("Причина")});
    skippedList->setRootIsDecorated(false);
    skippedList->setUniformRowHeights(true);
    dock->setWidget(skippedList);
    addDockWidget(Qt::BottomDockWidgetArea, dock);
    QAction *toggle = dock->toggleViewAction();
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    menuBar()->addMenu(tr("&Вид"))->addAction(toggle);
    connect(skippedList, &QTreeWidget::itemActivated, this, &TablesWindow::explainSkip);
}

void TablesWindow::buildStatus()
{
    statusText = new QLabel;
    progressBar = new QProgressBar;
    progressBar->setMaximumWidth(240);
    progressBar->setRange(0, 1000);
    stopButton = new QPushButton(tr("Остановить"));
    connect(stopButton, &QPushButton::clicked, this, [this] { runs.stop(); });
    statusBar()->addWidget(statusText, 1);
    statusBar()->addPermanentWidget(progressBar);
    statusBar()->addPermanentWidget(stopButton);
}

void TablesWindow::setBusy(bool busy)
{
    progressBar->setVisible(busy);
    stopButton->setVisible(busy);
    stopAction->setEnabled(busy);
    saveAction->setEnabled(!busy && model->rowCount() > 0);
    saveFilesAction->setEnabled(!busy && model->rowCount() > 0);
    saveDocumentAction->setEnabled(!busy && model->rowCount() > 0);
    computeAction->setEnabled(!busy && !path.isEmpty());
    openAction->setEnabled(!busy);
    choices->setEnabled(!busy && !path.isEmpty());
    if (busy)
        poll->start();
    else
        poll->stop();
}

void TablesWindow::chooseTable()
{
    QFileDialog dialog(this, tr("Открыть таблицу"));
    dialog.setNameFilters({tr("Таблицы (*.xlsx *.xlsm *.csv *.tsv *.txt)"), tr("Все файлы (*)")});
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted)
        openTable(dialog.selectedFiles().value(0));
}

bool TablesWindow::openTable(const QString &file)
{
    QString chosen;
    const QStringList sheets = table::sheetNames(file);
    if (sheets.size() > 1) {
        bool ok = false;
        chosen = QInputDialog::getItem(this, tr("Лист книги"),
            tr("В книге «%1» несколько листов. Какой открыть?").arg(QFileInfo(file).fileName()),
            sheets, 0, false, &ok);
        if (!ok)
            return false;
    }
    table::Problem why;
    const auto read = table::readHeader({file, chosen, table::Encoding::Detect}, 0, &why);
    if (!read) {
        QMessageBox::warning(this, tr("Таблица не открыта"), why.message());
        return false;
    }
    path = file;
    sheet = chosen;
    header = *read;
    setWindowTitle(tr("%1 — Эпидемическая тенденция: таблицы").arg(QFileInfo(file).fileName()));
    fillChoices();
    compute();
    return true;
}

// The names the rate choices offer: blocks of years in a wide table, the
// columns of a long one.
void TablesWindow::fillChoices()
{
    filling = true;
    const QStringList names = layoutBox->currentIndex() == 0 ? header.blocks : header.cells;
    for (QComboBox *box : {casesBox, populationBox}) {
        box->clear();
        box->addItems(names);
    }
    casesBox->setCurrentIndex(pick(names, tr("случа"), 0));
    populationBox->setCurrentIndex(pick(names, tr("насел"), 1));
    ratesBox->setEnabled(names.size() >= 2);
    // A wide table of counts has blocks of years and no year of its own:
    // read as it is, it would only fail.
    const bool counts = layoutBox->currentIndex() == 0 && names.size() >= 2
        && std::none_of(header.cells.begin(), header.cells.end(),
            [](const QString &cell) { return table::readYear(cell.toUtf8()).has_value(); });
    ratesBox->setChecked(counts);
    // The baseline offered: the header's years but the last.
    std::vector<qint32> years;
    for (const QString &cell : header.cells) {
        if (const auto year = table::readYear(cell.toUtf8()))
            years.push_back(*year);
    }
    if (years.size() >= 2) {
        baselineFrom->setValue(*std::min_element(years.begin(), years.end()));
        baselineTo->setValue(*std::max_element(years.begin(), years.end()) - 1);
    }
    filling = false;
}

engine::Options TablesWindow::options() const
{
    engine::Options o;
    o.input = path;
    o.sheet = sheet;
    o.longLayout = layoutBox->currentIndex() == 1;
    if (ratesBox->isChecked()) {
        o.rates.cases = casesBox->currentText();
        o.rates.population = populationBox->currentText();
        o.rates.per = perBox->currentData().toDouble();
    }
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
    o.format = summary::SummaryFormat::None;
    return o;
}

void TablesWindow::compute()
{
    if (path.isEmpty() || busy())
        return;
    const engine::Options o = options();
    if (const auto why = engine::validate(o)) {
        statusText->setText(ratesBox->isChecked() && o.rates.cases == o.rates.population
                ? tr("Выберите разные столбцы случаев и населения.")
                : *why);
        return;
    }
    model->reset({});
    skippedList->clear();
    detail->clear();
    notSaved = false;
    runs.compute(o);
    statusText->setText(tr("Расчёт…"));
}

void TablesWindow::takeArrived()
{
    Runner::Arrived arrived = runs.take();
    if (arrived.begun) {
        model->reset(arrived.layout);
        valueName = arrived.valueName;
        tableView->resizeColumnsToContents(); // the titles, until rows come
    }
    const bool first = model->rowCount() == 0 && !arrived.rows.empty();
    model->append(arrived.rows);
    if (first)
        tableView->resizeColumnsToContents();
    for (const table::Problem &skip : arrived.skipped)
        new QTreeWidgetItem(skippedList, {where(skip), table::echoed(skip.label), skip.reason});
    if (!arrived.notes.isEmpty())
        statusBar()->showMessage(arrived.notes.join(u' '), 10000);
    if (!busy())
        return;
    const engine::Progress &p = arrived.progress;
    progressBar->setValue(p.done >= 0 ? int(p.done * 1000) : 0);
    statusText->setText(runs.progressText(p));
}

// The status line after a run: what it computed, and whether it was stopped.
static QString ending(const engine::Result &result)
{
    const QString text = QObject::tr("Рассчитано рядов: %1, пропущено: %2.")
                             .arg(result.computed)
                             .arg(result.skipped);
    return result.stopped ? QObject::tr("Остановлено. %1").arg(text) : text;
}

void TablesWindow::computed(const engine::Result &result, const QStringList &failures)
{
    takeArrived();
    statusText->setText(ending(result));
    notSaved = !result.stopped && model->rowCount() > 0;
    if (!failures.isEmpty())
        QMessageBox::warning(this, tr("Таблица прочитана не вся"), failures.join(u'\n'));
    tableView->setFocus();
    if (model->rowCount() > 0 && !tableView->currentIndex().isValid())
        tableView->selectRow(0);
}

void TablesWindow::saved(
    bool written, const QString &target, const engine::Result &result, const QStringList &failures)
{
    takeArrived();
    statusText->setText(ending(result));
    if (written && std::exchange(savingSummary, false))
        notSaved = false;
    if (written)
        statusText->setText(tr("Записано: %1").arg(QDir::toNativeSeparators(target)));
    else if (!failures.isEmpty() || result.failed)
        QMessageBox::warning(this, tr("Не записано"),
            tr("Не всё записано в «%1»:\n%2")
                .arg(QDir::toNativeSeparators(target), failures.join(u'\n')));
}

void TablesWindow::showSelected()
{
    const QModelIndex current = tableView->currentIndex();
    if (current.isValid())
        detail->display(filter->series(current.row()), options().analysis, valueName);
    else
        detail->clear();
}

void TablesWindow::explainSkip(QTreeWidgetItem *item)
{
    QMessageBox::information(this, tr("Что исправить"),
        tr("%1, ряд «%2»:\n%3.\n\nИсправьте это место в таблице и откройте её снова.")
            .arg(item->text(0), item->text(1), item->text(2)));
}

void TablesWindow::chooseSummary()
{
    QFileDialog dialog(this, tr("Сохранить сводку"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = summaryFilters();
    dialog.setNameFilters(filters);
    dialog.selectFile(QFileInfo(path).completeBaseName() + tr("-сводка") + ".xlsx");
    if (dialog.exec() != QDialog::Accepted)
        return;
    const SummaryFile file = summaryFile(
        dialog.selectedFiles().value(0), int(filters.indexOf(dialog.selectedNameFilter())));
    saveSummary(file.path, file.format);
}

bool TablesWindow::saveSummary(const QString &file, summary::SummaryFormat format)
{
    engine::Options o = options();
    o.output = file;
    o.format = format;
    savingSummary = runs.save(o, file);
    return savingSummary;
}

bool TablesWindow::saveFiles(const QString &folder, summary::ChartFormat format)
{
    engine::Options o = options();
    o.reportsDir = o.chartsDir = folder;
    o.chartFormat = format;
    return runs.save(o, folder);
}

void TablesWindow::chooseDocument()
{
    if (filter->rowCount() > summary::MaxDocumentSeries) {
        QMessageBox::warning(this, tr("Слишком много рядов"),
            tr("В документ входит не больше %1 рядов, а показано %2. Отберите ряды по меткам "
               "или по тенденции либо разделите таблицу.")
                .arg(summary::MaxDocumentSeries)
                .arg(filter->rowCount()));
        return;
    }
    QFileDialog dialog(this, tr("Сохранить документ"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({tr("Документ OpenDocument (*.odt)"), tr("PDF (*.pdf)")});
    dialog.selectFile(QFileInfo(path).completeBaseName() + tr("-доклад") + ".odt");
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString file = dialog.selectedFiles().value(0);
    if (!summary::documentFormat(file))
        file += dialog.selectedNameFilter().contains(QLatin1String("pdf")) ? ".pdf" : ".odt";
    saveDocument(file);
}

bool TablesWindow::saveDocument(const QString &file)
{
    engine::Options o = options();
    o.document = file;
    for (int row = 0; row < filter->rowCount(); ++row)
        o.documentLines.push_back(filter->line(row));
    return runs.save(o, file);
}

void TablesWindow::chooseFolder()
{
    const QString folder
        = QFileDialog::getExistingDirectory(this, tr("Папка для отчётов и графиков"));
    if (folder.isEmpty())
        return;
    QMessageBox ask(QMessageBox::Question, tr("Формат графиков"),
        tr("В каком формате записать графики?"), QMessageBox::NoButton, this);
    QPushButton *svg = ask.addButton(tr("SVG (для печати)"), QMessageBox::AcceptRole);
    QPushButton *png = ask.addButton(tr("PNG (картинка)"), QMessageBox::AcceptRole);
    ask.addButton(QMessageBox::Cancel);
    ask.setDefaultButton(svg);
    ask.exec();
    if (ask.clickedButton() != svg && ask.clickedButton() != png)
        return;
    saveFiles(
        folder, ask.clickedButton() == svg ? summary::ChartFormat::Svg : summary::ChartFormat::Png);
}

void TablesWindow::closeEvent(QCloseEvent *event)
{
    if (notSaved || busy()) {
        QMessageBox question(QMessageBox::Warning, tr("Сводка не сохранена"),
            tr("Результаты расчёта не сохранены. Закрыть окно без сохранения сводки?"),
            QMessageBox::NoButton, this);
        QPushButton *close = question.addButton(tr("&Закрыть"), QMessageBox::DestructiveRole);
        QPushButton *cancel = question.addButton(tr("&Отмена"), QMessageBox::RejectRole);
        question.setDefaultButton(cancel);
        question.exec();
        if (question.clickedButton() != close) {
            event->ignore();
            return;
        }
    }
    runs.stop();
    event->accept();
}

void TablesWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().value(0).isLocalFile())
        event->acceptProposedAction();
}

void TablesWindow::dropEvent(QDropEvent *event)
{
    const QString file = event->mimeData()->urls().value(0).toLocalFile();
    if (!file.isEmpty() && !busy()) {
        event->acceptProposedAction();
        openTable(file);
    }
}
