// SPDX-License-Identifier: MIT
// The document as OpenDocument text, written as XML here: the toolkit's
// own writer gives a table no valid column widths, no header rows and no
// landscape page, and a paragraph no "keep with the next".
#include "summary/documentpages.h"

#include <QObject>
#include <QXmlStreamWriter>

#include <zip.h>

#include <cmath>
#include <memory>

namespace summary::pages {

namespace {

const QString Office = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0");
const QString Style = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0");
const QString Text = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString TableNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QString Draw = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0");
const QString Fo = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0");
const QString Svg = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0");
const QString XLink = QStringLiteral("http://www.w3.org/1999/xlink");
const QString Dc = QStringLiteral("http://purl.org/dc/elements/1.1/");
const QString Meta = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:meta:1.0");
const QString Manifest = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0");
const QString Version = QStringLiteral("1.3");

QString points(double x)
{
    return QString::number(x, 'f', 2) + QStringLiteral("pt");
}

// A label may hold what XML cannot: control characters become spaces.
QString xmlSafe(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            c = u' ';
    }
    return text;
}

class Xml
{
public:
    Xml()
        : w(&bytes)
    {
        w.writeStartDocument();
    }
    QXmlStreamWriter *operator->() { return &w; }
    QByteArray done()
    {
        w.writeEndDocument();
        return bytes;
    }

