// SPDX-License-Identifier: MIT
// vantorel-batch through its command line: each folder under
// tests/golden/batch is one case, an input table and its arguments, with the
// summary, the report files, the stderr lines and the exit status it must
// give. Workbooks are made here, by hand or by libxlsxwriter, and must read
// as the same table in CSV does.
#include "summary/chart.h"
#include "summary/funnelchart.h"
#include "summary/reporttext.h"
#include "summary/shortest.h"
#include "summary/summaryrow.h"
#include "table/xlsxsheet.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFontMetricsF>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QXmlStreamReader>

#include <xlsxwriter.h>
#include <zip.h>

#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <random>

#include <sys/resource.h>

namespace {

// A zip of `parts` (name, bytes) at `path`.
void writeZip(const QString &path, const QList<std::pair<QString, QByteArray>> &parts)
{
    int code = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    QVERIFY(z);
    for (const auto &[name, bytes] : parts) {
        zip_source_t *s = zip_source_buffer(z, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        QVERIFY(zip_file_add(z, name.toUtf8().constData(), s, ZIP_FL_ENC_UTF_8) >= 0);
    }
    QCOMPARE(zip_close(z), 0);
}

// A workbook of sheets written in short: a row a line, cells split by ';',
// each "" (none), "$N" (shared string N), "'A|B" (inline string in runs),
// "=V" (a formula's cached value), "@V" (a date) or a number, and "^"
// before any of them gives the cell the reference of the one before it; a
// row "#N:..." is numbered N. A sheet whose name starts with '!' is listed
// but has no part; one with '~' puts the workbook in the 1904 date system. A shared string
// "BOMB" is megabytes of blanks, and one that starts with '<' is the
// item's XML.
void writeWorkbook(const QString &path, const QList<std::pair<QString, QStringList>> &sheets,
    const QStringList &shared)
{
    // r as strict workbooks name it; libxlsxwriter's are transitional.
    const QByteArray ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                          "xmlns:r=\"http://purl.oclc.org/ooxml/officeDocument/relationships\"";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    QByteArray list, rels = "<Relationships>", strings = "<sst " + ns + ">";
    QList<std::pair<QString, QByteArray>> parts;
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        const QString name = sheets[i].first;
        list += "<sheet name=\"" + name.mid(name.startsWith(u'!') || name.startsWith(u'~')).toUtf8()
            + "\" r:id=\"r" + n + "\"/>";
        if (name.startsWith(u'~'))
            list.prepend("</sheets><workbookPr date1904=\"1\"/><sheets>");
        rels += "<Relationship Id=\"r" + n + "\" Type=\"" + rel
            + "worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        QByteArray xml = "<worksheet " + ns + "><sheetData>";
        for (qsizetype r = 0; r < sheets[i].second.size(); ++r) {
            QString row = sheets[i].second[r];
            if (row.isEmpty())
                continue;
            qsizetype number = r + 1;
            if (row.startsWith(u'#')) {
                number = row.section(u':', 0, 0).mid(1).toLongLong();
                row = row.section(u':', 1);
            }
            xml += "<row r=\"" + QByteArray::number(number) + "\">";
            const QStringList cells = row.split(u';');
            for (qsizetype c = 0, at = 0; c < cells.size(); ++c, ++at) {
                QString v = cells[c];
                if (v.startsWith(u'^')) {
                    v.remove(0, 1);
                    --at;
                }
                const QByteArray ref = QByteArray(1, char('A' + at)) + QByteArray::number(number);
                const QByteArray rest = v.mid(1).toHtmlEscaped().toUtf8();
                if (v.startsWith(u'$'))
                    xml += "<c r=\"" + ref + "\" t=\"s\"><v>" + rest + "</v></c>";
                else if (v.startsWith(u'\''))
                    xml += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><r><t>"
                        + rest.split('|').join("</t></r><r><t>") + "</t></r></is></c>";
                else if (v.startsWith(u'='))
                    xml += "<c r=\"" + ref + "\"><f>1+1</f><v>" + rest + "</v></c>";
                else if (v.startsWith(u'@'))
                    xml += "<c r=\"" + ref + "\" s=\"1\"><v>" + rest + "</v></c>";
                else if (!v.isEmpty())
                    xml += "<c r=\"" + ref + "\"><v>" + v.toUtf8() + "</v></c>";
            }
            xml += "</row>";
        }
        if (!name.startsWith(u'!'))
            parts.append({"xl/worksheets/sheet" + n + ".xml", xml + "</sheetData></worksheet>"});
    }
    for (const QString &s : shared)
        strings += s.startsWith(u'<')
            ? "<si>" + s.toUtf8() + "</si>"
            : "<si><t>" + (s == u"BOMB" ? QByteArray(8 << 20, ' ') : s.toUtf8()) + "</t></si>";
    rels += "<Relationship Id=\"s\" Type=\"" + rel
        + "sharedStrings\" Target=\"sharedStrings.xml\"/>" + "<Relationship Id=\"t\" Type=\"" + rel
        + "styles\" Target=\"styles.xml\"/>";
    parts.append({"_rels/.rels",
        "<Relationships><Relationship Id=\"w\" Type=\"" + rel
            + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"});
    parts.append(
        {"xl/workbook.xml", "<workbook " + ns + "><sheets>" + list + "</sheets></workbook>"});
    parts.append({"xl/_rels/workbook.xml.rels", rels + "</Relationships>"});
    parts.append({"xl/sharedStrings.xml", strings + "</sst>"});
    parts.append({"xl/styles.xml",
        "<styleSheet " + ns
            + "><numFmts><numFmt numFmtId=\"164\" formatCode=\"DD.MM.YYYY\"/>"
              "</numFmts><cellXfs><xf numFmtId=\"0\"/><xf "
              "numFmtId=\"164\"/></cellXfs></styleSheet>"});
    writeZip(path, parts);
}

// What the batch tool gives for `input`: exit status, stderr, summary.
QStringList runBatch(const QString &input, const QStringList &args = {})
{
    QProcess process;
    process.start(QStringLiteral(VANTOREL_BATCH_PATH), QStringList {input, "-q"} + args);
    process.waitForFinished(60000);
    return {QString::number(process.exitCode()), QString::fromUtf8(process.readAllStandardError()),
        QString::fromUtf8(process.readAllStandardOutput())};
}

// Waits until a run has begun to stage in `dir`.
bool waitForStaging(const QString &dir)
{
    for (int i = 0; i < 3000; ++i) {
        if (!QDir(dir).entryList({".vantorel-run-*"}, QDir::Dirs | QDir::Hidden).isEmpty())
            return true;
        QThread::msleep(10);
    }
    return false;
}

// A picture's texts, each with its fill; the test fails on those whose
// numbers are not spelled as ours, or that run past its right edge or foot.
QList<std::pair<QString, QString>> svgTexts(const QByteArray &bytes)
{
    QStringList wrong;
    // An ASCII minus, a decimal point, a unit that may part, not a number.
    static const QRegularExpression unlike(
        QStringLiteral("-\\d|\\d\\.\\d|\\d (%|гг?\\.|тыс\\.)|nan|inf"));
    QList<std::pair<QString, QString>> texts;
    QXmlStreamReader svg(bytes);
    while (!svg.atEnd()) {
        if (svg.readNext() != QXmlStreamReader::StartElement || svg.name() != u"text")
            continue;
        const auto a = [&](const char *name) { return svg.attributes().value(name).toString(); };
        QFont font(a("font-family"));
        font.setPixelSize(a("font-size").toInt());
        font.setBold(a("font-weight").toInt() > 400);
        const QString fill = a("fill"), x = a("x"), y = a("y"), text = svg.readElementText();
        const double right = x.toDouble() + QFontMetricsF(font).horizontalAdvance(text);
        if (text.contains(unlike) || right > summary::Width - 4 || y.toDouble() >= summary::Height)
            wrong << text;
        texts.push_back({fill, text});
    }
    QTest::qVerify(
        wrong.isEmpty(), "wrong.isEmpty()", qPrintable(wrong.join(u'|')), __FILE__, __LINE__);
    return texts;
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void golden_data();
    void golden();
    void workbook_data();
    void workbook();
    void workbookFromXlsxwriter();
    void largeInputs_data();
    void largeInputs();
    void excelSafety_data();
    void excelSafety();
    void interrupted_data();
    void interrupted();
    void reportNumbers_data();
    void reportNumbers();
    void paragraph_data();
    void paragraph();
    void shortest_data();
    void shortest();
    void chartNumbers_data();
    void chartNumbers();
    void funnelChart_data();
    void funnelChart();
    void funnelLimit_data();
    void funnelLimit();
    void territoryParagraph_data();
    void territoryParagraph();
};

void TestBatch::golden_data()
{
    QTest::addColumn<QString>("name");
    const QDir root(QStringLiteral(VANTOREL_GOLDEN_DIR "/batch"));
    for (const QString &name : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        QTest::newRow(qPrintable(name)) << name;
}

void TestBatch::golden()
{
    QFETCH(QString, name);
    const QString input = QStringLiteral(VANTOREL_GOLDEN_DIR "/batch/") + name;
    QTemporaryDir out;
    QStringList args
        = QString::fromUtf8(contents(input + "/args")).split(u'\n', Qt::SkipEmptyParts);
    args.replaceInStrings(QStringLiteral("@IN@"), input)
        .replaceInStrings(QStringLiteral("@OUT@"), out.path());

    QProcess process;
    // A disk that fills up: a file-size limit, or a full standard output.
    if (QFile::exists(input + "/stdout-full"))
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
    const rlim_t limit = contents(input + "/file-size-limit").trimmed().toULongLong();
    if (limit > 0) {
        process.setChildProcessModifier([limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit lowered {limit, limit};
            setrlimit(RLIMIT_FSIZE, &lowered);
        });
    }
    process.start(QStringLiteral(VANTOREL_BATCH_PATH), args);
    QVERIFY(process.waitForStarted());
    process.write(contents(input + "/stdin"));
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(60000));
    QByteArray err = process.readAllStandardError();
    err.replace(input.toUtf8(), "@IN@").replace(out.path().toUtf8(), "@OUT@");
    const QByteArray status = QByteArray::number(process.exitCode()) + '\n';

    const QString base = "batch/" + name + "/expected/";
    QStringList differences {goldenDifference(status, base + "status"),
        goldenDifference(process.readAllStandardOutput(), base + "stdout"),
        goldenDifference(err, base + "stderr")};
    // Folders that hold no file cannot be kept in the golden tree.
    const auto files = [](const QString &root) {
        QMap<QString, QByteArray> found = filesBelow(root);
        found.removeIf([](const auto &entry) { return entry.value() == "/"; });
        return found;
    };
    const auto written = files(out.path());
    if (!qEnvironmentVariableIntValue("VANTOREL_UPDATE_GOLDEN"))
        QCOMPARE(
            written.keys(), files(QStringLiteral(VANTOREL_GOLDEN_DIR "/") + base + "out").keys());
    for (auto file = written.begin(); file != written.end(); ++file)
        differences.append(goldenDifference(file.value(), base + "out/" + file.key()));
    differences.removeAll(QString());
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(u'\n')));
}

void TestBatch::workbook_data()
{
    using Sheets = QList<std::pair<QString, QStringList>>;
    QTest::addColumn<Sheets>("sheets");
    QTest::addColumn<QStringList>("shared");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("csv"); // the same table as CSV: the same summary
    QTest::addColumn<QString>("err"); // @ stands for the workbook's path

    const QStringList shared {"Болезнь", "Район",
        "<r><t>Кок</t></r><rPh sb=\"0\" eb=\"1\"><t>к</t></rPh><r><t>люш</t></r>"};
    const QString header = "$0;$1;2015;2016;2017;2018;2019";
    const QString csvHeader = "Болезнь;Район;2015;2016;2017;2018;2019\n";
    QTest::newRow("shared, inline and rich strings, a formula's value, numbers")
        << Sheets {{"Лист1",
               {header, "$2;'Се\nвер|ный;3.8;4.2;=4;4.9;5.3", "'Корь;'Ю;1E-1;1;2;3;4"}}}
        << shared << QStringList()
        << csvHeader + "Коклюш;Се верный;3,8;4,2;4;4,9;5,3\nКорь;Ю;0,1;1;2;3;4\n"
        << "";
    QTest::newRow("a date, a text and a gap where values belong")
        << Sheets {{"Лист1",
               {header, "$2;'Ю;3;@42430;5;6;7", "", "'Корь;'Ю;1;2;'н/д;4;5", "'Корь;'С;1;2;;4;5"}}}
        << shared << QStringList() << ""
        << "@:Лист1!D2: Коклюш / Ю: 2016 год: «01.03.2016» не является числом\n"
           "@:Лист1!A3: строка 3: нет ни одного значения\n"
           "@:Лист1!E4: Корь / Ю: 2017 год: «н/д» не является числом\n"
           "@:Лист1!E5: Корь / С: пустая ячейка за 2017 год\n";
    QTest::newRow("a sheet chosen by name")
        << Sheets {{"Лист1", {"x"}}, {"Второй", {header, "$2;'Ю;1;2;3;4;5"}}} << shared
        << QStringList {"--sheet", "Второй"} << csvHeader + "Коклюш;Ю;1;2;3;4;5\n"
        << "";
    QTest::newRow("no such sheet")
        << Sheets {{"Лист1", {header}}} << shared << QStringList {"--sheet", "Нет"} << ""
        << "vantorel-batch: @: в книге нет листа «Нет»; листы: Лист1\n";
    QTest::newRow("a sheet without its part")
        << Sheets {{"!Лист1", {header}}} << shared << QStringList() << ""
        << "vantorel-batch: @: в книге нет части xl/worksheets/sheet1.xml\n";
    QTest::newRow("shared strings that inflate like a zip bomb")
        << Sheets {{"Лист1", {header}}} << QStringList {"BOMB"} << QStringList() << ""
        << "vantorel-batch: @: часть xl/sharedStrings.xml разжимается больше чем в 100 раз: "
           "похоже на zip-бомбу\n";
    QTest::newRow("a shared string just past the last")
        << Sheets {{"Лист1", {header, "$2;'Ю;1;2;3;4;5", "$3;'Ю;1;2;3;4;5"}}} << shared
        << QStringList() << csvHeader + "Коклюш;Ю;1;2;3;4;5\n"
        << "vantorel-batch: @:Лист1!A3: ошибка чтения: часть xl/worksheets/sheet1.xml: нет "
           "общей строки «3»\n";
    QTest::newRow("a row numbered again")
        << Sheets {{"Лист1", {header, "$2;'Ю;1;2;3;4;5", "#2:'Корь;'Ю;1;2;3;4;5"}}} << shared
        << QStringList() << csvHeader + "Коклюш;Ю;1;2;3;4;5\n"
        << "vantorel-batch: @:Лист1!A3: ошибка чтения: часть xl/worksheets/sheet1.xml: строка "
           "листа «2» не по порядку\n";
    QTest::newRow("a cell given twice")
        << Sheets {{"Лист1", {header, "$2;'Ю;1;2;3;4;5", "'Корь;'Ю;1;2;^3;4;5"}}} << shared
        << QStringList() << csvHeader + "Коклюш;Ю;1;2;3;4;5\n"
        << "vantorel-batch: @:Лист1!A3: ошибка чтения: часть xl/worksheets/sheet1.xml: ячейка "
           "«D3» не по порядку\n";
    QTest::newRow("the 1904 date system")
        << Sheets {{"~Лист1", {header, "$2;'Ю;3;@42430;5;6;7"}}} << shared << QStringList() << ""
        << "@:Лист1!D2: Коклюш / Ю: 2016 год: «02.03.2020» не является числом\n";
}

void TestBatch::workbook()
{
    using Sheets = QList<std::pair<QString, QStringList>>;
    QFETCH(Sheets, sheets);
    QFETCH(QStringList, shared);
    QFETCH(QStringList, args);
    QFETCH(QString, csv);
    QFETCH(QString, err);
    QTemporaryDir dir;
    const QString book = dir.filePath("t.xlsx");
    writeWorkbook(book, sheets, shared);
    const QStringList got = runBatch(book, args);
    QCOMPARE(got[1], QString(err).replace(u'@', book));
    QCOMPARE(got[0], err.isEmpty() ? "0" : err.startsWith(u'v') ? "2" : "1");
    if (!csv.isEmpty()) {
        QFile file(dir.filePath("t.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(csv.toUtf8()) > 0);
        file.close();
        QCOMPARE(got[2], runBatch(file.fileName())[2]);
    }
}

// A workbook that another program writes, the way Excel does: shared
// strings, a formula with its value, a date in a value's place.
void TestBatch::workbookFromXlsxwriter()
{
    QTemporaryDir dir;
    const QString book = dir.filePath("w.xlsx");
    lxw_workbook *wb = workbook_new(QFile::encodeName(book).constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "Данные");
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "dd.mm.yyyy");
    const char *labels[] = {"Болезнь", "Коклюш", "Корь"};
    for (int r = 0; r < 3; ++r) {
        worksheet_write_string(ws, lxw_row_t(r), 0, labels[r], nullptr);
        for (int c = 1; c <= 5; ++c) {
            if (r == 0)
                worksheet_write_number(ws, 0, lxw_col_t(c), 2000 + c, nullptr);
            else if (r == 1 && c == 3)
                worksheet_write_formula_num(ws, 1, 3, "=1+1", nullptr, 2.5);
            else
                worksheet_write_number(ws, lxw_row_t(r), lxw_col_t(c), c * r + 0.25, nullptr);
        }
    }
    lxw_datetime day {2016, 3, 1, 0, 0, 0};
    worksheet_write_datetime(ws, 2, 2, &day, date);
    QCOMPARE(workbook_close(wb), LXW_NO_ERROR);

    const QStringList got = runBatch(book);
    QCOMPARE(got[1], book + ":Данные!C3: Корь: 2002 год: «01.03.2016» не является числом\n");
    QFile file(dir.filePath("w.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Болезнь;2001;2002;2003;2004;2005\nКоклюш;1,25;2,25;2,5;4,25;5,25\n");
    file.close();
    QCOMPARE(got[2], runBatch(file.fileName())[2]);
}

// Letters that no compressor shrinks: a text this long in a workbook is not
// taken for a zip bomb.
QByteArray letters(qsizetype size)
{
    QByteArray text(size, 'a');
    quint32 state = 335;
    for (char &c : text)
        c = char('a' + (state = state * 1664525 + 1013904223) % 26);
    return text;
}

void TestBatch::largeInputs_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("err"); // @ stands for the input
    const QString tooLong
        = "vantorel-batch: @:3: запись длиннее 16777216 байт (нет закрывающей кавычки?)\n";
    QTest::newRow("a record past 16 MiB, wide") << "wide" << tooLong;
    QTest::newRow("a record past 16 MiB, long") << "long" << tooLong;
    QTest::newRow("a shared string past 16 MiB")
        << "text"
        << "vantorel-batch: @: часть xl/sharedStrings.xml: текст длиннее 16 МиБ\n";
    QTest::newRow("a sheet row past 16 MiB")
        << "row"
        << "vantorel-batch: @:Лист1!A2: ошибка чтения: часть xl/worksheets/sheet1.xml: строка 2 "
           "длиннее 16 МиБ\n";
    QTest::newRow("CP1251 past a read of its own")
        << "cp1251"
        << "vantorel-batch: @: текст не в UTF-8, читается как CP1251\n";
}

// Inputs longer than a read: what is bounded stays bounded over many reads,
// and what is converted stays the same table.
void TestBatch::largeInputs()
{
    QFETCH(QString, kind);
    QFETCH(QString, err);
    QTemporaryDir dir;
    QString input = dir.filePath("t.csv");
    const QByteArray header = "район,2001,2002,2003,2004,2005\nА,1,2,3,4,5\n";
    QString same; // the same table in UTF-8, when there is one
    if (kind == u"wide") {
        writeFile(input, header + '"' + QByteArray(17 << 20, 'x'));
    } else if (kind == u"long") {
        writeFile(input, "район,год,значение\nА,2001,1\n\"" + QByteArray(17 << 20, 'x'));
    } else if (kind == u"cp1251") {
        QByteArray table = "район;2001;2002;2003;2004;2005\n";
        for (int i = 0; i < 3000; ++i)
            table += "Южный район номер " + QByteArray::number(i) + ";1;2;3;4;5\n";
        same = dir.filePath("utf8.csv");
        writeFile(same, table);
        QByteArray cp1251; // А to я are 0xC0 to 0xFF there
        for (const QChar c : QString::fromUtf8(table))
            cp1251 += c.unicode() >= 0x410 ? char(c.unicode() - 0x410 + 0xC0) : char(c.unicode());
        writeFile(input, cp1251);
    } else {
        input = dir.filePath("t.xlsx");
        const QString huge = QString::fromLatin1(letters(9 << 20));
        writeWorkbook(input,
            {{"Лист1", {"'район;2001;2002;2003;2004;2005", "'" + huge + ";'" + huge + ";1;2;3;4"}}},
            kind == u"text" ? QStringList {QString::fromLatin1(letters(17 << 20))} : QStringList());
    }
    const QStringList got = runBatch(input,
        {"--joinpoints", "off", kind == u"long" ? QStringLiteral("--long") : QStringLiteral("-q")});
    // A long table tells its read failure first, then the series read before it.
    QCOMPARE(got[1].left(err.size() - 1 + input.size()), QString(err).replace(u'@', input));
    if (!same.isEmpty())
        QCOMPARE(got[2], runBatch(same, {"--joinpoints", "off"})[2]);
}

void TestBatch::excelSafety_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("mark"); // before a label that starts as a formula does
    QTest::addColumn<QString>("infinite"); // how the practice method's inf and nan read
    QTest::addColumn<QString>("undefined");
    QTest::newRow("CSV") << QStringList() << ""
                         << "inf"
                         << "nan";
    QTest::newRow("CSV for Excel") << QStringList {"--excel-csv"} << "'"
                                   << ""
                                   << "";
    QTest::newRow("JSON") << QStringList {"--format", "json"} << ""
                          << ""
                          << "";
    QTest::newRow("xlsx") << QStringList {"--format", "xlsx"} << ""
                          << ""
                          << "";
}

// Labels that a spreadsheet would take for formulas, and series whose APC
// does not exist (a zero, negative values) or whose practice rate is not
// finite (a mean of 0): each cell as each format writes it, "#" for any
// finite number and "" for an empty cell or null.
void TestBatch::excelSafety()
{
    QFETCH(QStringList, args);
    QFETCH(QString, mark);
    QFETCH(QString, infinite);
    QFETCH(QString, undefined);
    QTemporaryDir dir;
    writeFile(dir.filePath("t.csv"),
        "район,2001,2002,2003,2004,2005\n\"=HYPERLINK(\"\"x\"\")\",1,2,3,4,5\n+7,0,1,2,3,4\n"
        "- в т.ч. дети,-1,-2,-3,-4,-5\n@дом,-2,-1,0,1,2\n=1+1,0,0,0,0,0\n");
    const QString out = dir.filePath("summary");
    QCOMPARE(runBatch(dir.filePath("t.csv"), QStringList {"-o", out} + args)[0], "0");

    QList<QStringList> rows;
    if (args.contains("json")) {
        for (const QJsonValue row : QJsonDocument::fromJson(contents(out)).array()) {
            QStringList cells {row["labels"]["район"].toString()};
            for (const summary::Column &column : summary::summaryColumns())
                cells << (row[column.name].isDouble()
                        ? QString::number(row[column.name].toDouble(), 'g', 17)
                        : row[column.name].toString());
            rows << cells;
        }
    } else if (args.contains("xlsx")) {
        QString error;
        const auto sheet = table::Workbook::open(out, &error)->sheet("Сводка", &error);
        rows = csvTable(sheet->readAll(), u'\t').mid(1);
    } else {
        rows = csvTable(contents(out).replace("\xEF\xBB\xBF", ""), mark.isEmpty() ? u',' : u';')
                   .mid(1);
    }
    const auto at = [](const char *name) {
        const auto &model = summary::summaryColumns();
        return 1 + (std::find_if(model.begin(), model.end(), [&](const summary::Column &c) {
            return qstrcmp(c.name, name) == 0;
        }) - model.begin());
    };
    const QList<QStringList> expected {{"=HYPERLINK(\"x\")", "#", "#"}, {"+7", "#", ""},
        {"- в т.ч. дети", "#", ""}, {"@дом", infinite, ""}, {"=1+1", undefined, ""}};
    QCOMPARE(rows.size(), expected.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QStringList got {rows[i][0], rows[i][at("average_annual_change_rate")],
            rows[i][at("apc")], rows[i][at("apc_ci95_low")], rows[i][at("apc_p_value")]};
        const auto number = [](QString cell) {
            bool ok = false;
            return std::isfinite(cell.replace(u',', u'.').toDouble(&ok)) && ok ? "#" : cell;
        };
        QCOMPARE(got[0], mark + expected[i][0]);
        QCOMPARE(number(got[1]), expected[i][1]);
        for (int c = 2; c < got.size(); ++c)
            QCOMPARE(number(got[c]), expected[i][2]);
    }
}

void TestBatch::interrupted_data()
{
    QTest::addColumn<int>("signal"); // sent once the run is under way; 0: none
    QTest::addColumn<QStringList>("folders"); // per-series files
    QTest::addColumn<QString>("second"); // another run: after, or beside it
    const QStringList both {"--reports", "r", "--charts", "c"};
    QTest::newRow("SIGTERM, summary only") << int(SIGTERM) << QStringList() << "";
    QTest::newRow("SIGTERM, reports and charts") << int(SIGTERM) << both << "";
    QTest::newRow("SIGINT, reports") << int(SIGINT) << QStringList {"--reports", "r"} << "";
    QTest::newRow("SIGPIPE, a reader gone, reports and charts") << int(SIGPIPE) << both << "";
    QTest::newRow("SIGTERM, JSON on standard output")
        << int(SIGTERM) << QStringList {"--reports", "r", "--format", "json"} << "";
    QTest::newRow("kill -9, then a clean run into the same folders")
        << int(SIGKILL) << both << "after";
    QTest::newRow("two runs at once, other folders")
        << 0 << QStringList {"--reports", "r"} << "beside, other folder";
    QTest::newRow("two runs at once, one folder")
        << 0 << QStringList {"--reports", "r"} << "beside, same folder";
}

// A run stopped by a signal leaves no file it staged, and the summary's
// target as it was; one killed leaves them to the next run into the same
// folders; a run never touches what another, still going, staged.
void TestBatch::interrupted()
{
    QFETCH(int, signal);
    QFETCH(QStringList, folders);
    QFETCH(QString, second);
    QTemporaryDir tables, work;
    const QString input = slowTable(tables.path(), signal ? 20000 : 1000);
    writeFile(work.filePath("summary.csv"), "before\n");
    const auto start = [&](QProcess &run, const QString &dir, const QString &table) {
        QDir().mkpath(dir);
        run.setWorkingDirectory(dir);
        // A row that asks for JSON has it on standard output.
        const QStringList summary
            = folders.contains("json") ? QStringList() : QStringList {"-o", "summary.csv"};
        run.start(QStringLiteral(VANTOREL_BATCH_PATH),
            QStringList {table, "-q", "--joinpoints", "off"} + summary + folders);
        QVERIFY(run.waitForStarted());
    };
    QProcess first, other;
    start(first, work.path(), input);
    QVERIFY(waitForStaging(folders.isEmpty() ? work.path() : work.filePath("r")));
    if (second.startsWith("beside"))
        start(other, second.endsWith("same folder") ? work.path() : work.filePath("other"), input);
    if (signal) {
        QThread::msleep(300); // under way
        ::kill(pid_t(first.processId()), signal);
    }
    QVERIFY(first.waitForFinished(120000) && (!other.processId() || other.waitForFinished(120000)));
    const QString said = QString::fromUtf8(first.readAllStandardError());
    auto left = filesBelow(work.path());
    if (signal == SIGKILL) {
        QVERIFY(left.keys().filter(QRegularExpression("(^|/)\\.vantorel-run-")).size() > 0);
        writeFile(tables.filePath("small.csv"), "район,2001,2002,2003,2004,2005\nА,1,2,3,4,5\n");
        QCOMPARE(runBatch(tables.filePath("small.csv"),
                     {"-o", work.filePath("summary.csv"), "--reports", work.filePath("r"),
                         "--charts", work.filePath("c")})[0],
            "0");
        left = filesBelow(work.path());
        QVERIFY(left.contains("c/А.svg") && left.contains("r/А.txt"));
        QVERIFY(left["summary.csv"].startsWith("район,first_year"));
    } else if (signal) {
        QCOMPARE(first.exitCode(), 128 + signal);
        const QStringList lines = said.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(
            lines[0].startsWith("vantorel-batch: прервано; рассчитано рядов: "), qPrintable(said));
        const qsizetype finished = lines[0].section(u' ', -1).toLongLong();
        QCOMPARE(left.take("summary.csv"), "before\n");
        // Nor is a summary on standard output ended as a whole one is.
        QVERIFY(!first.readAllStandardOutput().trimmed().endsWith(']'));
        for (const QString folder : {"r", "c"}) {
            if (folders.contains(folder))
                QCOMPARE(
                    left.keys().filter(QRegularExpression("^" + folder + "/")).size(), finished);
        }
    } else {
        QCOMPARE(QString::fromUtf8(other.readAllStandardError()) + said, QString());
        QCOMPARE(other.exitCode() + first.exitCode(), 0);
    }
    QCOMPARE(left.keys().filter(QRegularExpression("(^|/)\\.")), QStringList());
}

// The charts are drawn here too, and drawing text needs fonts.
void TestBatch::territoryParagraph_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QList<double>>("ratios"); // a ratio past 10 is of risk, past 2 significant
    QTest::addColumn<bool>("counts");
    QTest::addColumn<QString>("paragraph");
    QTest::newRow("none above, districts")
        << "Район" << QList<double> {1, 0.5} << true
        << "Выше среднего по территориям показатель ни в одном районе; статистически значимо "
           "(95\u00a0%): ни в одном районе; территорий риска нет.";
    QTest::newRow("21 above: one form, listed to ten")
        << "район" << QList<double>(21, 1.5) << false
        << "Выше среднего по территориям показатель в 21\u00a0районе: Т1 (в 1,5 раза), Т2 (в 1,5 "
           "раза), Т3 (в 1,5 раза), Т4 (в 1,5 раза), Т5 (в 1,5 раза), Т6 (в 1,5 раза), Т7 (в 1,5 "
           "раза), Т8 (в 1,5 раза), Т9 (в 1,5 раза), Т10 (в 1,5 раза) и ещё 11.";
    QTest::newRow("towns: significant and of risk")
        << "Город" << QList<double> {12, 3, 0.2} << true
        << "Выше среднего по территориям показатель на 2\u00a0территориях: Т1 (в 12 раз), Т2 (в 3 "
           "раза); статистически значимо (95\u00a0%): Т1, Т2; территории риска: Т1.";
}

