// What a workbook's XML may expand to: the quick count of what parsing would build, the limits
// on the XML parts together (checked on that count before any part of the sheets is parsed, and
// on the references a sheet gets), and the bound on the lists the reader keeps an index of.
#include <functional>

#include <cstring>
#include <fstream>

#include <pugixml.hpp>

#include "spreadsheet/workbook.h"
#include "spreadsheet/xml_part.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"

namespace sheet_test {
namespace {

using spreadsheet::xml::CountXml;
using spreadsheet::xml::XmlCounts;

long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return -1;
}

// How far the call raises this process's resident memory above what it holds before: the peak
// mark is reset first, so earlier peaks do not hide this one.
long PeakGrowthMb(const std::function<void()>& call)
{
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKb("VmRSS:");
    EXPECT_LE(StatusKb("VmHWM:"), before + 1024) << "the peak mark was not reset";
    call();
    return (StatusKb("VmHWM:") - before) / 1024;
}

// The nodes (elements, texts, CDATA sections) and attributes of a parsed document.
XmlCounts Built(const pugi::xml_document& doc)
{
    struct Walker : pugi::xml_tree_walker {
        XmlCounts counts;
        bool for_each(pugi::xml_node& node) override
        {
            ++counts.nodes;
            for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) ++counts.attributes;
            return true;
        }
    } walker;
    const_cast<pugi::xml_document&>(doc).traverse(walker);
    return walker.counts;
}

TEST(XmlCount, NeverBelowWhatTheParserBuilds)
{
    const struct {
        const char* xml;
        bool exact;  // the count is what the parser builds
    } cases[] = {
        {"<worksheet><sheetData><row r=\"1\"><c r=\"A1\" s=\"2\"><v>12.5</v></c><c r=\"B1\" t=\"inlineStr\"><is>"
         "<t xml:space=\"preserve\"> a </t></is></c></row></sheetData></worksheet>",
         true},
        // Declaration, comment with markup in it, attribute values holding '>', '=' and quotes.
        {"<?xml version=\"1.0\"?>\n<!-- <b x=\"1\"/> -->\n<a x='1\"' y=\"a>b\" z=\"p=q\"><b/><c /></a>", true},
        // Mixed content: the first text stays in its element, the others are nodes.
        {"<a>text<b/>tail<!-- c -->more</a>", true},
        {"<a><![CDATA[<b/>]]><b/>x</a>", true},
        {"<a>  </a>", true},                           // white space alone in an element: kept
        {"<a>\n  <b>1</b>\n  <b>2</b>\n</a>", false},  // white space between elements: dropped
        {"<a>x<!-- c -->  </a>", true},                // white space after a text: a node of its own
        {"<a>&amp;&lt;&#65;<?pi data?></a>", true},
        {"<!DOCTYPE a [<!ENTITY e \"x\">]><a/>", false},  // the document type is skipped, part of it counted
        {"<a><b/><b/><b/></a>", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml);
        const pugi::xml_document doc = spreadsheet::xml::ParseXml(c.xml, "test.xml");
        const XmlCounts built = Built(doc);
        const XmlCounts counted = CountXml(c.xml);
        EXPECT_EQ(counted.bytes, std::string(c.xml).size());
        EXPECT_EQ(counted.attributes, built.attributes);
        if (c.exact)
            EXPECT_EQ(counted.nodes, built.nodes);
        else
            EXPECT_GT(counted.nodes, built.nodes);
    }
}

using Package = std::vector<std::pair<std::string, std::string>>;

// A workbook of one sheet as another program writes it, every part XML; the sheet's second row
// and two of its cells carry no reference (the reader gives them theirs).
Package SmallWorkbook(const std::string& styles)
{
    return OneSheetParts(styles, "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\" "
                                 "t=\"inlineStr\"><is><t>two</t></is></c></row><row><c><v>3</v></c><c/></row>"
                                 "</sheetData></worksheet>");
}

const char* const kStyles = "<styleSheet><fonts><font><sz val=\"11\"/></font></fonts><cellXfs><xf/></cellXfs>"
                            "</styleSheet>";

class XmlBounds : public TempFolder {};

// Each limit holds exactly, counting every XML part the workbook reads and the three references
// its sheet gets; a refusal names the file and what passed the bound.
TEST_F(XmlBounds, LimitsOnThePartsTogetherHoldExactly)
{
    const Package parts = SmallWorkbook(kStyles);
    const std::string path = Path("small.xlsx");
    WritePackage(path, parts);
    XmlCounts all;
    for (const auto& [name, bytes] : parts) {
        const XmlCounts c = CountXml(bytes);
        all.bytes += c.bytes;
        all.nodes += c.nodes;
        all.attributes += c.attributes;
    }
    const std::uint64_t attributes = all.attributes + 3;
    const struct {
        const char* name;
        spreadsheet::XmlLimits limits;
        const char* refusal;  // nullptr: opened
    } cases[] = {
        {"at every bound", {all.bytes, all.nodes, attributes}, nullptr},
        {"one byte past", {all.bytes - 1, all.nodes, attributes}, "its XML parts unpack to more than"},
        {"one node past", {all.bytes, all.nodes - 1, attributes}, "elements and texts"},
        {"one attribute past, with the references", {all.bytes, all.nodes, attributes - 1}, "attributes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            auto book = spreadsheet::Workbook::Load(path, {{}, c.limits});
            EXPECT_EQ(c.refusal, nullptr);
            ASSERT_NE(book->SheetAt(0), nullptr);
            EXPECT_EQ(book->SheetAt(0)->CellText(2, 1), "3");
        } catch (const spreadsheet::XlsxError& e) {
            ASSERT_NE(c.refusal, nullptr) << e.what();
            const std::string what = e.what();
            EXPECT_NE(what.find(spreadsheet::Quoted(path) + " is not a valid .xlsx workbook: "), std::string::npos)
                << what;
            EXPECT_NE(what.find(c.refusal), std::string::npos) << what;
        }
    }
}

