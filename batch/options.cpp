// SPDX-License-Identifier: MIT
#include "batch/options.h"

#include "version.h"

#include <QCommandLineParser>
#include <QObject>
#include <QTextStream>

#include <cmath>
#include <initializer_list>
#include <tuple>
#include <utility>
#include <vector>

namespace batch {

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
        {{"encoding"}, "кодировка (по умолчанию UTF-8, а если нет — CP1251)", "utf-8|cp1251"},
        {{"cases"}, "заболеваемость из числа случаев: столбец случаев", "СТОЛБЕЦ"},
        {{"population"}, "... и столбец населения", "СТОЛБЕЦ"},
        {{"per"}, "на сколько населения, от 1 до 10^9 (по умолчанию 100000)", "N", "100000"},
        {{"sheet"}, "лист книги Excel (по умолчанию первый); вход — книга .xlsx", "ЛИСТ"},
        {{"model"},
            "модель APC и точек перелома: auto (по умолчанию: quasipoisson с --cases, "
            "иначе loglinear), loglinear, quasipoisson",
            "МОДЕЛЬ", "auto"},
        {{"joinpoints"}, "число точек перелома: wbic (по умолчанию), bic, bic3, permutation, off",
            "СПОСОБ", "wbic"},
        {{"max-joinpoints"}, "не больше N точек перелома (по умолчанию по длине ряда)", "N"},
        {{"permutations"}, "перестановок в тесте (по умолчанию 4499)", "N", "4499"},
        {{"seed"}, "начало случайных перестановок (по умолчанию 20000335)", "N", "20000335"},
        {{"segments"}, "таблица отрезков между точками перелома в файл", "ФАЙЛ"},
        {{"year"}, "отчётный год (по умолчанию последний год каждого ряда)", "ГОД"},
        {{"baseline"}, "годы базы для СМУ и ожидаемого уровня (по умолчанию все до отчётного)",
            "A-B"},
        {{"expected-by"},
            "границы ожидаемого уровня: normative (по умолчанию), prediction, poisson, "
            "quasipoisson",
            "СПОСОБ", "normative"},
        {{"territory"},
            "столбец меток с территорией: каждая территория сравнивается с суммой по "
            "территориям своей группы",
            "СТОЛБЕЦ"},
        {{"document"},
            "глава годового отчёта: таблица, график и текст каждого ряда (.odt или .pdf)", "ФАЙЛ"},
        {{"title"}, "заглавие главы (по умолчанию «Многолетняя динамика заболеваемости»)", "ТЕКСТ"},
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
        "как окно Vantorel, и выводит сводную таблицу. ТАБЛИЦА — имя файла или \"-\"\n"
        "для стандартного ввода.\n"
        "\n"
        "Широкая таблица (по умолчанию): первые столбцы — метки (болезнь, район...),\n"
        "остальные — подряд идущие годы; один ряд в строке.\n"
        "Длинная таблица (--long): столбцы меток, затем год и значение; строки в\n"
        "любом порядке.\n"
        "Из числа случаев (--cases СЛУЧАИ --population НАСЕЛЕНИЕ): в длинной таблице\n"
        "два последних столбца с этими именами; в широкой — два блока лет с\n"
        "заголовками \"СЛУЧАИ 2015\"... и \"НАСЕЛЕНИЕ 2015\"....\n"
        "\n"
        "Отчётный год (--year): показатель года сравнивается с прошлым годом, со\n"
        "среднемноголетним уровнем (СМУ) лет базы и с ожидаемым уровнем — тенденцией\n"
        "базы, продолженной до отчётного года, как окно продолжает её для прогноза.\n"
        "Границы ожидаемого: normative — средние положительные и отрицательные\n"
        "отклонения базы от её тенденции; prediction — 95% интервал прогноза МНК;\n"
        "poisson — точный 95% ДИ показателя по числу случаев (только с --cases).\n"
        "\n"
        "Территории (--territory СТОЛБЕЦ): остальные метки задают группу (болезнь);\n"
        "в каждой группе из двух территорий и более первой идёт строка «Всего по\n"
        "территориям» (случаи и население сложены по годам) или строка итога таблицы\n"
        "(«Всего», «Итого», «По области»...). Каждая территория в отчётном году:\n"
        "отношение показателя к показателю по территориям, SIR с точным 95% ДИ, класс\n"
        "на воронке (95% и 99,8%), место по показателю, территория риска. С --charts\n"
        "для каждой группы ещё и воронка (funnel_ГРУППА.svg), в документе — раздел\n"
        "«Территории».\n"
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
                         "Код завершения: 0 — рассчитаны все ряды, 1 — часть рядов пропущена "
                         "(причины\n"
                         "в стандартном потоке ошибок), 2 — ошибка параметров, чтения или "
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

using Read = std::optional<QString>;
const auto key = [](const char *name) { return QString::fromLatin1(name); };

// The table and where the outputs go.
Read readPlaces(const QCommandLineParser &parser, engine::Options &o)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return positional.isEmpty() ? QObject::tr("не указана таблица")
                                    : QObject::tr("указано больше одной таблицы");
    o.input = positional.front();
    // An empty name would write nothing, or write elsewhere, without a word.
    for (const auto &[name, shown, folder] : {std::tuple("output", "-o", false),
             {"segments", "--segments", false}, {"document", "--document", false},
             {"reports", "--reports", true}, {"charts", "--charts", true}}) {
        if (parser.isSet(key(name)) && parser.value(key(name)).isEmpty())
            return (folder ? QObject::tr("%1: не указана папка")
                           : QObject::tr("%1: не указано имя файла"))
                .arg(QLatin1String(shown));
    }
    o.output = parser.value(key("output"));
    o.longLayout = parser.isSet(key("long"));
    o.reportsDir = parser.value(key("reports"));
    o.chartsDir = parser.value(key("charts"));
    o.document = parser.value(key("document"));
    o.territory = parser.value(key("territory")).trimmed();
    if (parser.isSet(key("territory")) && o.territory.isEmpty())
        return QObject::tr("--territory: нужно имя столбца меток, например «Район»");
    o.documentTitle = parser.value(key("title")).simplified();
    if (parser.isSet(key("title")) && o.document.isEmpty())
        return QObject::tr("--title: заглавие есть только у документа (--document)");
    o.sheet = parser.value(key("sheet"));
    if (parser.isSet(key("sheet")) && o.sheet.isEmpty())
        return QObject::tr("--sheet: не указано имя листа");
    return std::nullopt;
}