void TestBatch::territoryParagraph()
{
    QFETCH(QString, column);
    QFETCH(QList<double>, ratios);
    QFETCH(bool, counts);
    QFETCH(QString, paragraph);
    std::vector<analysis::TerritoryComparison> compared(std::size_t(ratios.size()));
    std::vector<analysis::TerritoryCensus::Territory> territories;
    for (qsizetype i = 0; i < ratios.size(); ++i) {
        analysis::TerritoryComparison &c = compared[std::size_t(i)];
        c.ratio = ratios[i];
        if (counts) {
            c.funnel = ratios[i] > 2 ? stats::Funnel::Above95 : stats::Funnel::Within;
            c.risk = ratios[i] > 10;
        }
        territories.push_back({QStringLiteral("Т%1").arg(i + 1), &c});
    }
    QCOMPARE(summary::territoryParagraph(column, territories), paragraph);
}

QTEST_MAIN(TestBatch)
// The annual report's numbers, a row per rule and per boundary: the kind
// of number, its value (and the reference of a comparison), its words.
void TestBatch::reportNumbers_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("reference");
    QTest::addColumn<QString>("words");
    const auto row = [](const char *name, const char *kind, double value, double reference,
                         const char *words) {
        QTest::newRow(name) << kind << value << reference << QString::fromUtf8(words);
    };
    row("rate from 10: one decimal", "rate", 12.84, 0, "12,8");
    row("rate at 10", "rate", 10, 0, "10,0");
    row("rate below 10: two decimals", "rate", 3.466, 0, "3,47");
    row("rate at 0.1", "rate", 0.1, 0, "0,10");
    row("rate below 0.1: three digits", "rate", 0.041234, 0, "0,0412");
    row("rate far below 0.1", "rate", 0.0030512, 0, "0,00305");
    row("negative rate, minus sign", "rate", -1.254, 0, "−1,25");
    row("zero rate", "rate", 0, 0, "0");
    row("a float's 0.01: three digits", "rate", double(0.01f), 0, "0,0100");
    row("a float just below 0.1", "rate", double(0.09999f), 0, "0,10");
    row("percent: one decimal", "percent", 29.14, 0, "29,1");
    row("negative percent", "percent", -3.26, 0, "−3,3");
    row("negative percent that rounds to 0", "percent", -0.04, 0, "0,0");
    row("times: a fraction", "times", 2.1, 0, "в 2,1 раза");
    row("times: ,0 dropped", "times", 2.04, 0, "в 2 раза");
    row("times: 5", "times", 5, 0, "в 5 раз");
    row("times: 12", "times", 12, 0, "в 12 раз");
    row("times: 14", "times", 14, 0, "в 14 раз");
    row("times: 21", "times", 21, 0, "в 21 раз");
    row("times: 22", "times", 22, 0, "в 22 раза");
    row("times: rounds up to 3", "times", 2.96, 0, "в 3 раза");
    row("lower by a percent", "compare", 12.8, 18.05, "на 29,1\u00A0% ниже");
    row("higher by a percent, just below 2", "compare", 1.999, 1, "на 99,9\u00A0% выше");
    row("2 times higher", "compare", 6.1, 2.9, "в 2,1 раза выше");
    row("r at 2", "compare", 4, 2, "в 2 раза выше");
    row("r at 0.5", "compare", 1, 2, "в 2 раза ниже");
    row("r just above 0.5", "compare", 1.01, 2, "на 49,5\u00A0% ниже");
    row("the same, to 0,0 %", "compare", 10.004, 10, "на том же уровне");
    row("no reference", "compare", 3, 0, "");
    // The noun by the tens and the last digit, every ending to 200.
    for (int n = 0; n <= 200; ++n) {
        const int tens = n / 10 % 10, last = n % 10;
        const char *noun = tens == 1 || last == 0 || last >= 5 ? "случаев"
            : last == 1                                        ? "случай"
                                                               : "случая";
        QTest::addRow("%d cases", n) << "cases" << double(n) << 0.0
                                     << QString::number(n) + QChar(0xA0) + QString::fromUtf8(noun);
    }
    row("four digits stay together", "cases", 1000, 0, "1000\u00A0случаев");
    row("five digits grouped", "cases", 12345, 0, "12\u00A0345\u00A0случаев");
    row("a million", "cases", 1000000, 0, "1\u00A0000\u00A0000\u00A0случаев");
    row("a million and 11", "cases", 1000011, 0, "1\u00A0000\u00A0011\u00A0случаев");
    row("a million and 12", "cases", 1000012, 0, "1\u00A0000\u00A0012\u00A0случаев");
    row("a million and 21", "cases", 1000021, 0, "1\u00A0000\u00A0021\u00A0случай");
    row("a mean: genitive singular", "mean", 1.24, 0, "1,2\u00A0случая");
    row("a mean below 1", "mean", 0.4, 0, "0,4\u00A0случая");
    row("a whole mean keeps ,0", "mean", 2, 0, "2,0\u00A0случая");
}