    // <style:style name family [parent]> with its properties element.
    void style(const QString &name, const char *family, const QString &parent = {},
        const QString &masterPage = {})
    {
        w.writeStartElement(Style, QStringLiteral("style"));
        w.writeAttribute(Style, QStringLiteral("name"), name);
        w.writeAttribute(Style, QStringLiteral("family"), QLatin1String(family));
        if (!parent.isEmpty())
            w.writeAttribute(Style, QStringLiteral("parent-style-name"), parent);
        if (!masterPage.isEmpty())
            w.writeAttribute(Style, QStringLiteral("master-page-name"), masterPage);
    }
    void properties(const char *kind, std::initializer_list<std::pair<QString, QString>> attributes)
    {
        w.writeStartElement(Style, QLatin1String(kind));
        for (const auto &[name, value] : attributes) {
            const qsizetype colon = name.indexOf(u':');
            const QString prefix = name.left(colon), local = name.mid(colon + 1);
            w.writeAttribute(prefix == u"fo" ? Fo
                    : prefix == u"table"     ? TableNs
                                             : Style,
                local, value);
        }
        w.writeEndElement();
    }
    // A paragraph style of the body: its paragraph and text properties.
    void paragraphStyle(const QString &name, const QString &parent,
        std::initializer_list<std::pair<QString, QString>> paragraph,
        std::initializer_list<std::pair<QString, QString>> text = {})
    {
        style(name, "paragraph", parent);
        properties("paragraph-properties", paragraph);
        if (text.size() > 0)
            properties("text-properties", text);
        w.writeEndElement();
    }
    void paragraph(const QString &styleName, const QString &text, bool heading = false)
    {
        w.writeStartElement(Text, heading ? QStringLiteral("h") : QStringLiteral("p"));
        w.writeAttribute(Text, QStringLiteral("style-name"), styleName);
        if (heading)
            w.writeAttribute(Text, QStringLiteral("outline-level"), QStringLiteral("2"));
        w.writeCharacters(xmlSafe(text));
        w.writeEndElement();
    }

private:
    QByteArray bytes;
    QXmlStreamWriter w;
};

void rootElement(Xml &x, const QString &name)
{
    x->writeNamespace(Office, QStringLiteral("office"));
    x->writeNamespace(Style, QStringLiteral("style"));
    x->writeNamespace(Text, QStringLiteral("text"));
    x->writeNamespace(TableNs, QStringLiteral("table"));
    x->writeNamespace(Draw, QStringLiteral("draw"));
    x->writeNamespace(Fo, QStringLiteral("fo"));
    x->writeNamespace(Svg, QStringLiteral("svg"));
    x->writeNamespace(XLink, QStringLiteral("xlink"));
    x->writeStartElement(Office, name);
    x->writeAttribute(Office, QStringLiteral("version"), Version);
    x->writeStartElement(Office, QStringLiteral("font-face-decls"));
    x->writeStartElement(Style, QStringLiteral("font-face"));
    x->writeAttribute(Style, QStringLiteral("name"), QLatin1String(OfficeFace));
    x->writeAttribute(
        Svg, QStringLiteral("font-family"), QStringLiteral("'%1'").arg(QLatin1String(OfficeFace)));
    x->writeAttribute(Style, QStringLiteral("font-family-generic"), QStringLiteral("roman"));
    x->writeAttribute(Style, QStringLiteral("font-pitch"), QStringLiteral("variable"));
    x->writeEndElement();
    x->writeEndElement();
}

void pageLayout(Xml &x, const QString &name, const Page &page, bool landscape)
{
    x->writeStartElement(Style, QStringLiteral("page-layout"));
    x->writeAttribute(Style, QStringLiteral("name"), name);
    x.properties("page-layout-properties",
        {{"fo:page-width", points(page.width)}, {"fo:page-height", points(page.height)},
            {"style:print-orientation", landscape ? "landscape" : "portrait"},
            {"fo:margin-left", points(page.left)}, {"fo:margin-right", points(page.right)},
            {"fo:margin-top", points(page.top)}, {"fo:margin-bottom", points(page.bottom)}});
    x->writeEndElement();
}

// The named styles: the body's face and size, the parts of a section kept
// together, and the two kinds of page.
QByteArray stylesXml()
{
    Xml x;
    rootElement(x, QStringLiteral("document-styles"));
    const QString size = points(BodySize);
    x->writeStartElement(Office, QStringLiteral("styles"));
    x->writeStartElement(Style, QStringLiteral("default-style"));
    x->writeAttribute(Style, QStringLiteral("family"), QStringLiteral("paragraph"));
    x.properties("text-properties",
        {{"style:font-name", OfficeFace}, {"fo:font-size", size}, {"fo:language", "ru"},
            {"fo:country", "RU"}, {"fo:hyphenate", "false"}});
    x->writeEndElement();
    x.paragraphStyle(QStringLiteral("Standard"), {}, {});
    x.paragraphStyle(QStringLiteral("Title"), QStringLiteral("Standard"),
        {{"fo:text-align", "center"}, {"fo:margin-bottom", points(6)}},
        {{"fo:font-size", points(TitleSize)}, {"fo:font-weight", "bold"}});
    x.paragraphStyle(QStringLiteral("Subtitle"), QStringLiteral("Standard"),
        {{"fo:text-align", "center"}, {"fo:margin-bottom", points(4)}});
    // A heading never stands alone at a page's foot, nor a chart without
    // its paragraph; the paragraph is not split.
    x.paragraphStyle(QStringLiteral("Heading"), QStringLiteral("Standard"),
        {{"fo:keep-with-next", "always"}, {"fo:margin-top", points(HeadingAbove)},
            {"fo:margin-bottom", points(HeadingBelow)}},
        {{"fo:font-size", points(HeadingSize)}, {"fo:font-weight", "bold"}});
    x.paragraphStyle(QStringLiteral("Chart"), QStringLiteral("Standard"),
        {{"fo:text-align", "center"}, {"fo:keep-with-next", "always"},
            {"fo:margin-bottom", points(ChartBelow)}});
    x.paragraphStyle(QStringLiteral("Text"), QStringLiteral("Standard"),
        {{"fo:text-align", "justify"}, {"fo:keep-together", "always"},
            {"fo:margin-bottom", points(ParagraphBelow)}, {"fo:orphans", "2"}, {"fo:widows", "2"}});
    // The note on methods is read whole: where the table leaves it no room,
    // it goes to the next page, as in the PDF.
    x.paragraphStyle(QStringLiteral("Methods"), QStringLiteral("Standard"),
        {{"fo:text-align", "justify"}, {"fo:margin-top", points(8)},
            {"fo:keep-together", "always"}},
        {{"fo:font-size", points(NoteSize)}});
    x.paragraphStyle(QStringLiteral("Cell"), QStringLiteral("Standard"), {},
        {{"fo:font-size", points(CellSize)}});
    x.paragraphStyle(
        QStringLiteral("CellNumber"), QStringLiteral("Cell"), {{"fo:text-align", "end"}});
    x.paragraphStyle(QStringLiteral("CellHead"), QStringLiteral("Cell"),
        {{"fo:text-align", "center"}}, {{"fo:font-weight", "bold"}});
    x->writeEndElement();
    x->writeStartElement(Office, QStringLiteral("automatic-styles"));
    pageLayout(x, QStringLiteral("Upright"), Portrait, false);
    pageLayout(x, QStringLiteral("Sideways"), Landscape, true);
    x->writeEndElement();
    x->writeStartElement(Office, QStringLiteral("master-styles"));
    for (const auto &[master, layout] :
        {std::pair {"Standard", "Upright"}, {"Landscape", "Sideways"}}) {
        x->writeStartElement(Style, QStringLiteral("master-page"));
        x->writeAttribute(Style, QStringLiteral("name"), QLatin1String(master));
        x->writeAttribute(Style, QStringLiteral("page-layout-name"), QLatin1String(layout));
        x->writeEndElement();
    }
    x->writeEndElement();
    x->writeEndElement();
    return x.done();
}

// The table's styles: its width, a column's, a row that is not split, a
// cell's borders.
void tableStyles(Xml &x, const TableLayout &layout, const QString &name, bool cells)
{
    const double width = (layout.landscape ? Landscape : Portrait).textWidth();
    x.style(name, "table");
    x.properties("table-properties",
        {{"style:width", points(width)}, {"table:align", "margins"}, {"fo:margin-top", points(6)},
            {"fo:margin-bottom", points(6)}});
    x->writeEndElement();
    // In hundredths of a point, the last column taking what rounding left.
    qint64 left = std::llround(width * 100);
    for (std::size_t c = 0; c < layout.widths.size(); ++c) {
        const qint64 w
            = c + 1 == layout.widths.size() ? left : std::llround(layout.widths[c] * 100);
        left -= w;
        x.style(QStringLiteral("%1.C%2").arg(name).arg(c + 1), "table-column");
        x.properties("table-column-properties",
            {{"style:column-width", points(w / 100.0)},
                {"style:rel-column-width", QStringLiteral("%1*").arg(w)}});
        x->writeEndElement();
    }
    if (!cells)
        return;
    x.style(QStringLiteral("Series.Row"), "table-row");
    x.properties("table-row-properties", {{"fo:keep-together", "always"}});
    x->writeEndElement();
    for (const auto &[name, shade] : {std::pair {"Series.Cell", ""}, {"Series.Head", "#e6e6e6"}}) {
        x.style(QLatin1String(name), "table-cell");
        x->writeStartElement(Style, QStringLiteral("table-cell-properties"));
        x->writeAttribute(Fo, QStringLiteral("padding"), points(CellPadding));
        x->writeAttribute(Fo, QStringLiteral("border"), QStringLiteral("0.5pt solid #000000"));
        if (*shade)
            x->writeAttribute(Fo, QStringLiteral("background-color"), QLatin1String(shade));
        x->writeEndElement();
        x->writeEndElement();
    }
}

void tableRow(Xml &x, const QStringList &cells, const std::vector<bool> &numeric, bool head)
{
    x->writeStartElement(TableNs, QStringLiteral("table-row"));
    x->writeAttribute(TableNs, QStringLiteral("style-name"), QStringLiteral("Series.Row"));
    for (qsizetype c = 0; c < cells.size(); ++c) {
        x->writeStartElement(TableNs, QStringLiteral("table-cell"));
        x->writeAttribute(TableNs, QStringLiteral("style-name"),
            head ? QStringLiteral("Series.Head") : QStringLiteral("Series.Cell"));
        x->writeAttribute(Office, QStringLiteral("value-type"), QStringLiteral("string"));
        x.paragraph(head                  ? QStringLiteral("CellHead")
                : numeric[std::size_t(c)] ? QStringLiteral("CellNumber")
                                          : QStringLiteral("Cell"),
            cells[c]);
        x->writeEndElement();
    }
    x->writeEndElement();
}

void seriesTable(Xml &x, const Document::Table &table, const TableLayout &layout,
    const QString &style, const QString &name)
{
    x->writeStartElement(TableNs, QStringLiteral("table"));
    x->writeAttribute(TableNs, QStringLiteral("name"), name);
    x->writeAttribute(TableNs, QStringLiteral("style-name"), style);
    for (std::size_t c = 0; c < layout.widths.size(); ++c) {
        x->writeStartElement(TableNs, QStringLiteral("table-column"));
        x->writeAttribute(
            TableNs, QStringLiteral("style-name"), QStringLiteral("%1.C%2").arg(style).arg(c + 1));
        x->writeEndElement();
    }
    x->writeStartElement(TableNs, QStringLiteral("table-header-rows"));
    tableRow(x, table.header, table.numeric, true);
    x->writeEndElement();
    for (const QStringList &row : table.rows)
        tableRow(x, row, table.numeric, false);
    x->writeEndElement();
}

// A chart as a picture of its own line, printed ChartWidth wide.
void picture(Xml &x, const QString &name, const QString &path)
{
    x->writeStartElement(Text, QStringLiteral("p"));
    x->writeAttribute(Text, QStringLiteral("style-name"), QStringLiteral("Chart"));
    x->writeStartElement(Draw, QStringLiteral("frame"));
    x->writeAttribute(Draw, QStringLiteral("style-name"), QStringLiteral("Picture"));
    x->writeAttribute(Draw, QStringLiteral("name"), name);
    x->writeAttribute(Text, QStringLiteral("anchor-type"), QStringLiteral("as-char"));
    x->writeAttribute(Svg, QStringLiteral("width"), points(ChartWidth));
    x->writeAttribute(Svg, QStringLiteral("height"), points(ChartHeight));
    x->writeStartElement(Draw, QStringLiteral("image"));
    x->writeAttribute(XLink, QStringLiteral("href"), path);
    x->writeAttribute(XLink, QStringLiteral("type"), QStringLiteral("simple"));
    x->writeAttribute(XLink, QStringLiteral("show"), QStringLiteral("embed"));
    x->writeAttribute(XLink, QStringLiteral("actuate"), QStringLiteral("onLoad"));
    x->writeEndElement();
    x->writeEndElement();
    x->writeEndElement();
}

QByteArray contentXml(const Document &d)
{
    const Document::Table table = d.table();
    const TableLayout layout = tableLayout(table);
    Xml x;
    rootElement(x, QStringLiteral("document-content"));
    x->writeStartElement(Office, QStringLiteral("automatic-styles"));
    // The first part on the table's pages; the sections upright, from a
    // page of their own.
    x.style(QStringLiteral("First"), "paragraph", QStringLiteral("Title"),
        QLatin1String(layout.landscape ? "Landscape" : "Standard"));
    x->writeEndElement();
    x.style(QStringLiteral("FirstHeading"), "paragraph", QStringLiteral("Heading"),
        QStringLiteral("Standard"));
    x->writeEndElement();
    tableStyles(x, layout, QStringLiteral("Series"), true);
    const auto &sections = d.parts();
    // Each group's table of territories, upright, columns of its own.
    std::vector<TableLayout> territoryLayouts(sections.size());
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (!sections[i].territories)
            continue;
        territoryLayouts[i] = tableLayout(sections[i].territories->table, false);
        tableStyles(x, territoryLayouts[i], QStringLiteral("Territories%1").arg(i + 1), false);
    }
    x.style(QStringLiteral("Picture"), "graphic");
    x.properties(
        "graphic-properties", {{"style:vertical-pos", "top"}, {"style:vertical-rel", "baseline"}});
    x->writeEndElement();
    x->writeEndElement();

