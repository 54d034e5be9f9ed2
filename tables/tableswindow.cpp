// SPDX-License-Identifier: MIT
#include "tables/tableswindow.h"

#include "app/askleave.h"

#include "summary/document.h"
#include "table/tableinput.h"
#include "tables/readchoices.h"
#include "tables/saveformats.h"
#include "tables/seriesdetail.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
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
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

namespace {

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
    , choices(new ReadChoices)
{
    setWindowTitle(tr("Эпидемическая тенденция: таблицы"));
    setAcceptDrops(true);
    buildActions();
    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(choices);
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
    connect(choices, &ReadChoices::changed, this, &TablesWindow::compute);
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

// The filters above the table: a label's part, and a class, a verdict or
// the territories of risk.
QLayout *TablesWindow::buildFilters()
{
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
    // The document holds the rows shown: its title is set beside them.
    titleEdit = new QLineEdit;
    titleEdit->setPlaceholderText(summary::defaultDocumentTitle());
    titleEdit->setToolTip(tr("Заглавие документа (Ctrl+D)"));
    filters->addWidget(filterEdit, 1);
    filters->addWidget(classBox);
    filters->addWidget(new QLabel(tr("Заглавие:")));
    filters->addWidget(titleEdit, 1);
    auto *find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, filterEdit, [this] { filterEdit->setFocus(); });
    addAction(find);
    connect(filterEdit, &QLineEdit::textChanged, filter, &SummaryFilter::setText);
    connect(classBox, &QComboBox::currentIndexChanged, this,
        [this] { filter->setFilter(classBox->currentData().value<RowFilter>()); });
    return filters;
}

QWidget *TablesWindow::buildTable()
{
    auto *splitter = new QSplitter(Qt::Vertical);
    auto *top = new QWidget;
    auto *column = new QVBoxLayout(top);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(buildFilters());
    tableView = new QTableView;
    tableView->setObjectName(QStringLiteral("rows")); // not the tab «Территории»'s table
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
    if (busy()
        || !maybeSave(
            tr("Результаты расчёта не сохранены. Открыть другую таблицу без сохранения сводки?"),
            tr("&Открыть")))
        return false;
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
    setWindowTitle(tr("%1 — Эпидемическая тенденция: таблицы").arg(QFileInfo(file).fileName()));
    choices->fillChoices(*read);
    compute();
    return true;
}

engine::Options TablesWindow::options() const
{
    engine::Options o = choices->options();
    o.input = path;
    o.sheet = sheet;
    return o;
}

bool TablesWindow::runnable(const engine::Options &o)
{
    const auto why = ReadChoices::problem(o);
    if (why)
        statusText->setText(*why);
    return !why;
}

void TablesWindow::compute()
{
    if (path.isEmpty() || busy())
        return;
    const engine::Options o = options();
    if (!runnable(o))
        return;
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
        offerRiskFilter();
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
    offerRowYears();
}

// A long table's years are in its rows, not in its header.
void TablesWindow::offerRowYears()
{
    const int firstAt = model->column(summary::ColumnId::FirstYear);
    const int lastAt = model->column(summary::ColumnId::LastYear);
    double first = trend::MaxYear, last = trend::MinYear;
    for (int row = 0; row < model->rowCount(); ++row) {
        first = std::min(first, model->number(row, firstAt));
        last = std::max(last, model->number(row, lastAt));
    }
    choices->offerYears(int(first), int(last));
}

// The territories of risk are offered by a run that compares territories
// only: without one the entry could show nothing, and a person looking for
// them is sent to the choice of the territory's column by the tab
// «Территории». The rows shown are the document's, so it follows.
void TablesWindow::offerRiskFilter()
{
    const QVariant risk = QVariant::fromValue(RowFilter(RiskTerritories()));
    const int at = classBox->findData(risk);
    if (model->territories() && at < 0)
        classBox->addItem(tr("территории риска"), risk);
    if (model->territories() || at < 0)
        return;
    if (classBox->currentIndex() == at)
        classBox->setCurrentIndex(0);
    classBox->removeItem(at);
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
    if (current.isValid()) {
        detail->display(filter->series(current.row()), choices->options().analysis, valueName);
        detail->displayGroup(*model, filter->mapToSource(current).row());
    } else
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
    savingSummary = runnable(o) && runs.save(o, file);
    return savingSummary;
}

bool TablesWindow::saveFiles(const QString &folder, summary::ChartFormat format)
{
    engine::Options o = options();
    o.reportsDir = o.chartsDir = folder;
    o.chartFormat = format;
    return runnable(o) && runs.save(o, folder);
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
    o.documentTitle = titleEdit->text().simplified();
    for (int row = 0; row < filter->rowCount(); ++row)
        o.documentLines.push_back(filter->line(row));
    return runnable(o) && runs.save(o, file);
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

bool TablesWindow::maybeSave(const QString &text, const QString &leave)
{
    return (!notSaved && !busy())
        || dialogs::askLeave(this, tr("Сводка не сохранена"), text, leave);
}

void TablesWindow::closeEvent(QCloseEvent *event)
{
    if (!maybeSave(tr("Результаты расчёта не сохранены. Закрыть окно без сохранения сводки?"),
            tr("&Закрыть"))) {
        event->ignore();
        return;
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