void TestBatch::reportNumbers()
{
    QFETCH(QString, kind);
    QFETCH(double, value);
    QFETCH(double, reference);
    QFETCH(QString, words);
    const QString got = kind == u"rate" ? spelling::rate(value)
        : kind == u"percent"            ? spelling::percent(value)
        : kind == u"times"              ? spelling::times(value)
        : kind == u"cases"              ? spelling::cases(qint64(value))
        : kind == u"mean"               ? spelling::cases(value, 1)
                                        : summary::comparison(value, reference).words;
    QCOMPARE(got, words);
}

// The paragraph of a series of 2015 to 2021 (to 2020 without counts): its
// cases, per 100 000 of a population of 100 000 a year, or its values
// without counts; a text it holds and a pattern it must not.
void TestBatch::paragraph_data()
{
    QTest::addColumn<bool>("counts");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QString>("holds");
    QTest::addColumn<QString>("lacks");
    const auto row = [](const char *name, bool counts, QList<double> values, const char *holds,
                         const char *lacks) {
        QTest::newRow(name) << counts << values << QString::fromUtf8(holds)
                            << QString::fromUtf8(lacks);
    };
    row("a year without cases: last year's instead of percents", true, {3, 2, 4, 1, 2, 2, 0},
        "В 2021\u00A0г. случаев не зарегистрировано (в 2020\u00A0г. — 2\u00A0случая, 2,00 на "
        "100\u00A0тыс.). По ",
        "Это|%\\s+(ниже|выше)");
    row("two years without cases", true, {1, 0, 2, 1, 1, 0, 0},
        "В 2021\u00A0г., как и в 2020\u00A0г., случаев не зарегистрировано. По ", "Это");
    row("last year without cases: no comparison with 0", true, {3, 1, 2, 4, 2, 0, 3},
        "В 2021\u00A0г. зарегистрировано 3\u00A0случая при отсутствии случаев в 2020\u00A0г., "
        "показатель — 3,00 на 100\u00A0тыс. населения. Это на 50,0\u00A0% выше среднемноголетнего",
        "чем в 2020");
    row("one case", true, {1, 2, 0, 1, 3, 2, 1}, "В 2021\u00A0г. зарегистрирован 1\u00A0случай,",
        "");
    row("sporadic: a mean's genitive singular, before the trend", true, {1, 2, 0, 1, 3, 2, 1},
        "Заболеваемость спорадическая (в среднем 1,5\u00A0случая в год), оценки тенденции "
        "неустойчивы. Многолетняя тенденция",
        "");
    row("sporadic: a whole mean", true, {2, 2, 2, 2, 2, 2, 4}, "(в среднем 2,0\u00A0случая в год)",
        "");
    row("sporadic: a baseline without cases", true, {0, 0, 0, 0, 0, 0, 2},
        "Заболеваемость спорадическая (в 2015–2020\u00A0гг. случаев не зарегистрировано)", "");
    row("5 cases a year are not sporadic", true, {4, 6, 5, 5, 6, 4, 7}, "зарегистрировано 7",
        "спорадическая");
    row("21 cases", true, {18, 20, 25, 19, 22, 23, 21}, "зарегистрирован 21\u00A0случай,",
        "спорадическая");
    row("a joinpoint's interval", true, {11000, 11500, 11800, 12100, 12000, 12400, 12345},
        "Точка перелома: 2017\u00A0г.; без достоверного изменения с 2017\u00A0г. (95\u00A0% ДИ",
        "");
    row("without counts: as before", false, {10, 12, 11, 13, 12, 12},
        "В 2020\u00A0г. показатель составил 12,0. Это на том же уровне, что в 2019\u00A0г. (12,0), "
        "и на 3,4\u00A0% выше среднемноголетнего уровня 2015–2019\u00A0гг. (11,6).",
        "случа|населения");
}

