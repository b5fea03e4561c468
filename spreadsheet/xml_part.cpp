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

std::string DocumentBytes(const pugi::xml_document& doc)
{
    StringWriter writer;
    writer.out = kXmlHeader;
    doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return writer.out;
}

pugi::xml_document ParseXml(const std::string& bytes, const std::string& part)
{
    pugi::xml_document doc;
    const pugi::xml_parse_result res =
        doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
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