Read readFormat(const QCommandLineParser &parser, engine::Options &o)
{
    const QString f = parser.value(key("format"));
    const auto summaryFormat = choose<summary::SummaryFormat>(f,
        {{"csv", summary::SummaryFormat::Csv}, {"json", summary::SummaryFormat::Json},
            {"xlsx", summary::SummaryFormat::Xlsx}});
    if (!summaryFormat)
        return QObject::tr("неизвестный формат сводки «%1» (csv, json или xlsx)").arg(f);
    o.format = *summaryFormat;
    if (parser.isSet(key("excel-csv"))) {
        if (o.format != summary::SummaryFormat::Csv)
            return QObject::tr("--excel-csv и --format %1 несовместимы").arg(f);
        o.format = summary::SummaryFormat::ExcelCsv;
    }
    return std::nullopt;
}

// How the table's text is read.
Read readText(const QCommandLineParser &parser, engine::Options &o)
{
    if (parser.isSet(key("delimiter"))) {
        const QString d = parser.value(key("delimiter"));
        const auto c = choose<char>(d,
            {{",", ','}, {"comma", ','}, {";", ';'}, {"semicolon", ';'}, {"tab", '\t'},
                {"\\t", '\t'}, {"\t", '\t'}});
        if (!c)
            return QObject::tr("неизвестный разделитель «%1» (, ; или tab)").arg(d);
        o.delimiter = *c;
    }
    if (parser.isSet(key("encoding"))) {
        const QString e = parser.value(key("encoding")).toLower();
        const auto encoding = choose<table::Encoding>(e,
            {{"utf-8", table::Encoding::Utf8}, {"utf8", table::Encoding::Utf8},
                {"cp1251", table::Encoding::Cp1251}, {"windows-1251", table::Encoding::Cp1251}});
        if (!encoding)
            return QObject::tr("неизвестная кодировка «%1» (utf-8 или cp1251)").arg(e);
        o.encoding = *encoding;
    }
    return std::nullopt;
}