    x->writeStartElement(Office, QStringLiteral("body"));
    x->writeStartElement(Office, QStringLiteral("text"));
    x.paragraph(QStringLiteral("First"), d.title());
    x.paragraph(QStringLiteral("Subtitle"), d.info().tableName);
    x.paragraph(QStringLiteral("Subtitle"), d.coverage());

    if (!table.rows.empty())
        seriesTable(x, table, layout, QStringLiteral("Series"), QObject::tr("Ряды"));
    if (!d.info().methods.isEmpty())
        x.paragraph(QStringLiteral("Methods"), d.info().methods);

    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Document::Section &s = sections[i];
        x.paragraph(
            i == 0 ? QStringLiteral("FirstHeading") : QStringLiteral("Heading"), s.heading, true);
        picture(x, QObject::tr("Рисунок %1").arg(i + 1),
            QStringLiteral("Pictures/chart%1.png").arg(i + 1));
        x.paragraph(QStringLiteral("Text"), s.paragraph);
        if (const auto &t = s.territories) {
            x.paragraph(QStringLiteral("Heading"), t->heading, true);
            if (!t->chart.isEmpty())
                picture(x, QObject::tr("Воронка %1").arg(i + 1),
                    QStringLiteral("Pictures/funnel%1.png").arg(i + 1));
            seriesTable(x, t->table, territoryLayouts[i],
                QStringLiteral("Territories%1").arg(i + 1),
                QObject::tr("Территории %1").arg(i + 1));
            x.paragraph(QStringLiteral("Text"), t->paragraph);
        }
    }
    x->writeEndElement();
    x->writeEndElement();
    x->writeEndElement();
    return x.done();
}

