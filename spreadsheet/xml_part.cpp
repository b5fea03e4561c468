// Helpers for the XML parts of a package: parsing and printing, children in the order the file
// format wants them, attributes, and part names and relationship targets.
#include "spreadsheet/xml_part.h"

#include <algorithm>

namespace spreadsheet::xml {

// The order of a worksheet's children in the file format.
const std::vector<std::string>& WorksheetOrder()
{
    static const std::vector<std::string> order = {"sheetPr",
                                                   "dimension",
                                                   "sheetViews",
                                                   "sheetFormatPr",
                                                   "cols",
                                                   "sheetData",
                                                   "sheetCalcPr",
                                                   "sheetProtection",
                                                   "protectedRanges",
                                                   "scenarios",
                                                   "autoFilter",
                                                   "sortState",
                                                   "dataConsolidate",
                                                   "customSheetViews",
                                                   "mergeCells",
                                                   "phoneticPr",
                                                   "conditionalFormatting",
                                                   "dataValidations",
                                                   "hyperlinks",
                                                   "printOptions",
                                                   "pageMargins",
                                                   "pageSetup",
                                                   "headerFooter",
                                                   "rowBreaks",
                                                   "colBreaks",
                                                   "customProperties",
                                                   "cellWatches",
                                                   "ignoredErrors",
                                                   "smartTags",
                                                   "drawing",
                                                   "legacyDrawing",
                                                   "legacyDrawingHF",
                                                   "drawingHF",
                                                   "picture",
                                                   "oleObjects",
                                                   "controls",
                                                   "webPublishItems",
                                                   "tableParts",
                                                   "extLst"};
    return order;
}

const std::vector<std::string>& StylesOrder()
{
    static const std::vector<std::string> order = {"numFmts",      "fonts",   "fills",      "borders",
                                                   "cellStyleXfs", "cellXfs", "cellStyles", "dxfs",
                                                   "tableStyles",  "colors",  "extLst"};
    return order;
}

const std::vector<std::string>& WorkbookOrder()
{
    static const std::vector<std::string> order = {"fileVersion",    "fileSharing",
                                                   "workbookPr",     "workbookProtection",
                                                   "bookViews",      "sheets",
                                                   "functionGroups", "externalReferences",
                                                   "definedNames",   "calcPr",
                                                   "oleSize",        "customWorkbookViews",
                                                   "pivotCaches",    "smartTagPr",
                                                   "smartTagTypes",  "webPublishing",
                                                   "fileRecoveryPr", "webPublishObjects",
                                                   "extLst"};
    return order;
}

// The child of that name, made at its place in the order when missing.
pugi::xml_node OrderedChild(pugi::xml_node parent, const char* name, const std::vector<std::string>& order)
{
    if (pugi::xml_node existing = parent.child(name)) return existing;
    const auto pos = std::find(order.begin(), order.end(), name);
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        const auto childPos = std::find(order.begin(), order.end(), child.name());
        if (childPos != order.end() && childPos > pos) return parent.insert_child_before(name, child);
    }
    return parent.append_child(name);
}

namespace {

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, std::size_t size) override { out.append(static_cast<const char*>(data), size); }
};

}  // namespace