Read readRates(const QCommandLineParser &parser, engine::Options &o)
{
    o.rates.cases = parser.value(key("cases")).trimmed();
    o.rates.population = parser.value(key("population")).trimmed();
    const QString per = parser.value(key("per"));
    bool ok = false;
    o.rates.per = per.toDouble(&ok);
    if (!ok)
        return QObject::tr("--per: нужно число от 1 до 1000000000, а не «%1»").arg(per);
    if (parser.isSet(key("per")) && !o.rates.on())
        return QObject::tr("--per — только вместе с --cases и --population");
    return std::nullopt;
}

// The trend model; joinpoint regression: the method, its bounds, and the
// segments table.
Read readJoinpoints(const QCommandLineParser &parser, engine::Options &o)
{
    const QString model = parser.value(key("model"));
    const auto chosen = choose<analysis::TrendModel>(model,
        {{"auto", analysis::TrendModel::Auto}, {"loglinear", analysis::TrendModel::LogLinear},
            {"quasipoisson", analysis::TrendModel::QuasiPoisson}});
    if (!chosen)
        return QObject::tr("неизвестная модель «%1» (auto, loglinear или quasipoisson)").arg(model);
    o.analysis.model = *chosen;
    const QString m = parser.value(key("joinpoints"));
    const auto method = choose<int>(m,
        {{"wbic", int(stats::JoinpointMethod::Wbic)}, {"bic", int(stats::JoinpointMethod::Bic)},
            {"bic3", int(stats::JoinpointMethod::Bic3)},
            {"permutation", int(stats::JoinpointMethod::Permutation)}, {"off", -1}});
    if (!method)
        return QObject::tr("неизвестный способ «%1» (wbic, bic, bic3, permutation или off)").arg(m);
    o.segments = parser.value(key("segments"));
    if (*method < 0) {
        o.analysis.joinpoints.reset();
        return std::nullopt;
    }
    stats::JoinpointOptions &j = o.analysis.joinpoints.emplace();
    j.method = stats::JoinpointMethod(*method);
    bool ok = true;
    if (parser.isSet(key("max-joinpoints")))
        j.maxJoinpoints = parser.value(key("max-joinpoints")).toInt(&ok);
    if (!ok || j.maxJoinpoints < -1 || j.maxJoinpoints > 5)
        return QObject::tr("--max-joinpoints: нужно число от 0 до 5, а не «%1»")
            .arg(parser.value(key("max-joinpoints")));
    j.permutations = parser.value(key("permutations")).toInt(&ok);
    if (!ok || j.permutations < 1 || j.permutations > 1000000)
        return QObject::tr("--permutations: нужно число от 1 до 1000000, а не «%1»")
            .arg(parser.value(key("permutations")));
    j.seed = parser.value(key("seed")).toULongLong(&ok);
    if (!ok)
        return QObject::tr("--seed: нужно целое неотрицательное число, а не «%1»")
            .arg(parser.value(key("seed")));
    return std::nullopt;
}

// The reporting year: which year, against which baseline, by which bounds.
Read readReportYear(const QCommandLineParser &parser, engine::Options &o)
{
    stats::ReportYearOptions &r = o.analysis.report;
    bool ok = true;
    if (parser.isSet(key("year"))) {
        const QString year = parser.value(key("year"));
        r.year = year.toInt(&ok);
        if (!ok || r.year < trend::MinYear || r.year > trend::MaxYear)
            return QObject::tr("--year: нужен год от %1 до %2, а не «%3»")
                .arg(trend::MinYear)
                .arg(trend::MaxYear)
                .arg(year);
    }
    if (parser.isSet(key("baseline"))) {
        const QString span = parser.value(key("baseline"));
        const QStringList ends = span.split(u'-');
        bool from = false, to = false;
        if (ends.size() == 2) {
            r.baselineFrom = ends[0].trimmed().toInt(&from);
            r.baselineTo = ends[1].trimmed().toInt(&to);
        }
        if (!from || !to || r.baselineFrom < trend::MinYear || r.baselineTo > trend::MaxYear)
            return QObject::tr("--baseline: нужны годы «A-B», например 2012-2019, а не «%1»")
                .arg(span);
    }
    const QString by = parser.value(key("expected-by"));
    const auto method = choose<stats::ExpectedBy>(by,
        {{"normative", stats::ExpectedBy::Normative}, {"prediction", stats::ExpectedBy::Prediction},
            {"poisson", stats::ExpectedBy::Poisson},
            {"quasipoisson", stats::ExpectedBy::QuasiPoisson}});
    if (!method)
        return QObject::tr(
            "неизвестный способ «%1» (normative, prediction, poisson или quasipoisson)")
            .arg(by);
    r.expectedBy = *method;
    return std::nullopt;
}