QByteArray metaXml(const Document &d)
{
    Xml x;
    x->writeNamespace(Office, QStringLiteral("office"));
    x->writeNamespace(Dc, QStringLiteral("dc"));
    x->writeNamespace(Meta, QStringLiteral("meta"));
    x->writeStartElement(Office, QStringLiteral("document-meta"));
    x->writeAttribute(Office, QStringLiteral("version"), Version);
    x->writeStartElement(Office, QStringLiteral("meta"));
    x->writeTextElement(Meta, QStringLiteral("generator"), QStringLiteral("Vantorel"));
    x->writeTextElement(Dc, QStringLiteral("title"), xmlSafe(d.title()));
    x->writeTextElement(Dc, QStringLiteral("language"), QStringLiteral("ru-RU"));
    x->writeEndElement();
    x->writeEndElement();
    return x.done();
}

QByteArray manifestXml(const Document &d)
{
    Xml x;
    x->writeNamespace(Manifest, QStringLiteral("manifest"));
    x->writeStartElement(Manifest, QStringLiteral("manifest"));
    x->writeAttribute(Manifest, QStringLiteral("version"), Version);
    const auto entry = [&](const QString &path, const char *type) {
        x->writeStartElement(Manifest, QStringLiteral("file-entry"));
        x->writeAttribute(Manifest, QStringLiteral("full-path"), path);
        if (path == u"/")
            x->writeAttribute(Manifest, QStringLiteral("version"), Version);
        x->writeAttribute(Manifest, QStringLiteral("media-type"), QLatin1String(type));
        x->writeEndElement();
    };
    entry(QStringLiteral("/"), "application/vnd.oasis.opendocument.text");
    for (const char *part : {"content.xml", "styles.xml", "meta.xml"})
        entry(QLatin1String(part), "text/xml");
    for (std::size_t i = 1; i <= d.parts().size(); ++i) {
        entry(QStringLiteral("Pictures/chart%1.png").arg(i), "image/png");
        const auto &t = d.parts()[i - 1].territories;
        if (t && !t->chart.isEmpty())
            entry(QStringLiteral("Pictures/funnel%1.png").arg(i), "image/png");
    }
    x->writeEndElement();
    return x.done();
}