void TestBatch::paragraph()
{
    QFETCH(bool, counts);
    QFETCH(QList<double>, values);
    QFETCH(QString, holds);
    QFETCH(QString, lacks);
    table::Series s;
    s.years = trend::seriesYears(2015, int(values.size()));
    for (const double v : values) {
        s.values.push_back(double(float(v)));
        s.exact.push_back(v);
    }
    if (counts) {
        s.cases.assign(values.begin(), values.end());
        s.population.assign(values.size(), 100000);
        s.unit = QStringLiteral("на 100 тыс.");
    }
    const QString text = summary::reportParagraph({analysis::analyse(s, {})});
    QVERIFY2(text.contains(holds), qPrintable(text));
    QVERIFY2(lacks.isEmpty() || !text.contains(QRegularExpression(lacks)), qPrintable(text));
    // A number is not left at a line's end apart from its unit.
    QVERIFY2(
        !text.contains(QRegularExpression("\\d (г\\.|гг\\.|%|тыс\\.|случа)")), qPrintable(text));
}

// A summary's numbers are spelled byte for byte as std::to_chars spells
// them: at each turn between the fixed and the scientific form, at the
// limits of a double and of the fast path, and over random doubles.
void TestBatch::shortest_data()
{
    QTest::addColumn<double>("x");
    const double rows[] = {0.0001, 0.00012, 0.00001, 0.000123456, 1e-7, 123456.789, 0.1, 1.0 / 3,
        -62.12999935150147, 55.400001525878906, 1e15, 1e16, 123456789012345.6, 9007199254740991.0,
        0x1p53, 9007199254740993.0, 1e21, 1.2345678901234567e21, 1e22, 1e100, 1e-100, 5e-324,
        1.7976931348623157e308, 2.2250738585072014e-308, -0.0, 0.0, 100, 7, -1.5e-5, 1e23,
        std::nan(""), HUGE_VAL, -HUGE_VAL};
    for (const double x : rows) {
        char name[32];
        *std::to_chars(name, name + 31, x).ptr = 0;
        QTest::newRow(name) << x;
    }
}

