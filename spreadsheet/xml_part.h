// Helpers for the XML parts of a package, shared by the workbook, its worksheets and its styles.
#pragma once
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

// A node as text (with the XML declaration when header is true), and a whole document.
std::string SaveXml(const pugi::xml_node& node, bool header);
std::string DocumentBytes(const pugi::xml_document& doc);
// Throws XlsxError naming the part when the bytes are not well-formed XML.
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
