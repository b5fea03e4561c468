// The workbook: the package's parts, its sheets, styles and shared strings, and building the
// package again on save.
#include <algorithm>
#include <map>

#include "spreadsheet/package_io.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/xml_part.h"

namespace spreadsheet {

using namespace xml;

Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::Load(const std::string& path, const ReadLimits& limits)
{
    auto book = std::unique_ptr<Workbook>(new Workbook);
    for (auto& [name, bytes] : ReadPackage(path, limits.package)) {
        book->m_order.push_back(name);
        book->m_parts.emplace(std::move(name), std::move(bytes));
    }
    try {
        book->Parse(limits.xml);
    } catch (const XlsxError& e) {
        throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: " + e.what() + ".");
    }
    return book;
}

std::unique_ptr<Workbook> Workbook::CreateNew()
{
    auto book = std::unique_ptr<Workbook>(new Workbook);
    const std::string header = kXmlHeader;
    book->SetPart(
        "[Content_Types].xml",
        header +
            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/xl/workbook.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
            "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
            "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
            "<Override PartName=\"/xl/styles.xml\" ContentType=\"" +
            kStylesContentType +
            "\"/>"
            "</Types>");
    book->SetPart("_rels/.rels",
                  header + "<Relationships xmlns=\"" + kPkgRelNs +
                      "\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                      "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    book->SetPart("xl/workbook.xml",
                  header + "<workbook xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs +
                      "\"><bookViews><workbookView/></bookViews><sheets><sheet name=\"Sheet1\" sheetId=\"1\" "
                      "r:id=\"rId1\"/></sheets><calcPr calcId=\"191029\"/></workbook>");
    book->SetPart("xl/_rels/workbook.xml.rels",
                  header + "<Relationships xmlns=\"" + kPkgRelNs +
                      "\"><Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
                      "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
                      "Type=\"" +
                      kStylesType + "\" Target=\"styles.xml\"/></Relationships>");
    book->SetPart("xl/worksheets/sheet1.xml",
                  header + "<worksheet xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs +
                      "\"><dimension ref=\"A1\"/><sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/>"
                      "</sheetViews><sheetFormatPr defaultRowHeight=\"15\"/><sheetData/><pageMargins left=\"0.7\" "
                      "right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/></worksheet>");
    book->SetPart("xl/styles.xml", Styles::MinimalPart());
    book->Parse(XmlLimits{});
    return book;
}

void Workbook::SetPart(const std::string& name, std::string bytes)
{
    auto [it, added] = m_parts.insert_or_assign(name, std::move(bytes));
    if (added) m_order.push_back(name);
}

const std::string& Workbook::PartBytes(const std::string& name) const
{
    static const std::string none;
    const auto it = m_parts.find(name);
    return it == m_parts.end() ? none : it->second;
}

// Every XML part the workbook parses is charged against the limits before it is parsed: the
// relationships and the workbook part one by one, as they name the others, then the sheets,
// styles, shared strings and content types together, before any of those is parsed.
void Workbook::Parse(const XmlLimits& limits)
{
    XmlBudget budget(limits);
    if (!m_parts.count("[Content_Types].xml")) throw XlsxError("the package has no content types");
    budget.Charge(PartBytes("_rels/.rels"));
    const pugi::xml_document rootRels = ParseXml(PartBytes("_rels/.rels"), "_rels/.rels");
    for (pugi::xml_node rel : rootRels.child("Relationships").children("Relationship")) {
        if (EndsWith(rel.attribute("Type").value(), "/officeDocument")) {
            m_workbookPart = ResolveTarget("", rel.attribute("Target").value());
            break;
        }
    }
    if (m_workbookPart.empty() || !m_parts.count(m_workbookPart)) throw XlsxError("the package has no workbook part");
    budget.Charge(PartBytes(m_workbookPart));
    const pugi::xml_document workbook = ParseXml(PartBytes(m_workbookPart), m_workbookPart);
    pugi::xml_node root = workbook.child("workbook");
    if (!root) throw XlsxError("the workbook part holds no workbook");
    const std::string relsPart = RelsPartFor(m_workbookPart);
    budget.Charge(PartBytes(relsPart));
    const pugi::xml_document rels = ParseXml(PartBytes(relsPart), relsPart);
    CheckListSize(rels.child("Relationships"), "Relationship", "the part " + relsPart, "relationships");
    CheckListSize(root.child("sheets"), "sheet", "the workbook", "sheets");
    std::map<std::string, std::pair<std::string, std::string>> byId;  // id -> (type, part)
    for (pugi::xml_node rel : rels.child("Relationships").children("Relationship")) {
        if (std::string(rel.attribute("TargetMode").value()) == "External") continue;
        const std::string type = rel.attribute("Type").value();
        const std::string part = ResolveTarget(m_workbookPart, rel.attribute("Target").value());
        byId[rel.attribute("Id").value()] = {type, part};
        if (EndsWith(type, "/styles")) m_stylesPart = part;
        if (EndsWith(type, "/sharedStrings")) m_sharedStringsPart = part;
    }
    std::vector<bool> isWorksheet;
    for (pugi::xml_node sheet : root.child("sheets").children("sheet")) {
        std::string id;
        for (pugi::xml_attribute a : sheet.attributes())
            if (EndsWith(a.name(), ":id")) id = a.value();
        const auto it = byId.find(id);
        if (it == byId.end() || !m_parts.count(it->second.second))
            throw XlsxError("the sheet \"" + std::string(sheet.attribute("name").value()) + "\" has no part");
        m_sheets.push_back({sheet.attribute("name").value(), it->second.second, nullptr});
        isWorksheet.push_back(EndsWith(it->second.first, "/worksheet"));
        if (isWorksheet.back()) budget.Charge(PartBytes(m_sheets.back().part));
    }
    if (m_sheets.empty()) throw XlsxError("the workbook has no sheet");
    budget.Charge(PartBytes(m_stylesPart));
    budget.Charge(PartBytes(m_sharedStringsPart));
    budget.Charge(PartBytes("[Content_Types].xml"));
    for (std::size_t i = 0; i < m_sheets.size(); ++i) {
        SheetEntry& entry = m_sheets[i];
        if (isWorksheet[i])
            entry.sheet =
                std::make_unique<Worksheet>(*this, entry.part, ParseXml(PartBytes(entry.part), entry.part), &budget);
    }
    if (!m_stylesPart.empty() && m_parts.count(m_stylesPart)) {
        m_styles = std::make_unique<Styles>();
        m_styles->Load(ParseXml(PartBytes(m_stylesPart), m_stylesPart));
    }
}

Worksheet* Workbook::SheetAt(std::size_t index) { return m_sheets.at(index).sheet.get(); }

void Workbook::AddRelationshipAndType(const std::string& target, const std::string& type,
                                      const std::string& contentType)
{
    const std::string relsPart = RelsPartFor(m_workbookPart);
    pugi::xml_document rels = ParseXml(PartBytes(relsPart), relsPart);
    pugi::xml_node root = rels.child("Relationships");
    std::string id;
    for (int n = 1; id.empty(); ++n) {
        const std::string candidate = "rId" + std::to_string(n);
        if (!root.find_child_by_attribute("Relationship", "Id", candidate.c_str())) id = candidate;
    }
    pugi::xml_node rel = root.append_child("Relationship");
    rel.append_attribute("Id") = id.c_str();
    rel.append_attribute("Type") = type.c_str();
    rel.append_attribute("Target") = ("/" + target).c_str();
    SetPart(relsPart, DocumentBytes(rels));
    pugi::xml_document types = ParseXml(PartBytes("[Content_Types].xml"), "[Content_Types].xml");
    pugi::xml_node over = types.child("Types").append_child("Override");
    over.append_attribute("PartName") = ("/" + target).c_str();
    over.append_attribute("ContentType") = contentType.c_str();
    SetPart("[Content_Types].xml", DocumentBytes(types));
}

Styles& Workbook::CellStyles()
{
    if (!m_styles) {
        // A package without a styles part gets the minimal one.
        m_stylesPart = PartFolder(m_workbookPart) + "styles.xml";
        for (int n = 2; m_parts.count(m_stylesPart); ++n)
            m_stylesPart = PartFolder(m_workbookPart) + "styles" + std::to_string(n) + ".xml";
        AddRelationshipAndType(m_stylesPart, kStylesType, kStylesContentType);
        SetPart(m_stylesPart, Styles::MinimalPart());
        m_styles = std::make_unique<Styles>();
        m_styles->Load(ParseXml(PartBytes(m_stylesPart), m_stylesPart));
        m_modified = true;
    }
    return *m_styles;
}

std::string Workbook::SharedString(int index) const
{
    if (!m_sharedStrings) {
        m_sharedStrings.emplace();
        if (!m_sharedStringsPart.empty() && m_parts.count(m_sharedStringsPart)) {
            const pugi::xml_document doc = ParseXml(PartBytes(m_sharedStringsPart), m_sharedStringsPart);
            const auto strings = doc.child("sst").children("si");
            m_sharedStrings->reserve(static_cast<std::size_t>(std::distance(strings.begin(), strings.end())));
            for (pugi::xml_node si : strings) m_sharedStrings->push_back(InlineText(si));
        }
    }
    if (index < 0 || static_cast<std::size_t>(index) >= m_sharedStrings->size()) return {};
    return (*m_sharedStrings)[static_cast<std::size_t>(index)];
}

void Workbook::NoteChange(bool valueChanged)
{
    m_modified = true;
    if (valueChanged) m_valuesChanged = true;
}

std::string Workbook::Build()
{
    if (m_formulaRemoved) DropCalculationChain();
    if (m_valuesChanged) {
        // Formula results may be stale now: drop them and have the reader recalculate.
        for (SheetEntry& entry : m_sheets)
            if (entry.sheet) entry.sheet->DropFormulaResults();
        pugi::xml_document workbook = ParseXml(PartBytes(m_workbookPart), m_workbookPart);
        pugi::xml_node calc = OrderedChild(workbook.child("workbook"), "calcPr", WorkbookOrder());
        if (!calc.attribute("fullCalcOnLoad").as_bool()) {
            SetAttr(calc, "fullCalcOnLoad", "1");
            SetPart(m_workbookPart, DocumentBytes(workbook));
        }
    }
    for (SheetEntry& entry : m_sheets) {
        if (!entry.sheet || !entry.sheet->Dirty()) continue;
        // A changed sheet is written from its document; the bytes it was read from go first.
        std::string& bytes = m_parts[entry.part];
        const std::size_t size = bytes.size();
        std::string().swap(bytes);
        bytes = entry.sheet->Serialize(size);
    }
    if (m_styles && m_styles->Dirty()) SetPart(m_stylesPart, m_styles->Serialize());

    return PackParts(m_order, m_parts);
}

// The calculation chain lists the formula cells; once one is overwritten it is out of date, and
// readers rebuild it when it is missing.
void Workbook::DropCalculationChain()
{
    m_formulaRemoved = false;
    const std::string relsPart = RelsPartFor(m_workbookPart);
    pugi::xml_document rels = ParseXml(PartBytes(relsPart), relsPart);
    pugi::xml_node root = rels.child("Relationships");
    std::string chain;
    for (pugi::xml_node rel : root.children("Relationship")) {
        if (EndsWith(rel.attribute("Type").value(), "/calcChain")) {
            chain = ResolveTarget(m_workbookPart, rel.attribute("Target").value());
            root.remove_child(rel);
            break;
        }
    }
    if (chain.empty()) return;
    SetPart(relsPart, DocumentBytes(rels));
    pugi::xml_document types = ParseXml(PartBytes("[Content_Types].xml"), "[Content_Types].xml");
    pugi::xml_node typesRoot = types.child("Types");
    for (pugi::xml_node over : typesRoot.children("Override")) {
        if (over.attribute("PartName").value() == "/" + chain) {
            typesRoot.remove_child(over);
            break;
        }
    }
    SetPart("[Content_Types].xml", DocumentBytes(types));
    m_parts.erase(chain);
    std::erase(m_order, chain);
}

void Workbook::SaveTo(const std::string& path) { WriteFileAtomically(path, Build()); }

std::string Workbook::SaveAsNew(const std::string& path) { return WriteNewFile(path, Build()); }

}  // namespace spreadsheet