void TestBatch::shortest()
{
    QFETCH(double, x);
    std::mt19937_64 random(quint64(std::hash<double>()(x)));
    for (int i = 0; i < 20000; ++i) {
        char want[summary::ShortestRoom], got[summary::ShortestRoom];
        const auto wanted = std::to_chars(want, want + sizeof want, x).ptr - want;
        QCOMPARE(QByteArray(got, summary::shortest(got, x) - got), QByteArray(want, wanted));
        // Then random doubles about this one: neighbours in bits and in
        // decimals.
        const std::uint64_t bits = random();
        x = i % 2 ? std::ldexp(double(bits >> 11), int(bits % 120) - 100)
                  : double(std::int64_t(bits % 100000000000)) / std::pow(10.0, double(bits % 23));
    }
}

// Every text of a chart spells its numbers as the report does and stays
// inside the picture; a series never below 0 has its axis from 0 even where
// an interval reaches below, or from just under its forecast where that is
// below 0; of labels too wide for their years every other is drawn, and
// none where the forecast's stands.
void TestBatch::chartNumbers_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<bool>("joinpoints");
    QTest::addColumn<int>("labels");
    QTest::addColumn<QString>("lowest"); // the scale's lowest mark
    const auto row = [](const char *name, QList<double> values, bool joinpoints, int labels,
                         const char *lowest = "^0(,0+)?$") {
        QTest::newRow(name) << values << joinpoints << labels << QString::fromUtf8(lowest);
    };
    row("negative values", {-3.2, -1.5, 0.4, 2.1, 1.7, 3.9, 4.4}, false, 7, "^−\\d");
    row("rates below 0.1", {0.05, 0.031, 0.08, 0.022, 0.06, 0.012, 0.04, 0.09, 0.02}, true, 9);
    row("counts, a joinpoint",
        {55008, 52131, 49092, 46677, 44130, 41864, 43990, 46311, 48700, 51287, 53965, 56601}, true,
        12);
    row("intervals below 0, no value below", {1, 9.5, 2, 10.5, 1, 9, 2.5, 10, 1.5}, false, 9);
    // The forecast −1,25, its interval to −2,45.
    row("a forecast below 0, no value below", {6, 5, 4, 4, 2, 2, 1, 0, 0}, false, 9, "^−2$");
    row("zeros", QList<double>(6, 0.0), false, 6);
    QList<double> crowded;
    for (int i = 0; i < 21; ++i)
        crowded << 540000 + 137 * (i * 7 % 11);
    row("21 years of large counts", crowded, false, 10);
}