// An archive made in memory by libzip.
class Archive
{
public:
    Archive()
    {
        zip_error_init(&error);
        source = zip_source_buffer_create(nullptr, 0, 0, &error);
        if (source)
            zip = zip_open_from_source(source, ZIP_TRUNCATE, &error);
        // Kept past zip_close(), which would free it, to be read back.
        if (zip)
            zip_source_keep(source);
    }
    ~Archive()
    {
        if (zip)
            zip_discard(zip);
        if (source)
            zip_source_free(source);
        zip_error_fini(&error);
    }
    // The bytes stay the caller's until close(). Stored as they are where
    // squeezing gains nothing: the type's name, which must come first
    // and plain, and the pictures.
    bool add(const char *name, const QByteArray &bytes, bool stored)
    {
        if (!zip)
            return false;
        zip_source_t *part
            = zip_source_buffer(zip, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        const zip_int64_t at = part ? zip_file_add(zip, name, part, ZIP_FL_ENC_UTF_8) : -1;
        if (at < 0) {
            zip_source_free(part);
            return false;
        }
        // A fixed time: the same run makes the same file.
        return zip_file_set_mtime(zip, zip_uint64_t(at), 315532800 + 86400 * 366 * 20, 0) == 0
            && zip_set_file_compression(
                   zip, zip_uint64_t(at), stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0)
            == 0;
    }
    bool close(QByteArray *out)
    {
        if (!zip || zip_close(zip) != 0)
            return false;
        zip = nullptr;
        if (zip_source_open(source) != 0)
            return false;
        zip_stat_t st;
        zip_stat_init(&st);
        bool whole = zip_source_stat(source, &st) == 0 && (st.valid & ZIP_STAT_SIZE);
        if (whole) {
            out->resize(qsizetype(st.size));
            whole = zip_source_read(source, out->data(), st.size) == zip_int64_t(st.size);
        }
        zip_source_close(source);
        return whole;
    }

private:
    zip_error_t error;
    zip_source_t *source = nullptr;
    zip_t *zip = nullptr;
};

} // namespace

bool writeOdt(const Document &document, QByteArray *out, QString *why)
{
    const QByteArray type = "application/vnd.oasis.opendocument.text";
    const QByteArray content = contentXml(document), styles = stylesXml(), meta = metaXml(document),
                     manifest = manifestXml(document);
    Archive archive;
    bool made = archive.add("mimetype", type, true) && archive.add("content.xml", content, false)
        && archive.add("styles.xml", styles, false) && archive.add("meta.xml", meta, false)
        && archive.add("META-INF/manifest.xml", manifest, false);
    std::vector<QByteArray> names;
    for (std::size_t i = 0; made && i < document.parts().size(); ++i) {
        names.push_back(QStringLiteral("Pictures/chart%1.png").arg(i + 1).toUtf8());
        made = archive.add(names.back().constData(), document.parts()[i].chart, true);
        const auto &t = document.parts()[i].territories;
        if (made && t && !t->chart.isEmpty()) {
            names.push_back(QStringLiteral("Pictures/funnel%1.png").arg(i + 1).toUtf8());
            made = archive.add(names.back().constData(), t->chart, true);
        }
    }
    if (made && archive.close(out))
        return true;
    *why = QObject::tr("не удалось составить ODT");
    return false;
}

} // namespace summary::pages
