// SPDX-License-Identifier: MIT
// vantorel-batch: the window's trend calculation over a whole table.
#include "run.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <malloc.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Every option once: its names, the Russian description that the help
// shows, and its value's name and default.
struct OptionEntry {
    QStringList names;
    const char *description;
    const char *valueName = nullptr;
    const char *defaultValue = nullptr;
};

const std::vector<OptionEntry> &optionTable()
{
    static const std::vector<OptionEntry> table {
        {{"o", "output"}, "сводка в файл, а не в стандартный вывод", "ФАЙЛ"},
        {{"format"}, "формат сводки (по умолчанию csv)", "csv|json|xlsx", "csv"},
        {{"excel-csv"}, "сводка CSV для русского Excel (BOM, «;», запятая)"},
        {{"long"}, "длинная таблица"},
        {{"delimiter"}, ", ; или tab (по умолчанию определяется по заголовку)", "РАЗДЕЛИТЕЛЬ"},
        {{"encoding"}, "кодировка (по умолчанию UTF-8, а если нет - CP1251)", "utf-8|cp1251"},
        {{"cases"}, "заболеваемость из числа случаев: столбец случаев", "СТОЛБЕЦ"},
        {{"population"}, "... и столбец населения", "СТОЛБЕЦ"},
        {{"per"}, "на сколько населения (по умолчанию 100000)", "N", "100000"},
        {{"sheet"}, "лист книги Excel (по умолчанию первый); вход - книга .xlsx", "ЛИСТ"},
        {{"reports"}, "файл отчёта для каждого ряда, как сохраняет окно", "ПАПКА"},
        {{"charts"}, "график для каждого ряда", "ПАПКА"},
        {{"chart-format"}, "формат графиков (по умолчанию svg)", "svg|png", "svg"},
        {{"j", "jobs"}, "потоков расчёта (по умолчанию по числу ядер)", "N", "0"},
        {{"q", "quiet"}, "без строки хода работы"},
        {{"h", "help"}, "эта справка"},
        {{"v", "version"}, "версия программы"},
    };
    return table;
}

QString helpText(const QList<QCommandLineOption> &options)
{
    QString text = QStringLiteral(
        "Использование: vantorel-batch [параметры] ТАБЛИЦА\n"
        "\n"
        "Рассчитывает многолетнюю линейную эпидемическую тенденцию для каждого ряда\n"
        "таблицы CSV или TSV (UTF-8 или CP1251) или листа книги Excel (.xlsx) так же,\n"
        "как окно Vantorel, и выводит сводную таблицу. ТАБЛИЦА - имя файла или \"-\"\n"
        "для стандартного ввода.\n"
        "\n"
        "Широкая таблица (по умолчанию): первые столбцы - метки (болезнь, район...),\n"
        "остальные - подряд идущие годы; один ряд в строке.\n"
        "Длинная таблица (--long): столбцы меток, затем год и значение; строки в\n"
        "любом порядке.\n"
        "Из числа случаев (--cases СЛУЧАИ --population НАСЕЛЕНИЕ): в длинной таблице\n"
        "два последних столбца с этими именами; в широкой - два блока лет с\n"
        "заголовками \"СЛУЧАИ 2015\"... и \"НАСЕЛЕНИЕ 2015\"....\n"
        "\n"
        "Параметры:\n");
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        QString left = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QLatin1Char(' ') + option.valueName();
        text += QStringLiteral("  ") + left.leftJustified(24) + QLatin1Char(' ')
            + option.description() + QLatin1Char('\n');
    }
    return text
        + QStringLiteral("\n"
                         "Код завершения: 0 - рассчитаны все ряды, 1 - часть рядов пропущена "
                         "(причины\n"
                         "в стандартном потоке ошибок), 2 - ошибка параметров, чтения или "
                         "записи.\n");
}

// The value an option's word stands for, if it is one of `choices`.
template<typename T>
std::optional<T> choose(
    const QString &word, std::initializer_list<std::pair<const char *, T>> choices)
{
    for (const auto &[name, value] : choices) {
        if (word == QLatin1String(name))
            return value;
    }
    return std::nullopt;
}

int usage(const QString &message)
{
    QTextStream err(stderr);
    err << "vantorel-batch: " << message << "\n"
        << QObject::tr("Подробнее: vantorel-batch --help") << Qt::endl;
    return batch::Failure;
}

} // namespace

