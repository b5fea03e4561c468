// Helpers for the XML parts of a package, shared by the workbook, its worksheets and its styles.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "spreadsheet/workbook.h"

namespace spreadsheet::xml {

inline constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr const char* kPkgRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr const char* kStylesType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr const char* kStylesContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr const char* kXmlHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// The order of the children of a worksheet, a style sheet and a workbook in the file format.
const std::vector<std::string>& WorksheetOrder();
const std::vector<std::string>& StylesOrder();
const std::vector<std::string>& WorkbookOrder();
// The child of that name, made at its place in the order when missing.
pugi::xml_node OrderedChild(pugi::xml_node parent, const char* name, const std::vector<std::string>& order);

// What parsing XML builds, counted on its bytes without building it (ParseXml's parser).
struct XmlCounts {
    std::uint64_t bytes = 0;
    std::uint64_t nodes = 0;  // elements and texts
    std::uint64_t attributes = 0;
};
// One quick pass over the bytes. The counts are never below what ParseXml builds of the same
// bytes; they may lie a little above it (markup the parser skips or refuses).
XmlCounts CountXml(std::string_view bytes);

// The XML a workbook has charged against its limits so far. Throws XlsxError (a problem text
// without the file's name) once what was charged passes a limit.
class XmlBudget {
public:
    explicit XmlBudget(const XmlLimits& limits) : m_limits(limits) {}
    // A part about to be parsed.
    void Charge(std::string_view bytes);
    // Attributes about to be added to a part parsed already.
    void ChargeAttributes(std::uint64_t count);

private:
    void Check() const;
    XmlLimits m_limits;
    XmlCounts m_used;
};

// The most entries that a list the reader keeps an index of may hold: the sheets of a workbook,
// the relationships of its part, and each section of its style sheet (fonts, fills, cell
// formats, number formats). Desktop spreadsheets keep far fewer. Such an index costs about as
// much again as the entries' nodes, so the lists are bounded on their own.
inline constexpr std::size_t kMaxListEntries = 65536;
// Throws XlsxError ("<where> holds more than N <what>") when parent has more children of that
// name than kMaxListEntries.
void CheckListSize(pugi::xml_node parent, const char* name, const std::string& where, const std::string& what);

// A node as text (with the XML declaration when header is true), and a whole document (room for
// about sizeHint bytes is made at once).
std::string SaveXml(const pugi::xml_node& node, bool header);
std::string DocumentBytes(const pugi::xml_document& doc, std::size_t sizeHint = 0);
// Throws XlsxError naming the part when the bytes are not well-formed XML. The text of an element
// that starts with it is kept in the element itself (one node fewer per cell value).
pugi::xml_document ParseXml(const std::string& bytes, const std::string& part);

// "xl/worksheets/sheet1.xml" -> "xl/worksheets/"
std::string PartFolder(const std::string& part);
// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"
std::string RelsPartFor(const std::string& part);
// A relationship target relative to the folder of the part that holds it, as a part name.
std::string ResolveTarget(const std::string& sourcePart, const std::string& target);
bool EndsWith(std::string_view text, std::string_view tail);

int IntAttr(pugi::xml_node node, const char* name, int fallback);
// Sets the attribute; an empty value removes it.
void SetOrRemove(pugi::xml_node node, const char* name, const std::string& value);
void SetAttr(pugi::xml_node node, const char* name, const std::string& value);
// The text of a rich or plain string: <t> directly, or the runs <r><t>..</t></r>.
std::string InlineText(pugi::xml_node holder);

}  // namespace spreadsheet::xml