Read readChartsAndJobs(const QCommandLineParser &parser, engine::Options &o)
{
    const QString cf = parser.value(key("chart-format"));
    const auto chart = choose<summary::ChartFormat>(
        cf, {{"svg", summary::ChartFormat::Svg}, {"png", summary::ChartFormat::Png}});
    if (!chart)
        return QObject::tr("неизвестный формат графиков «%1» (svg или png)").arg(cf);
    o.chartFormat = *chart;
    const QString jobs = parser.value(key("jobs"));
    bool ok = false;
    o.jobs = jobs.toInt(&ok);
    if (!ok || o.jobs < 0 || o.jobs > 1024)
        return QObject::tr("число потоков «%1» не от 0 до 1024").arg(jobs);
    return std::nullopt;
}

// What the parser found wrong, said in Russian: its own words are English.
QString parseFailure(const QCommandLineParser &parser)
{
    QStringList unknown;
    for (const QString &name : parser.unknownOptionNames())
        unknown << QStringLiteral("«%1%2»").arg(name.size() == 1 ? "-" : "--", name);
    if (unknown.size() == 1)
        return QObject::tr("неизвестный параметр %1").arg(unknown.front());
    if (!unknown.isEmpty())
        return QObject::tr("неизвестные параметры: %1").arg(unknown.join(QStringLiteral(", ")));
    // The option as typed, in quotes: "Missing value after '--year'."
    const QString text = parser.errorText();
    const QString option = text.section(u'\'', 1, 1);
    if (text.startsWith(QLatin1String("Missing value")))
        return QObject::tr("%1: не указано значение").arg(option);
    if (text.startsWith(QLatin1String("Unexpected value")))
        return QObject::tr("%1: у этого параметра не бывает значения").arg(option);
    return QObject::tr("параметры не разобраны");
}

int usage(const QString &message)
{
    QTextStream err(stderr);
    err << "vantorel-batch: " << message << "\n"
        << QObject::tr("Подробнее: vantorel-batch --help") << Qt::endl;
    return Failure;
}

} // namespace

std::optional<int> readCommandLine(const QStringList &args, engine::Options &o, bool *quiet)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    QList<QCommandLineOption> options;
    for (const OptionEntry &entry : optionTable()) {
        options.append(QCommandLineOption(entry.names, QString::fromUtf8(entry.description),
            QString::fromUtf8(entry.valueName ? entry.valueName : ""),
            QString::fromUtf8(entry.defaultValue ? entry.defaultValue : "")));
    }
    parser.addOptions(options);
    parser.addPositionalArgument(key("table"), QString());
    if (!parser.parse(args))
        return usage(parseFailure(parser));
    if (parser.isSet(key("help"))) {
        QTextStream(stdout) << helpText(options);
        return AllComputed;
    }
    if (parser.isSet(key("version"))) {
        QTextStream(stdout) << "vantorel-batch " VANTOREL_VERSION "\n";
        return AllComputed;
    }
    for (const auto read : {readPlaces, readFormat, readText, readRates, readJoinpoints,
             readReportYear, readChartsAndJobs}) {
        if (const Read error = read(parser, o))
            return usage(*error);
    }
    if (const Read error = engine::validate(o))
        return usage(*error);
    *quiet = parser.isSet(key("quiet"));
    return std::nullopt;
}

} // namespace batch