void TestBatch::chartNumbers()
{
    QFETCH(QList<double>, values);
    QFETCH(bool, joinpoints);
    QFETCH(int, labels);
    QFETCH(QString, lowest);
    table::Series s;
    s.labels = QStringList {QStringLiteral("Корь")};
    for (qsizetype i = 0; i <= values.size(); ++i)
        s.years.push_back(qint32(2010 + i));
    s.values = s.exact = std::vector<double>(values.begin(), values.end());
    analysis::AnalysisOptions o;
    o.report.expectedBy = stats::ExpectedBy::Prediction;
    if (!joinpoints)
        o.joinpoints.reset();
    const analysis::SeriesResult result = analysis::analyse(s, o);
    QStringList texts;
    int drawn = 0; // labels in the values' colour
    for (const auto &[fill, text] : svgTexts(summary::renderChart(
             summary::ChartFormat::Svg, {result}, QStringLiteral("на 100 тыс.")))) {
        drawn += fill == u"#1f4e9c";
        texts << text;
    }
    // After the title the scale's marks, from the lowest.
    QVERIFY2(texts.size() > 10 && texts[1].contains(QRegularExpression(lowest)),
        qPrintable(texts.join(u'|')));
    QCOMPARE(drawn, labels);
}

// A group's funnel plot, its first territory far above, spells its numbers
// as ours, keeps its texts inside, and names or numbers each territory.
void TestBatch::funnelChart_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("dispersion");
    QTest::newRow("3 territories") << 3 << 0.0;
    QTest::newRow("300 territories") << 300 << 0.0;
    QTest::newRow("over-dispersed") << 40 << 1.35;
}

