// vantorel-batch: the window's trend calculation over a whole table.
#include "batchrun.h"
#include "version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>

namespace {

QString helpText()
{
    return QStringLiteral(
        "Использование: vantorel-batch [параметры] ТАБЛИЦА\n"
        "\n"
        "Рассчитывает многолетнюю линейную эпидемическую тенденцию для каждого ряда\n"
        "таблицы CSV или TSV (UTF-8) так же, как окно Vantorel, и выводит сводную\n"
        "таблицу. ТАБЛИЦА - имя файла или \"-\" для стандартного ввода.\n"
        "\n"
        "Широкая таблица (по умолчанию): первые столбцы - метки (болезнь, район...),\n"
        "остальные - подряд идущие годы; один ряд в строке.\n"
        "Длинная таблица (--long): столбцы меток, затем год и значение; строки в\n"
        "любом порядке.\n"
        "\n"
        "Параметры:\n"
        "  -o, --output ФАЙЛ        сводка в файл, а не в стандартный вывод\n"
        "  --format csv|json        формат сводки (по умолчанию csv)\n"
        "  --long                   длинная таблица\n"
        "  --delimiter РАЗДЕЛИТЕЛЬ  , ; или tab (по умолчанию определяется по заголовку)\n"
        "  --reports ПАПКА          файл отчёта для каждого ряда, как сохраняет окно\n"
        "  --charts ПАПКА           график для каждого ряда\n"
        "  --chart-format svg|png   формат графиков (по умолчанию svg)\n"
        "  -h, --help               эта справка\n"
        "  -v, --version            версия программы\n"
        "\n"
        "Код завершения: 0 - рассчитаны все ряды, 1 - часть рядов пропущена (причины\n"
        "в стандартном потоке ошибок), 2 - ошибка параметров, чтения или записи.\n");
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

// The toolkit's own notices (a missing runtime folder and the like) would
// mix with the reasons for skipped series; only its errors are shown.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantorel-batch: %s\n", qPrintable(message));
}

int main(int argc, char **argv)
{
    qInstallMessageHandler(quietMessages);
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption output({"o", "output"}, QString(), QStringLiteral("file"));
    const QCommandLineOption format("format", QString(), QStringLiteral("format"), "csv");
    const QCommandLineOption longLayout("long");
    const QCommandLineOption delimiter("delimiter", QString(), QStringLiteral("delimiter"));
    const QCommandLineOption reports("reports", QString(), QStringLiteral("dir"));
    const QCommandLineOption charts("charts", QString(), QStringLiteral("dir"));
    const QCommandLineOption chartFormat(
        "chart-format", QString(), QStringLiteral("format"), "svg");
    const QCommandLineOption help(QStringList {"h", "help"});
    const QCommandLineOption version(QStringList {"v", "version"});
    parser.addOptions(
        {output, format, longLayout, delimiter, reports, charts, chartFormat, help, version});
    parser.addPositionalArgument(QStringLiteral("table"), QString());

    if (!parser.parse(args))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        QTextStream(stdout) << helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        QTextStream(stdout) << "vantorel-batch " VANTOREL_VERSION "\n";
        return 0;
    }

    batch::Options o;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usage(positional.isEmpty() ? QObject::tr("не указана таблица")
                                          : QObject::tr("указано больше одной таблицы"));
    o.input = positional.front();
    o.output = parser.value(output);
    o.longLayout = parser.isSet(longLayout);
    o.reportsDir = parser.value(reports);
    o.chartsDir = parser.value(charts);

    const QString f = parser.value(format);
    const auto summaryFormat = choose<batch::SummaryFormat>(
        f, {{"csv", batch::SummaryFormat::Csv}, {"json", batch::SummaryFormat::Json}});
    if (!summaryFormat)
        return usage(QObject::tr("неизвестный формат сводки «%1» (csv или json)").arg(f));
    o.format = *summaryFormat;

    if (parser.isSet(delimiter)) {
        const QString d = parser.value(delimiter);
        const auto c = choose<char>(d,
            {{",", ','}, {"comma", ','}, {";", ';'}, {"semicolon", ';'}, {"tab", '\t'},
                {"\\t", '\t'}, {"\t", '\t'}});
        if (!c)
            return usage(QObject::tr("неизвестный разделитель «%1» (, ; или tab)").arg(d));
        o.delimiter = *c;
    }

    const QString cf = parser.value(chartFormat);
    const auto chart = choose<batch::ChartFormat>(
        cf, {{"svg", batch::ChartFormat::Svg}, {"png", batch::ChartFormat::Png}});
    if (!chart)
        return usage(QObject::tr("неизвестный формат графиков «%1» (svg или png)").arg(cf));
    o.chartFormat = *chart;

    o.progress = isatty(STDERR_FILENO);

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