// A sheet far past the bound on elements is refused on the count, before its document is built:
// memory grows by its bytes, not by the nodes they would make.
TEST_F(XmlBounds, ASheetPastTheBoundCostsNoDocument)
{
    std::string rows;
    for (int r = 1; r <= 2000; ++r) {
        rows += "<row r=\"" + std::to_string(r) + "\">";
        for (int c = 0; c < 1000; ++c) rows += "<c/>";
        rows += "</row>";
    }
    Package parts = SmallWorkbook(kStyles);
    parts.back().second = "<worksheet><sheetData>" + rows + "</sheetData></worksheet>";
    const std::string path = Path("wide.xlsx");
    WritePackage(path, parts);
    rows = std::string();
    parts.clear();

    spreadsheet::ReadLimits limits;
    limits.package.ratio = 100'000;  // the sheet repeats itself: it packs far better than a real one
    limits.xml.nodes = 1'000'000;
    const long growth = PeakGrowthMb([&] {
        try {
            spreadsheet::Workbook::Load(path, limits);
            ADD_FAILURE() << "two million cells opened";
        } catch (const spreadsheet::XlsxError& e) {
            EXPECT_NE(std::string(e.what()).find("more than 1000000 elements and texts"), std::string::npos)
                << e.what();
        }
    });
    // The bytes are 8 MB; their document would take 2 million nodes of 64 bytes and as many
    // references (over 200 MB).
    EXPECT_LT(growth, 40);
}

// Lists the reader keeps an index of hold at most kMaxListEntries entries.
TEST_F(XmlBounds, IndexedListsAreBounded)
{
    const std::size_t most = spreadsheet::xml::kMaxListEntries;
    auto repeat = [](const std::string& entry, std::size_t n) {
        std::string out;
        out.reserve(entry.size() * n);
        for (std::size_t i = 0; i < n; ++i) out += entry;
        return out;
    };
    // A style sheet whose section holds n entries.
    auto styles = [&](const std::string& section, const char* entry, std::size_t n) {
        std::string out = "<styleSheet>";
        if (section != "fonts") out += "<fonts><font><sz val=\"11\"/></font></fonts>";
        if (section != "cellXfs") out += "<cellXfs><xf/></cellXfs>";
        return out + "<" + section + ">" + repeat(entry, n) + "</" + section + "></styleSheet>";
    };
    const struct {
        const char* name;
        std::function<Package()> make;
        const char* refusal;  // nullptr: opened
    } cases[] = {
        {"fonts at the bound", [&] { return SmallWorkbook(styles("fonts", "<font/>", most)); }, nullptr},
        {"fonts past the bound", [&] { return SmallWorkbook(styles("fonts", "<font/>", most + 1)); },
         "the style sheet holds more than 65536 fonts"},
        {"fills", [&] { return SmallWorkbook(styles("fills", "<fill/>", most + 1)); },
         "the style sheet holds more than 65536 fills"},
        {"cell formats", [&] { return SmallWorkbook(styles("cellXfs", "<xf/>", most + 1)); },
         "the style sheet holds more than 65536 cell formats"},
        {"number formats", [&] { return SmallWorkbook(styles("numFmts", "<numFmt/>", most + 1)); },
         "the style sheet holds more than 65536 number formats"},
        {"sheets",
         [&] {
             Package p = SmallWorkbook(kStyles);
             p[2].second = "<workbook xmlns:r=\"rel\"><sheets>" +
                           repeat("<sheet name=\"S\" r:id=\"rId1\"/>", most + 1) + "</sheets></workbook>";
             return p;
         },
         "the workbook holds more than 65536 sheets"},
        {"relationships",
         [&] {
             Package p = SmallWorkbook(kStyles);
             p[3].second = "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" "
                           "Target=\"worksheets/sheet1.xml\"/>" +
                           repeat("<Relationship Id=\"x\" Type=\"x/other\" Target=\"o.xml\"/>", most) +
                           "</Relationships>";
             return p;
         },
         "the part xl/_rels/workbook.xml.rels holds more than 65536 relationships"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Path("lists.xlsx");
        WritePackage(path, c.make());
        spreadsheet::ReadLimits limits;
        limits.package.ratio = 100'000;  // the lists repeat one entry: they pack far better than real ones
        try {
            auto book = spreadsheet::Workbook::Load(path, limits);
            EXPECT_EQ(c.refusal, nullptr);
            EXPECT_EQ(book->SheetCount(), 1u);
        } catch (const spreadsheet::XlsxError& e) {
            ASSERT_NE(c.refusal, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace sheet_test