void TestBatch::funnelChart()
{
    QFETCH(int, count);
    QFETCH(double, dispersion);
    summary::FunnelInput in {"Корь", 2024, 1e5, "на 100 тыс.", 42.5, dispersion, {}};
    std::mt19937 random(7);
    for (int i = 0; i < count; ++i) {
        const double population = std::round(std::pow(10, 3.7 + (random() % 2500) / 1000.0));
        const double cases = i ? std::poisson_distribution(population * 42.5e-5)(random) : 1e3;
        in.points.push_back({QStringLiteral("Район № %1").arg(i), population,
            cases / population * 1e5, stats::Funnel(i % 5), i % 5 == 0});
    }
    int drawn = 0; // names and numbers of the points
    for (const auto &[fill, text] : svgTexts(summary::renderFunnel(summary::ChartFormat::Svg, in)))
        drawn += fill != u"#000000" && (text.startsWith(u"Район") || text.toInt() > 0);
    QCOMPARE(drawn, count);
}

// The limits against SciPy (brentq on its regularised gamma functions, and
// its normal quantiles): exact, widened by φ, the exact wider, floored at 0.
void TestBatch::funnelLimit_data()
{
    QTest::addColumn<QList<double>>("args"); // population, tail, φ, the limit
    QTest::newRow("E 2.5, upper 95") << QList<double> {25e3, 0.975, 0, 25.97143386302567};
    QTest::newRow("E 10, lower 99.8") << QList<double> {1e5, 0.001, 0, 1.3714768455863302};
    QTest::newRow("E 100, upper 95, phi") << QList<double> {1e6, 0.975, 1.35, 12.277272361386988};
    QTest::newRow("E 2.5, phi, exact") << QList<double> {25e3, 0.999, 1.05, 36.38306524040266};
    QTest::newRow("E 5, lower 95, phi, 0") << QList<double> {5e4, 0.025, 1.35, 0};
}

void TestBatch::funnelLimit()
{
    QFETCH(QList<double>, args);
    const double got = summary::funnelLimit(args[0], 10, 1e5, args[1], args[2]);
    QVERIFY2(std::fabs(got - args[3]) <= 1e-9 * std::max(1.0, args[3]),
        qPrintable(QString::number(got, 'g', 17)));
}

#include "tst_batch.moc"