std::string SaveXml(const pugi::xml_node& node, bool header)
{
    StringWriter writer;
    if (header) writer.out = kXmlHeader;
    node.print(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return writer.out;
}

std::string DocumentBytes(const pugi::xml_document& doc, std::size_t sizeHint)
{
    StringWriter writer;
    if (sizeHint > 0) writer.out.reserve(sizeHint + sizeHint / 8 + 4096);  // one block, not doubling ones
    writer.out += kXmlHeader;
    doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return writer.out;
}

namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_embed_pcdata;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

// The parser makes a node of each element and CDATA section and of each text that is not an
// element's first child (that one is kept in the element); a text of white space only is kept
// when an end tag follows it. Comments, processing instructions and the document type make
// none. Every attribute has one '=' outside quotes.
XmlCounts CountXml(std::string_view s)
{
    XmlCounts counts;
    counts.bytes = s.size();
    const std::size_t n = s.size();
    auto skipPast = [&](std::size_t from, std::string_view end) {
        const std::size_t at = s.find(end, from);
        return at == std::string_view::npos ? n : at + end.size();
    };
    bool firstChild = false;  // text here would be the first child of an element just opened
    std::size_t i = 0;
    while (i < n) {
        if (s[i] != '<') {
            std::size_t end = s.find('<', i);
            if (end == std::string_view::npos) end = n;
            bool blank = true;
            for (std::size_t k = i; k < end && blank; ++k) blank = IsXmlSpace(s[k]);
            const bool endTagFollows = end + 1 < n && s[end + 1] == '/';
            if ((!blank || endTagFollows) && !firstChild) ++counts.nodes;
            firstChild = false;
            i = end;
            continue;
        }
        const std::string_view rest = s.substr(i);
        if (rest.starts_with("<!--")) {
            i = skipPast(i + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            ++counts.nodes;
            firstChild = false;
            i = skipPast(i + 9, "]]>");
        } else if (rest.starts_with("<?")) {
            i = skipPast(i + 2, "?>");
        } else if (rest.starts_with("<!")) {
            i = skipPast(i + 2, ">");
        } else if (rest.starts_with("</")) {
            firstChild = false;
            i = skipPast(i + 2, ">");
        } else {
            ++counts.nodes;
            char last = 0;
            std::size_t k = i + 1;
            for (; k < n && s[k] != '>'; ++k) {
                const char c = s[k];
                if (c == '"' || c == '\'') {
                    const std::size_t close = s.find(c, k + 1);
                    k = close == std::string_view::npos ? n - 1 : close;
                } else if (c == '=') {
                    ++counts.attributes;
                }
                if (!IsXmlSpace(c)) last = c;
            }
            firstChild = k < n && last != '/';
            i = k < n ? k + 1 : n;
        }
    }
    return counts;
}

void XmlBudget::Charge(std::string_view bytes)
{
    const XmlCounts counts = CountXml(bytes);
    m_used.bytes += counts.bytes;
    m_used.nodes += counts.nodes;
    m_used.attributes += counts.attributes;
    Check();
}

void XmlBudget::ChargeAttributes(std::uint64_t count)
{
    m_used.attributes += count;
    Check();
}

void XmlBudget::Check() const
{
    if (m_used.bytes > m_limits.bytes) {
        const std::uint64_t mb = 1024 * 1024;
        throw XlsxError("its XML parts unpack to more than " + (m_limits.bytes % mb == 0
                                                                    ? std::to_string(m_limits.bytes / mb) + " MB"
                                                                    : std::to_string(m_limits.bytes) + " bytes"));
    }
    if (m_used.nodes > m_limits.nodes)
        throw XlsxError("its XML parts hold more than " + std::to_string(m_limits.nodes) + " elements and texts");
    if (m_used.attributes > m_limits.attributes)
        throw XlsxError("its XML parts hold more than " + std::to_string(m_limits.attributes) + " attributes");
}

void CheckListSize(pugi::xml_node parent, const char* name, const std::string& where, const std::string& what)
{
    std::size_t count = 0;
    for (pugi::xml_node child = parent.child(name); child; child = child.next_sibling(name))
        if (++count > kMaxListEntries)
            throw XlsxError(where + " holds more than " + std::to_string(kMaxListEntries) + " " + what);
}

pugi::xml_document ParseXml(const std::string& bytes, const std::string& part)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result res = doc.load_buffer(bytes.data(), bytes.size(), kParseOptions);
    if (!res) throw XlsxError("the part " + part + " is not well-formed XML (" + res.description() + ")");
    return doc;
}

std::string PartFolder(const std::string& part)
{
    const std::size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

std::string RelsPartFor(const std::string& part)
{
    const std::size_t slash = part.rfind('/');
    if (slash == std::string::npos) return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

// A relationship target relative to the folder of the part that holds it, as a part name.
std::string ResolveTarget(const std::string& sourcePart, const std::string& target)
{
    std::string joined = !target.empty() && target[0] == '/' ? target.substr(1) : PartFolder(sourcePart) + target;
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t slash = joined.find('/', start);
        if (slash == std::string::npos) slash = joined.size();
        const std::string piece = joined.substr(start, slash - start);
        if (piece == "..") {
            if (!pieces.empty()) pieces.pop_back();
        } else if (!piece.empty() && piece != ".") {
            pieces.push_back(piece);
        }
        start = slash + 1;
    }
    std::string out;
    for (const std::string& p : pieces) out += (out.empty() ? "" : "/") + p;
    return out;
}

bool EndsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

int IntAttr(pugi::xml_node node, const char* name, int fallback)
{
    pugi::xml_attribute a = node.attribute(name);
    return a ? a.as_int(fallback) : fallback;
}

void SetOrRemove(pugi::xml_node node, const char* name, const std::string& value)
{
    if (value.empty()) {
        node.remove_attribute(name);
    } else {
        pugi::xml_attribute a = node.attribute(name);
        if (!a) a = node.append_attribute(name);
        a.set_value(value.c_str());
    }
}

void SetAttr(pugi::xml_node node, const char* name, const std::string& value)
{
    pugi::xml_attribute a = node.attribute(name);
    if (!a) a = node.append_attribute(name);
    a.set_value(value.c_str());
}

std::string InlineText(pugi::xml_node holder)
{
    // <t> directly, or runs <r><t>..</t></r>; phonetic runs (<rPh>) are not part of the value.
    if (pugi::xml_node t = holder.child("t")) return t.text().get();
    std::string out;
    for (pugi::xml_node r : holder.children("r")) out += r.child("t").text().get();
    return out;
}

}  // namespace spreadsheet::xml
