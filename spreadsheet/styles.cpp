// The cell formats of a workbook's style sheet.
#include <algorithm>
#include <map>

#include "spreadsheet/workbook.h"
#include "spreadsheet/xml_part.h"

namespace spreadsheet {

using namespace xml;

namespace {

const std::map<std::string, int>& BuiltinFormats()
{
    static const std::map<std::string, int> formats = {{"0", 1},  {"0.00", 2},   {"#,##0", 3},     {"#,##0.00", 4},
                                                       {"0%", 9}, {"0.00%", 10}, {"0.00E+00", 11}, {"@", 49}};
    return formats;
}

// The font of that index in the style sheet (the first one for an index it does not have).
pugi::xml_node FontAt(pugi::xml_node root, int index)
{
    const pugi::xml_node fonts = root.child("fonts");
    pugi::xml_node font = fonts.child("font");
    for (int i = 0; i < index && font; ++i) font = font.next_sibling("font");
    return font ? font : fonts.child("font");
}

}  // namespace

void Styles::Load(pugi::xml_document doc)
{
    m_doc = std::move(doc);  // taken over, not copied
    m_root = m_doc.child("styleSheet");
    if (!m_root) throw XlsxError("the styles part has no style sheet");
    CheckListSize(m_root.child("fonts"), "font", "the style sheet", "fonts");
    CheckListSize(m_root.child("fills"), "fill", "the style sheet", "fills");
    CheckListSize(m_root.child("cellXfs"), "xf", "the style sheet", "cell formats");
    CheckListSize(m_root.child("numFmts"), "numFmt", "the style sheet", "number formats");
    pugi::xml_node fills = m_root.child("fills");
    if (!fills) {
        fills = Section("fills");
        fills.append_child("fill").append_child("patternFill").append_attribute("patternType") = "none";
        fills.append_child("fill").append_child("patternFill").append_attribute("patternType") = "gray125";
        fills.append_attribute("count") = 2;
        m_dirty = true;
    }
    pugi::xml_node fonts = m_root.child("fonts");
    if (!fonts || !fonts.child("font")) {
        fonts = Section("fonts");
        pugi::xml_node font = fonts.append_child("font");
        font.append_child("sz").append_attribute("val") = 11;
        font.append_child("name").append_attribute("val") = "Calibri";
        SetAttr(fonts, "count", "1");
        m_dirty = true;
    }
    int fontIndex = 0;
    for (pugi::xml_node font : fonts.children("font")) m_fontByKey.emplace(Key(font), fontIndex++);
    int fillIndex = 0;
    for (pugi::xml_node fill : fills.children("fill")) m_fillByKey.emplace(Key(fill), fillIndex++);
    pugi::xml_node xfs = m_root.child("cellXfs");
    if (!xfs || !xfs.child("xf")) {
        xfs = Section("cellXfs");
        pugi::xml_node xf = xfs.append_child("xf");
        xf.append_attribute("numFmtId") = 0;
        xf.append_attribute("fontId") = 0;
        xf.append_attribute("fillId") = 0;
        xf.append_attribute("borderId") = 0;
        SetAttr(xfs, "count", "1");
        m_dirty = true;
    }
    for (pugi::xml_node xf : xfs.children("xf")) {
        m_xfByKey.emplace(Key(xf), static_cast<int>(m_xfs.size()));
        m_xfs.push_back(xf);
    }
    for (pugi::xml_node fmt : m_root.child("numFmts").children("numFmt"))
        m_numFmts[IntAttr(fmt, "numFmtId", -1)] = fmt.attribute("formatCode").value();
}

pugi::xml_node Styles::Section(const char* name) { return OrderedChild(m_root, name, StylesOrder()); }

std::string Styles::Key(pugi::xml_node node) const { return SaveXml(node, false); }

int Styles::NumberFormatId(const std::string& code)
{
    if (code.empty() || code == "General" || code == "general") return 0;
    for (const auto& [id, existing] : m_numFmts)
        if (existing == code) return id;
    const auto builtin = BuiltinFormats().find(code);
    if (builtin != BuiltinFormats().end()) return builtin->second;
    int id = 164;
    if (!m_numFmts.empty()) id = std::max(id, m_numFmts.rbegin()->first + 1);
    pugi::xml_node section = Section("numFmts");
    pugi::xml_node fmt = section.append_child("numFmt");
    fmt.append_attribute("numFmtId") = id;
    fmt.append_attribute("formatCode") = code.c_str();
    m_numFmts[id] = code;
    SetAttr(section, "count",
            std::to_string(std::distance(section.children("numFmt").begin(), section.children("numFmt").end())));
    m_dirty = true;
    return id;
}

int Styles::FillId(const std::string& rgb)
{
    pugi::xml_document scratch;
    pugi::xml_node fill = scratch.append_child("fill");
    pugi::xml_node pattern = fill.append_child("patternFill");
    pattern.append_attribute("patternType") = "solid";
    pattern.append_child("fgColor").append_attribute("rgb") = ("FF" + rgb).c_str();
    pattern.append_child("bgColor").append_attribute("indexed") = 64;
    return Intern("fills", fill, m_fillByKey);
}

int Styles::FontId(int base, const StyleChange& change)
{
    pugi::xml_node fonts = Section("fonts");
    pugi::xml_node source = fonts.child("font");
    for (int i = 0; i < base && source; ++i) source = source.next_sibling("font");
    if (!source) source = fonts.child("font");
    pugi::xml_document scratch;
    pugi::xml_node font = scratch.append_copy(source);
    if (change.kind == StyleChange::Kind::Bold) {
        font.remove_child("b");
        if (change.value == "1") font.prepend_child("b");
    } else {
        pugi::xml_node size = font.child("sz");
        if (!size) size = font.prepend_child("sz");
        SetAttr(size, "val", change.value);
    }
    return Intern("fonts", font, m_fontByKey);
}

int Styles::Intern(const char* section, pugi::xml_node entry, std::unordered_map<std::string, int>& byKey)
{
    const std::string key = Key(entry);
    if (const auto it = byKey.find(key); it != byKey.end()) return it->second;
    pugi::xml_node entries = Section(section);
    entries.append_copy(entry);
    const auto added = entries.children(entry.name());
    const int id = static_cast<int>(std::distance(added.begin(), added.end())) - 1;
    SetAttr(entries, "count", std::to_string(id + 1));
    byKey.emplace(key, id);
    m_dirty = true;
    return id;
}

int Styles::Derive(int xfIndex, const StyleChange& change)
{
    if (xfIndex < 0 || xfIndex >= XfCount()) xfIndex = 0;
    std::string opKey(1, static_cast<char>('0' + static_cast<int>(change.kind)));
    opKey += change.value;
    const auto cacheKey = std::make_pair(xfIndex, opKey);
    if (const auto it = m_derived.find(cacheKey); it != m_derived.end()) return it->second;

    pugi::xml_document scratch;
    pugi::xml_node xf = scratch.append_copy(m_xfs[static_cast<std::size_t>(xfIndex)]);
    auto alignment = [&]() {
        pugi::xml_node a = xf.child("alignment");
        return a ? a : xf.prepend_child("alignment");
    };
    switch (change.kind) {
    case StyleChange::Kind::NumberFormat: {
        const int numFmt = NumberFormatId(change.value);
        SetAttr(xf, "numFmtId", std::to_string(numFmt));
        if (numFmt == 0)
            xf.remove_attribute("applyNumberFormat");
        else
            SetAttr(xf, "applyNumberFormat", "1");
        break;
    }
    case StyleChange::Kind::Horizontal:
    case StyleChange::Kind::Vertical:
    case StyleChange::Kind::Wrap: {
        pugi::xml_node a = alignment();
        const char* attr = change.kind == StyleChange::Kind::Horizontal ? "horizontal"
                           : change.kind == StyleChange::Kind::Vertical ? "vertical"
                                                                        : "wrapText";
        SetOrRemove(a, attr, change.kind == StyleChange::Kind::Wrap && change.value == "0" ? "" : change.value);
        if (a.first_attribute()) {
            SetAttr(xf, "applyAlignment", "1");
        } else {
            xf.remove_child(a);
            xf.remove_attribute("applyAlignment");
        }
        break;
    }
    case StyleChange::Kind::Fill:
        if (change.value.empty()) {
            SetAttr(xf, "fillId", "0");
            xf.remove_attribute("applyFill");
        } else {
            SetAttr(xf, "fillId", std::to_string(FillId(change.value)));
            SetAttr(xf, "applyFill", "1");
        }
        break;
    case StyleChange::Kind::Bold:
    case StyleChange::Kind::FontSize:
        SetAttr(xf, "fontId", std::to_string(FontId(IntAttr(xf, "fontId", 0), change)));
        SetAttr(xf, "applyFont", "1");
        break;
    }
    const std::string key = Key(xf);
    int result;
    if (const auto it = m_xfByKey.find(key); it != m_xfByKey.end()) {
        result = it->second;
    } else {
        pugi::xml_node cellXfs = Section("cellXfs");
        pugi::xml_node added = cellXfs.append_copy(xf);
        result = static_cast<int>(m_xfs.size());
        m_xfs.push_back(added);
        m_xfByKey.emplace(key, result);
        SetAttr(cellXfs, "count", std::to_string(m_xfs.size()));
        m_dirty = true;
    }
    m_derived.emplace(cacheKey, result);
    return result;
}

bool Styles::IsTextFormat(int xfIndex) const
{
    if (xfIndex < 0 || xfIndex >= XfCount()) return false;
    const int id = IntAttr(m_xfs[static_cast<std::size_t>(xfIndex)], "numFmtId", 0);
    if (id == 49) return true;
    const auto it = m_numFmts.find(id);
    return it != m_numFmts.end() && it->second == "@";
}

TextLook Styles::Look(int xfIndex) const
{
    TextLook look;
    if (xfIndex < 0 || xfIndex >= XfCount()) xfIndex = 0;
    const pugi::xml_node xf = m_xfs[static_cast<std::size_t>(xfIndex)];
    look.wrap = xf.child("alignment").attribute("wrapText").as_bool();
    const pugi::xml_node font = FontAt(m_root, IntAttr(xf, "fontId", 0));
    look.points = font.child("sz").attribute("val").as_double(11);
    if (!(look.points > 0 && look.points <= 409)) look.points = 11;
    if (pugi::xml_node b = font.child("b")) look.bold = b.attribute("val").as_bool(true);
    return look;
}

double Styles::DefaultFontPoints() const
{
    const double points = FontAt(m_root, 0).child("sz").attribute("val").as_double(11);
    return points > 0 && points <= 409 ? points : 11;
}

std::string Styles::Serialize() const { return DocumentBytes(m_doc); }

std::string Styles::MinimalPart()
{
    return std::string(kXmlHeader) + "<styleSheet xmlns=\"" + kMainNs +
           "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
           "patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border><left/><right/><top/>"
           "<bottom/><diagonal/></border></borders><cellStyleXfs count=\"1\"><xf numFmtId=\"0\" "
           "fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs><cellXfs count=\"1\"><xf "
           "numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs><cellStyles "
           "count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>";
}

}  // namespace spreadsheet