// The options besides --help and --version; a message for the user when
// they make no sense.
std::optional<QString> readOptions(const QCommandLineParser &parser, batch::Options &o)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return positional.isEmpty() ? QObject::tr("не указана таблица")
                                    : QObject::tr("указано больше одной таблицы");
    o.input = positional.front();
    o.output = parser.value(QStringLiteral("output"));
    o.longLayout = parser.isSet(QStringLiteral("long"));
    o.reportsDir = parser.value(QStringLiteral("reports"));
    o.chartsDir = parser.value(QStringLiteral("charts"));
    bool ok = false;
    o.sheet = parser.value(QStringLiteral("sheet"));
    if (parser.isSet(QStringLiteral("sheet")) && o.sheet.isEmpty())
        return QObject::tr("--sheet: не указано имя листа");

    const QString f = parser.value(QStringLiteral("format"));
    const auto summaryFormat = choose<batch::SummaryFormat>(f,
        {{"csv", batch::SummaryFormat::Csv}, {"json", batch::SummaryFormat::Json},
            {"xlsx", batch::SummaryFormat::Xlsx}});
    if (!summaryFormat)
        return QObject::tr("неизвестный формат сводки «%1» (csv, json или xlsx)").arg(f);
    o.format = *summaryFormat;
    if (o.format == batch::SummaryFormat::Xlsx && o.output.isEmpty())
        return QObject::tr("сводке xlsx нужен файл: -o ФАЙЛ.xlsx");
    if (parser.isSet(QStringLiteral("excel-csv"))) {
        if (o.format != batch::SummaryFormat::Csv)
            return QObject::tr("--excel-csv и --format %1 несовместимы").arg(f);
        o.format = batch::SummaryFormat::ExcelCsv;
    }

    if (parser.isSet(QStringLiteral("delimiter"))) {
        const QString d = parser.value(QStringLiteral("delimiter"));
        const auto c = choose<char>(d,
            {{",", ','}, {"comma", ','}, {";", ';'}, {"semicolon", ';'}, {"tab", '\t'},
                {"\\t", '\t'}, {"\t", '\t'}});
        if (!c)
            return QObject::tr("неизвестный разделитель «%1» (, ; или tab)").arg(d);
        o.delimiter = *c;
    }

    if (parser.isSet(QStringLiteral("encoding"))) {
        const QString e = parser.value(QStringLiteral("encoding")).toLower();
        const auto encoding = choose<batch::Encoding>(e,
            {{"utf-8", batch::Encoding::Utf8}, {"utf8", batch::Encoding::Utf8},
                {"cp1251", batch::Encoding::Cp1251}, {"windows-1251", batch::Encoding::Cp1251}});
        if (!encoding)
            return QObject::tr("неизвестная кодировка «%1» (utf-8 или cp1251)").arg(e);
        o.encoding = *encoding;
    }

    o.rates.cases = parser.value(QStringLiteral("cases")).trimmed();
    o.rates.population = parser.value(QStringLiteral("population")).trimmed();
    if (o.rates.cases.isEmpty() != o.rates.population.isEmpty())
        return QObject::tr("--cases и --population задаются вместе");
    if (o.rates.on() && o.rates.cases == o.rates.population)
        return QObject::tr("у --cases и --population должны быть разные столбцы");
    const QString per = parser.value(QStringLiteral("per"));
    o.rates.per = per.toDouble(&ok);
    if (!ok || !(o.rates.per > 0) || !std::isfinite(o.rates.per))
        return QObject::tr("--per: нужно положительное число, а не «%1»").arg(per);
    if (parser.isSet(QStringLiteral("per")) && !o.rates.on())
        return QObject::tr("--per - только вместе с --cases и --population");

    const QString cf = parser.value(QStringLiteral("chart-format"));
    const auto chart = choose<batch::ChartFormat>(
        cf, {{"svg", batch::ChartFormat::Svg}, {"png", batch::ChartFormat::Png}});
    if (!chart)
        return QObject::tr("неизвестный формат графиков «%1» (svg или png)").arg(cf);
    o.chartFormat = *chart;

    const QString jobs = parser.value(QStringLiteral("jobs"));
    o.jobs = jobs.toInt(&ok);
    if (!ok || o.jobs < 0 || o.jobs > 1024)
        return QObject::tr("число потоков «%1» не от 0 до 1024").arg(jobs);

    return std::nullopt;
}

// The toolkit's own notices (a missing runtime folder and the like) would
// mix with the reasons for skipped series; only its errors are shown.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantorel-batch: %s\n", qPrintable(message));
}

int main(int argc, char **argv)
{
    // Each batch's buffers are a few megabytes. Kept in the heap once
    // freed, they are reused by the next batch, instead of being mapped
    // afresh, page by page, for every one.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    qInstallMessageHandler(quietMessages);
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QList<QCommandLineOption> options;
    for (const OptionEntry &entry : optionTable()) {
        options.append(QCommandLineOption(entry.names, QString::fromUtf8(entry.description),
            QString::fromUtf8(entry.valueName ? entry.valueName : ""),
            QString::fromUtf8(entry.defaultValue ? entry.defaultValue : "")));
    }
    parser.addOptions(options);
    parser.addPositionalArgument(QStringLiteral("table"), QString());
    if (!parser.parse(args))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << helpText(options);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        QTextStream(stdout) << "vantorel-batch " VANTOREL_VERSION "\n";
        return 0;
    }

    batch::Options o;
    if (const auto error = readOptions(parser, o))
        return usage(*error);
    o.progress = isatty(STDERR_FILENO) && !parser.isSet(QStringLiteral("quiet"));

    // Charts need fonts, and so a GUI application object; no window is
    // ever shown, so no display is needed.
    std::unique_ptr<QCoreApplication> app;
    if (!o.chartsDir.isEmpty()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }

    QTextStream err(stderr);
    return batch::run(o, err);
}
