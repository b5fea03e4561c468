#include "spreadsheet/workbook.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace spreadsheet {

namespace {

constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kPkgRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kStylesType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
constexpr const char* kStylesContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
constexpr const char* kXmlHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr long long kMaxCellsPerChange = 2'000'000;
constexpr zip_uint64_t kMaxPartSize = 512ull * 1024 * 1024;

// The order of a worksheet's children in the file format.
const std::vector<std::string>& WorksheetOrder()
{
    static const std::vector<std::string> order = {
        "sheetPr", "dimension", "sheetViews", "sheetFormatPr", "cols", "sheetData", "sheetCalcPr",
        "sheetProtection", "protectedRanges", "scenarios", "autoFilter", "sortState",
        "dataConsolidate", "customSheetViews", "mergeCells", "phoneticPr", "conditionalFormatting",
        "dataValidations", "hyperlinks", "printOptions", "pageMargins", "pageSetup", "headerFooter",
        "rowBreaks", "colBreaks", "customProperties", "cellWatches", "ignoredErrors", "smartTags",
        "drawing", "legacyDrawing", "legacyDrawingHF", "drawingHF", "picture", "oleObjects",
        "controls", "webPublishItems", "tableParts", "extLst"};
    return order;
}

const std::vector<std::string>& StylesOrder()
{
    static const std::vector<std::string> order = {
        "numFmts", "fonts", "fills", "borders", "cellStyleXfs", "cellXfs", "cellStyles", "dxfs",
        "tableStyles", "colors", "extLst"};
    return order;
}

const std::vector<std::string>& WorkbookOrder()
{
    static const std::vector<std::string> order = {
        "fileVersion", "fileSharing", "workbookPr", "workbookProtection", "bookViews", "sheets",
        "functionGroups", "externalReferences", "definedNames", "calcPr", "oleSize",
        "customWorkbookViews", "pivotCaches", "smartTagPr", "smartTagTypes", "webPublishing",
        "fileRecoveryPr", "webPublishObjects", "extLst"};
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

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, std::size_t size) override
    {
        out.append(static_cast<const char*>(data), size);
    }
};

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

std::string ErrnoText(int err)
{
    switch (err) {
    case EACCES:
    case EPERM: return "permission denied";
    case ENOENT: return "it does not exist";
    case ENOSPC: return "the disk is full";
    case EROFS: return "the file system is read-only";
    case EDQUOT: return "the disk quota is exhausted";
    default: return std::strerror(err);
    }
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadWholeFile(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT) {
            const std::string folder = ParentFolder(path);
            if (!IsFolder(folder))
                throw XlsxError("Cannot open " + Quoted(path) + ": the folder " + Quoted(folder) + " does not exist.");
            throw XlsxError("Cannot open " + Quoted(path) + ": the file does not exist.");
        }
        throw XlsxError("Cannot open " + Quoted(path) + ": " + ErrnoText(err) + ".");
    }
    if (S_ISDIR(st.st_mode)) throw XlsxError("Cannot open " + Quoted(path) + ": it is a folder, not a workbook.");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw XlsxError("Cannot open " + Quoted(path) + ": " + ErrnoText(err) + ".");
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            throw XlsxError("Cannot read " + Quoted(path) + ": " + ErrnoText(err) + ".");
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

mode_t DefaultFileMode()
{
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

void WriteFileAtomically(const std::string& requested, const std::string& bytes)
{
    std::string path = requested;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            path = real;
            std::free(real);
        }
    }
    const std::string folder = ParentFolder(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw XlsxError("Cannot save " + Quoted(requested) + ": the folder " + Quoted(folder) + " does not exist.");
    mode_t mode = DefaultFileMode();
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw XlsxError("Cannot save " + Quoted(requested) + ": it is a folder.");
        if (::access(path.c_str(), W_OK) != 0)
            throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(errno) + ".");
        mode = st.st_mode & 07777;
    }
    const std::string lock = LockFileFor(path);
    if (::lstat(lock.c_str(), &lst) == 0)
        throw XlsxError("Cannot save " + Quoted(requested) +
                        ": the workbook is open in a desktop spreadsheet (its lock file " + Quoted(lock) +
                        " exists). Close it there, or remove the lock file if no program has it open.");

    std::string temp = folder + "/." + FileName(path) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(errno) + ".");
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw XlsxError("Cannot save " + Quoted(requested) + ": " + ErrnoText(err) + ".");
    }
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

// The "_xHHHH_" escape of the file format for a character XML cannot carry.
std::string EscapeChar(unsigned code)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "_x%04X_", code);
    return buf;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Text as a cell can hold it: valid UTF-8 (bad bytes become U+FFFD), control characters escaped.
std::string CellTextForXml(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
                out += EscapeChar(c);
            } else if (c == '_' && i + 6 < n && s[i + 1] == 'x' && IsHex(static_cast<char>(s[i + 2])) &&
                       IsHex(static_cast<char>(s[i + 3])) && IsHex(static_cast<char>(s[i + 4])) &&
                       IsHex(static_cast<char>(s[i + 5])) && s[i + 6] == '_') {
                out += "_x005F_";  // a literal that would read as an escape
            } else {
                out += static_cast<char>(c);
            }
            ++i;
            continue;
        }
        int len = 0;
        unsigned code = 0;
        if ((c & 0xE0) == 0xC0) { len = 2; code = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { len = 3; code = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { len = 4; code = c & 0x07; }
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) ok = false;
            else code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (ok) {
            const unsigned minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
            ok = code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) &&
                 code != 0xFFFE && code != 0xFFFF;
        }
        if (ok) {
            out.append(text.substr(i, static_cast<std::size_t>(len)));
            i += static_cast<std::size_t>(len);
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string NumberText(double value)
{
    if (!std::isfinite(value)) throw XlsxError("A cell cannot hold an infinite or undefined number.");
    if (value == 0) value = 0;  // no "-0"
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

std::string InlineText(pugi::xml_node holder)
{
    // <t> directly, or runs <r><t>..</t></r>; phonetic runs (<rPh>) are not part of the value.
    if (pugi::xml_node t = holder.child("t")) return t.text().get();
    std::string out;
    for (pugi::xml_node r : holder.children("r")) out += r.child("t").text().get();
    return out;
}

const std::map<std::string, int>& BuiltinFormats()
{
    static const std::map<std::string, int> formats = {
        {"0", 1}, {"0.00", 2}, {"#,##0", 3}, {"#,##0.00", 4}, {"0%", 9}, {"0.00%", 10},
        {"0.00E+00", 11}, {"@", 49}};
    return formats;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Helpers

bool ParsePlainNumber(std::string_view text, double& value)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;
    int digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') ++digits;
        else if (text[i] == '.' && !point) point = true;
        else return false;
    }
    if (digits == 0) return false;
    double v = 0;
    const auto res = std::from_chars(text.data() + start, text.data() + text.size(), v, std::chars_format::fixed);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || !std::isfinite(v)) return false;
    value = negative ? -v : v;
    return true;
}

std::string ShiftFormula(std::string_view formula, int rows, int cols)
{
    auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; };
    std::string out;
    std::size_t i = 0;
    while (i < formula.size()) {
        const char c = formula[i];
        if (c == '"' || c == '\'') {  // texts and quoted sheet names are copied as they are
            std::size_t j = i + 1;
            while (j < formula.size()) {
                if (formula[j] == c) {
                    if (j + 1 < formula.size() && formula[j + 1] == c) { j += 2; continue; }
                    break;
                }
                ++j;
            }
            j = std::min(j + 1, formula.size());
            out.append(formula.substr(i, j - i));
            i = j;
            continue;
        }
        const bool boundary = i == 0 || !isWord(formula[i - 1]);
        if (boundary && (c == '$' || std::isalpha(static_cast<unsigned char>(c)))) {
            // [$]letters[$]digits, not followed by a name character or "(".
            std::size_t j = i;
            const bool colAbs = formula[j] == '$';
            if (colAbs) ++j;
            const std::size_t lettersAt = j;
            while (j < formula.size() && std::isalpha(static_cast<unsigned char>(formula[j]))) ++j;
            const std::size_t letters = j - lettersAt;
            const bool rowAbs = j < formula.size() && formula[j] == '$';
            if (rowAbs) ++j;
            const std::size_t digitsAt = j;
            while (j < formula.size() && std::isdigit(static_cast<unsigned char>(formula[j]))) ++j;
            const bool follows = j < formula.size() && (isWord(formula[j]) || formula[j] == '(');
            const int col = ParseColumnName(formula.substr(lettersAt, letters));
            if (letters > 0 && letters <= 3 && j > digitsAt && !follows && col > 0) {
                long row = std::strtol(std::string(formula.substr(digitsAt, j - digitsAt)).c_str(), nullptr, 10);
                const int newCol = colAbs ? col : col + cols;
                const long newRow = rowAbs ? row : row + rows;
                if (newCol < 1 || newCol > kMaxColumns || newRow < 1 || newRow > kMaxRows) {
                    out += "#REF!";
                } else {
                    out += (colAbs ? "$" : "") + ColumnName(newCol) + (rowAbs ? "$" : "") + std::to_string(newRow);
                }
                i = j;
                continue;
            }
            // A name or function: copy the whole word.
            std::size_t k = i + (colAbs ? 1 : 0);
            while (k < formula.size() && isWord(formula[k])) ++k;
            out.append(formula.substr(i, std::max<std::size_t>(k - i, 1)));
            i = std::max(k, i + 1);
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}

double ColumnWidthForCharacters(double characters)
{
    // The stored width adds the cell padding to the characters of the default font's digit
    // width (7 pixels, 5 pixels of padding), in 1/256 steps.
    if (characters <= 0) return 0;
    constexpr double digit = 7.0;
    return std::trunc((characters * digit + 5.0) / digit * 256.0) / 256.0;
}

std::string ParentFolder(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string FileName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LockFileFor(const std::string& path)
{
    return ParentFolder(path) + "/.~lock." + FileName(path) + "#";
}

// ---------------------------------------------------------------------------------------------
// Styles

void Styles::Load(pugi::xml_document doc)
{
    m_doc.reset(doc);
    m_root = m_doc.child("styleSheet");
    if (!m_root) throw XlsxError("the styles part has no style sheet");
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
    SetAttr(section, "count", std::to_string(std::distance(section.children("numFmt").begin(),
                                                           section.children("numFmt").end())));
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
    const std::string key = Key(fill);
    if (const auto it = m_fillByKey.find(key); it != m_fillByKey.end()) return it->second;
    pugi::xml_node fills = Section("fills");
    fills.append_copy(fill);
    const int id = static_cast<int>(std::distance(fills.children("fill").begin(), fills.children("fill").end())) - 1;
    SetAttr(fills, "count", std::to_string(id + 1));
    m_fillByKey.emplace(key, id);
    m_dirty = true;
    return id;
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
    const std::string key = Key(font);
    if (const auto it = m_fontByKey.find(key); it != m_fontByKey.end()) return it->second;
    fonts.append_copy(font);
    const int id = static_cast<int>(std::distance(fonts.children("font").begin(), fonts.children("font").end())) - 1;
    SetAttr(fonts, "count", std::to_string(id + 1));
    m_fontByKey.emplace(key, id);
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
    case StyleChange::Kind::NumberFormat:
    {
        const int numFmt = NumberFormatId(change.value);
        SetAttr(xf, "numFmtId", std::to_string(numFmt));
        if (numFmt == 0) xf.remove_attribute("applyNumberFormat");
        else SetAttr(xf, "applyNumberFormat", "1");
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

// ---------------------------------------------------------------------------------------------
// Worksheet

Worksheet::Worksheet(Workbook& book, std::string partName, pugi::xml_document doc)
    : m_book(book), m_part(std::move(partName))
{
    m_doc.reset(doc);
    m_root = m_doc.child("worksheet");
    if (!m_root) throw XlsxError("the part " + m_part + " is no worksheet");
    m_sheetData = Child("sheetData");
    Index();
}

pugi::xml_node Worksheet::Child(const char* name) { return OrderedChild(m_root, name, WorksheetOrder()); }

void Worksheet::SetPageSetup(bool landscape, bool fitToWidth)
{
    pugi::xml_node sheetPr = Child("sheetPr");
    pugi::xml_node fit = sheetPr.child("pageSetUpPr");
    if (!fit) fit = sheetPr.append_child("pageSetUpPr");
    SetAttr(fit, "fitToPage", fitToWidth ? "1" : "0");
    pugi::xml_node margins = Child("pageMargins");
    const char* names[] = {"left", "right", "top", "bottom", "header", "footer"};
    const char* values[] = {"0.5", "0.5", "0.6", "0.6", "0.3", "0.3"};
    for (int i = 0; i < 6; ++i) {
        if (!margins.attribute(names[i])) SetAttr(margins, names[i], values[i]);
    }
    pugi::xml_node setup = Child("pageSetup");
    SetAttr(setup, "orientation", landscape ? "landscape" : "portrait");
    SetAttr(setup, "fitToWidth", "1");
    SetAttr(setup, "fitToHeight", "0");
    Touch(false);
}

void Worksheet::Index()
{
    int lastRow = 0;
    for (pugi::xml_node row = m_sheetData.child("row"); row;) {
        pugi::xml_node nextRow = row.next_sibling("row");
        int r = IntAttr(row, "r", lastRow + 1);
        if (r < 1 || r > kMaxRows || r <= lastRow)
            throw XlsxError("the part " + m_part + " holds rows out of order");
        if (!row.attribute("r")) SetAttr(row, "r", std::to_string(r));
        lastRow = r;
        Row& entry = m_rows[r];
        entry.node = row;
        int lastCol = 0;
        for (pugi::xml_node c = row.child("c"); c; c = c.next_sibling("c")) {
            int cr = r, cc = lastCol + 1;
            if (pugi::xml_attribute ref = c.attribute("r")) {
                if (!ParseCellRef(ref.value(), cr, cc) || cr != r)
                    throw XlsxError("the part " + m_part + " holds a bad cell reference");
            } else {
                SetAttr(c, "r", CellName(r, cc));
            }
            if (cc <= lastCol) throw XlsxError("the part " + m_part + " holds cells out of order");
            lastCol = cc;
            entry.cells[cc] = c;
            if (c.child("f")) m_hasFormulas = true;
        }
        row = nextRow;
    }
}

pugi::xml_node Worksheet::FindCell(int row, int col) const
{
    const auto r = m_rows.find(row);
    if (r == m_rows.end()) return {};
    const auto c = r->second.cells.find(col);
    return c == r->second.cells.end() ? pugi::xml_node() : c->second;
}

pugi::xml_node Worksheet::CellNode(int row, int col)
{
    if (row < 1 || row > kMaxRows || col < 1 || col > kMaxColumns)
        throw XlsxError("The cell at row " + std::to_string(row) + ", column " + std::to_string(col) +
                        " lies outside the sheet.");
    auto rowIt = m_rows.find(row);
    if (rowIt == m_rows.end()) {
        const auto next = m_rows.upper_bound(row);
        pugi::xml_node node = next == m_rows.end() ? m_sheetData.append_child("row")
                                                   : m_sheetData.insert_child_before("row", next->second.node);
        node.append_attribute("r") = row;
        rowIt = m_rows.emplace(row, Row{node, {}}).first;
    }
    Row& entry = rowIt->second;
    if (const auto c = entry.cells.find(col); c != entry.cells.end()) return c->second;
    entry.node.remove_attribute("spans");  // a hint that may no longer hold
    const auto next = entry.cells.upper_bound(col);
    pugi::xml_node cell = next == entry.cells.end() ? entry.node.append_child("c")
                                                    : entry.node.insert_child_before("c", next->second);
    cell.append_attribute("r") = CellName(row, col).c_str();
    // A new cell takes the format of its row, else of its column.
    int style = 0;
    if (entry.node.attribute("customFormat").as_bool()) {
        style = IntAttr(entry.node, "s", 0);
    } else {
        for (pugi::xml_node c : m_root.child("cols").children("col")) {
            if (col >= IntAttr(c, "min", 0) && col <= IntAttr(c, "max", 0)) {
                style = IntAttr(c, "style", 0);
                break;
            }
        }
    }
    if (style != 0) cell.append_attribute("s") = style;
    entry.cells.emplace(col, cell);
    return cell;
}

void Worksheet::ResetValue(pugi::xml_node cell)
{
    if (pugi::xml_node formula = cell.child("f")) {
        m_book.NoteFormulaRemoved();
        if (std::string_view(formula.attribute("t").value()) == "shared" && formula.attribute("ref"))
            HandOverSharedFormula(cell, formula);
    }
    while (pugi::xml_node child = cell.first_child()) cell.remove_child(child);
    cell.remove_attribute("t");
}

// The cell that holds a shared formula is being overwritten: the first cell that shares it
// becomes its holder, with the formula as it reads there.
void Worksheet::HandOverSharedFormula(pugi::xml_node master, pugi::xml_node formula)
{
    CellRect area;
    int row0 = 0, col0 = 0;
    if (!ParseRangeRef(formula.attribute("ref").value(), area) ||
        !ParseCellRef(master.attribute("r").value(), row0, col0))
        return;
    const std::string si = formula.attribute("si").value();
    pugi::xml_node heir;
    int heirRow = 0, heirCol = 0;
    CellRect rest;
    for (auto it = m_rows.lower_bound(area.row1); it != m_rows.end() && it->first <= area.row2; ++it) {
        for (auto c = it->second.cells.lower_bound(area.col1); c != it->second.cells.end() && c->first <= area.col2; ++c) {
            pugi::xml_node f = c->second.child("f");
            if (c->second == master || !f || std::string_view(f.attribute("t").value()) != "shared" ||
                si != f.attribute("si").value())
                continue;
            if (!heir) {
                heir = c->second;
                heirRow = it->first;
                heirCol = c->first;
                rest = {heirRow, heirCol, heirRow, heirCol};
            }
            rest.row2 = std::max(rest.row2, it->first);
            rest.col1 = std::min(rest.col1, c->first);
            rest.col2 = std::max(rest.col2, c->first);
        }
    }
    if (!heir) return;
    pugi::xml_node f = heir.child("f");
    f.text().set(ShiftFormula(formula.text().get(), heirRow - row0, heirCol - col0).c_str());
    SetAttr(f, "ref", RangeName(rest));
}

void Worksheet::Touch(bool valueChanged)
{
    m_dirty = true;
    m_book.NoteChange(valueChanged);
}

void Worksheet::SetValueFromText(int row, int col, std::string_view text)
{
    double number = 0;
    if (!m_book.CellStyles().IsTextFormat(CellStyle(row, col)) && ParsePlainNumber(text, number)) {
        SetNumber(row, col, number);
    } else {
        SetText(row, col, text);
    }
}

void Worksheet::SetText(int row, int col, std::string_view text)
{
    if (text.empty()) {
        ClearValue(row, col);
        return;
    }
    pugi::xml_node cell = CellNode(row, col);
    ResetValue(cell);
    cell.append_attribute("t") = "inlineStr";
    const std::string clean = CellTextForXml(text);
    pugi::xml_node t = cell.append_child("is").append_child("t");
    if (!clean.empty() && (std::isspace(static_cast<unsigned char>(clean.front())) ||
                           std::isspace(static_cast<unsigned char>(clean.back()))))
        t.append_attribute("xml:space") = "preserve";
    t.text().set(clean.c_str());
    Touch(true);
}

void Worksheet::SetNumber(int row, int col, double value)
{
    const std::string text = NumberText(value);
    pugi::xml_node cell = CellNode(row, col);
    ResetValue(cell);
    cell.append_child("v").text().set(text.c_str());
    Touch(true);
}

void Worksheet::SetBool(int row, int col, bool value)
{
    pugi::xml_node cell = CellNode(row, col);
    ResetValue(cell);
    cell.append_attribute("t") = "b";
    cell.append_child("v").text().set(value ? "1" : "0");
    Touch(true);
}

void Worksheet::ClearValue(int row, int col)
{
    pugi::xml_node cell = FindCell(row, col);
    if (!cell) {
        CellNode(row, col);  // validates the position; an empty cell changes nothing else
        return;
    }
    ResetValue(cell);
    Touch(true);
}

void Worksheet::CheckRect(const CellRect& rect) const
{
    if (rect.row1 < 1 || rect.col1 < 1 || rect.row2 > kMaxRows || rect.col2 > kMaxColumns ||
        rect.row1 > rect.row2 || rect.col1 > rect.col2)
        throw XlsxError("The range lies outside the sheet.");
}

void Worksheet::SetColumnWidth(int col1, int col2, double characters)
{
    if (col1 < 1 || col2 > kMaxColumns || col1 > col2) throw XlsxError("The columns lie outside the sheet.");
    if (!(characters >= 0 && characters <= 255))
        throw XlsxError("A column width must lie between 0 and 255 characters.");
    pugi::xml_node cols = Child("cols");
    // Split the column spans at the edges of the block, so each span lies inside or outside it.
    std::vector<pugi::xml_node> spans(cols.children("col").begin(), cols.children("col").end());
    for (pugi::xml_node span : spans) {
        int lo = IntAttr(span, "min", 0), hi = IntAttr(span, "max", 0);
        if (lo < col1 && hi >= col1) {
            pugi::xml_node left = cols.insert_copy_before(span, span);
            SetAttr(left, "max", std::to_string(col1 - 1));
            SetAttr(span, "min", std::to_string(col1));
            lo = col1;
        }
        if (lo <= col2 && hi > col2) {
            pugi::xml_node right = cols.insert_copy_after(span, span);
            SetAttr(right, "min", std::to_string(col2 + 1));
            SetAttr(span, "max", std::to_string(col2));
        }
    }
    const std::string width = NumberText(ColumnWidthForCharacters(characters));
    int col = col1;
    pugi::xml_node span = cols.child("col");
    while (col <= col2) {
        while (span && IntAttr(span, "max", 0) < col) span = span.next_sibling("col");
        if (span && IntAttr(span, "min", 0) <= col) {
            SetAttr(span, "width", width);
            SetAttr(span, "customWidth", "1");
            col = IntAttr(span, "max", 0) + 1;
            span = span.next_sibling("col");
            continue;
        }
        const int end = span ? std::min(col2, IntAttr(span, "min", 0) - 1) : col2;
        pugi::xml_node added = span ? cols.insert_child_before("col", span) : cols.append_child("col");
        added.append_attribute("min") = col;
        added.append_attribute("max") = end;
        added.append_attribute("width") = width.c_str();
        added.append_attribute("customWidth") = 1;
        col = end + 1;
    }
    Touch(false);
}

void Worksheet::Merge(const CellRect& rect, bool across)
{
    CheckRect(rect);
    std::vector<CellRect> blocks;
    if (across) {
        for (int r = rect.row1; r <= rect.row2; ++r) blocks.push_back({r, rect.col1, r, rect.col2});
    } else {
        blocks.push_back(rect);
    }
    std::erase_if(blocks, [](const CellRect& b) { return b.CellCount() < 2; });
    if (blocks.empty()) return;
    pugi::xml_node merges = Child("mergeCells");
    for (pugi::xml_node m = merges.child("mergeCell"); m;) {
        pugi::xml_node next = m.next_sibling("mergeCell");
        CellRect existing;
        if (ParseRangeRef(m.attribute("ref").value(), existing) &&
            std::any_of(blocks.begin(), blocks.end(), [&](const CellRect& b) { return b.Overlaps(existing); }))
            merges.remove_child(m);
        m = next;
    }
    for (const CellRect& b : blocks) merges.append_child("mergeCell").append_attribute("ref") = RangeName(b).c_str();
    SetAttr(merges, "count",
            std::to_string(std::distance(merges.children("mergeCell").begin(), merges.children("mergeCell").end())));
    Touch(false);
}

void Worksheet::ApplyStyle(const CellRect& rect, const StyleChange& change)
{
    CheckRect(rect);
    if (rect.CellCount() > kMaxCellsPerChange)
        throw XlsxError("The range " + RangeName(rect) + " is too large to format cell by cell.");
    Styles& styles = m_book.CellStyles();
    for (int r = rect.row1; r <= rect.row2; ++r) {
        for (int c = rect.col1; c <= rect.col2; ++c) {
            pugi::xml_node cell = CellNode(r, c);
            const int style = styles.Derive(IntAttr(cell, "s", 0), change);
            if (style == 0) cell.remove_attribute("s");
            else SetAttr(cell, "s", std::to_string(style));
        }
    }
    Touch(false);
}

void Worksheet::Select(const CellRect& rect)
{
    CheckRect(rect);
    pugi::xml_node views = Child("sheetViews");
    pugi::xml_node view = views.child("sheetView");
    if (!view) {
        view = views.append_child("sheetView");
        view.append_attribute("workbookViewId") = 0;
    }
    std::string pane;
    if (pugi::xml_node p = view.child("pane")) pane = p.attribute("activePane").as_string("topLeft");
    pugi::xml_node selection;
    for (pugi::xml_node s : view.children("selection")) {
        if (pane == s.attribute("pane").as_string(pane.empty() ? "" : "topLeft")) {
            selection = s;
            break;
        }
    }
    if (!selection) {
        pugi::xml_node before = view.child("pivotSelection");
        if (!before) before = view.child("extLst");
        selection = before ? view.insert_child_before("selection", before) : view.append_child("selection");
        if (!pane.empty()) selection.append_attribute("pane") = pane.c_str();
    }
    selection.remove_attribute("activeCellId");
    SetAttr(selection, "activeCell", CellName(rect.row1, rect.col1));
    SetAttr(selection, "sqref", RangeName(rect));
    Touch(false);
}

CellRect Worksheet::UsedRange() const
{
    bool any = false;
    CellRect used;
    auto include = [&](const CellRect& r) {
        if (!any) {
            used = r;
            any = true;
            return;
        }
        used.row1 = std::min(used.row1, r.row1);
        used.col1 = std::min(used.col1, r.col1);
        used.row2 = std::max(used.row2, r.row2);
        used.col2 = std::max(used.col2, r.col2);
    };
    for (const auto& [row, entry] : m_rows) {
        if (entry.cells.empty()) continue;
        include({row, entry.cells.begin()->first, row, entry.cells.rbegin()->first});
    }
    for (pugi::xml_node m : m_root.child("mergeCells").children("mergeCell")) {
        CellRect r;
        if (ParseRangeRef(m.attribute("ref").value(), r)) include(r);
    }
    return any ? used : CellRect{};
}

std::string Worksheet::CellText(int row, int col) const
{
    pugi::xml_node cell = FindCell(row, col);
    if (!cell) return {};
    const std::string type = cell.attribute("t").value();
    if (type == "inlineStr") return InlineText(cell.child("is"));
    if (type == "s") return m_book.SharedString(cell.child("v").text().as_int(-1));
    return cell.child("v").text().get();
}

bool Worksheet::CellIsNumber(int row, int col) const
{
    pugi::xml_node cell = FindCell(row, col);
    const std::string type = cell.attribute("t").value();
    return cell && cell.child("v") && (type.empty() || type == "n");
}

int Worksheet::CellStyle(int row, int col) const
{
    if (pugi::xml_node cell = FindCell(row, col)) return IntAttr(cell, "s", 0);
    // A cell that does not exist yet shows the format it would get.
    const auto r = m_rows.find(row);
    if (r != m_rows.end() && r->second.node.attribute("customFormat").as_bool()) return IntAttr(r->second.node, "s", 0);
    for (pugi::xml_node c : m_root.child("cols").children("col"))
        if (col >= IntAttr(c, "min", 0) && col <= IntAttr(c, "max", 0)) return IntAttr(c, "style", 0);
    return 0;
}

void Worksheet::DropFormulaResults()
{
    if (!m_hasFormulas) return;
    for (auto& [row, entry] : m_rows) {
        for (auto& [col, cell] : entry.cells) {
            if (!cell.child("f")) continue;
            cell.remove_child("v");
            cell.remove_attribute("t");
        }
    }
    m_dirty = true;
}

std::string Worksheet::Serialize()
{
    if (pugi::xml_node dimension = m_root.child("dimension"))
        SetAttr(dimension, "ref", RangeName(UsedRange()));
    return DocumentBytes(m_doc);
}

// ---------------------------------------------------------------------------------------------
// Workbook

Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::Load(const std::string& path)
{
    const std::string data = ReadWholeFile(path);
    auto book = std::unique_ptr<Workbook>(new Workbook);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data.data(), data.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        if (source) zip_source_free(source);
        zip_error_fini(&error);
        throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: it is no zip package.");
    }
    std::string problem;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && problem.empty(); ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
            problem = "an entry cannot be read";
            break;
        }
        const std::string name = st.name;
        if (name.empty() || name.back() == '/') continue;
        if (st.size > kMaxPartSize) {
            problem = "the part " + name + " is too large";
            break;
        }
        std::string bytes(static_cast<std::size_t>(st.size), '\0');
        zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        if (!file || zip_fread(file, bytes.data(), st.size) != static_cast<zip_int64_t>(st.size)) {
            problem = "the part " + name + " cannot be unpacked";
        }
        if (file) zip_fclose(file);
        if (book->m_parts.emplace(name, std::move(bytes)).second) book->m_order.push_back(name);
    }
    zip_discard(archive);
    zip_error_fini(&error);
    if (!problem.empty()) throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: " + problem + ".");
    try {
        book->Parse(path);
    } catch (const XlsxError& e) {
        throw XlsxError(Quoted(path) + " is not a valid .xlsx workbook: " + e.what() + ".");
    }
    return book;
}

std::unique_ptr<Workbook> Workbook::CreateNew()
{
    auto book = std::unique_ptr<Workbook>(new Workbook);
    const std::string header = kXmlHeader;
    book->SetPart("[Content_Types].xml",
                  header +
                      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                      "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
                      "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + kStylesContentType + "\"/>"
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
                      "Type=\"" + kStylesType + "\" Target=\"styles.xml\"/></Relationships>");
    book->SetPart("xl/worksheets/sheet1.xml",
                  header + "<worksheet xmlns=\"" + kMainNs + "\" xmlns:r=\"" + kRelNs +
                      "\"><dimension ref=\"A1\"/><sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/>"
                      "</sheetViews><sheetFormatPr defaultRowHeight=\"15\"/><sheetData/><pageMargins left=\"0.7\" "
                      "right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/></worksheet>");
    book->SetPart("xl/styles.xml", Styles::MinimalPart());
    book->Parse("a new workbook");
    return book;
}

void Workbook::SetPart(const std::string& name, std::string bytes)
{
    auto [it, added] = m_parts.insert_or_assign(name, std::move(bytes));
    if (added) m_order.push_back(name);
}

std::string Workbook::PartBytes(const std::string& name) const
{
    const auto it = m_parts.find(name);
    return it == m_parts.end() ? std::string() : it->second;
}

std::vector<std::string> Workbook::PartNames() const { return m_order; }

void Workbook::Parse(const std::string& /*origin*/)
{
    if (!m_parts.count("[Content_Types].xml")) throw XlsxError("the package has no content types");
    const pugi::xml_document rootRels = ParseXml(PartBytes("_rels/.rels"), "_rels/.rels");
    for (pugi::xml_node rel : rootRels.child("Relationships").children("Relationship")) {
        if (EndsWith(rel.attribute("Type").value(), "/officeDocument")) {
            m_workbookPart = ResolveTarget("", rel.attribute("Target").value());
            break;
        }
    }
    if (m_workbookPart.empty() || !m_parts.count(m_workbookPart)) throw XlsxError("the package has no workbook part");
    const pugi::xml_document workbook = ParseXml(PartBytes(m_workbookPart), m_workbookPart);
    pugi::xml_node root = workbook.child("workbook");
    if (!root) throw XlsxError("the workbook part holds no workbook");
    const std::string relsPart = RelsPartFor(m_workbookPart);
    const pugi::xml_document rels = ParseXml(PartBytes(relsPart), relsPart);
    std::map<std::string, std::pair<std::string, std::string>> byId;  // id -> (type, part)
    for (pugi::xml_node rel : rels.child("Relationships").children("Relationship")) {
        if (std::string(rel.attribute("TargetMode").value()) == "External") continue;
        const std::string type = rel.attribute("Type").value();
        const std::string part = ResolveTarget(m_workbookPart, rel.attribute("Target").value());
        byId[rel.attribute("Id").value()] = {type, part};
        if (EndsWith(type, "/styles")) m_stylesPart = part;
        if (EndsWith(type, "/sharedStrings")) m_sharedStringsPart = part;
    }
    for (pugi::xml_node sheet : root.child("sheets").children("sheet")) {
        std::string id;
        for (pugi::xml_attribute a : sheet.attributes())
            if (EndsWith(a.name(), ":id")) id = a.value();
        const auto it = byId.find(id);
        if (it == byId.end() || !m_parts.count(it->second.second))
            throw XlsxError("the sheet \"" + std::string(sheet.attribute("name").value()) + "\" has no part");
        SheetEntry entry{sheet.attribute("name").value(), it->second.second, nullptr};
        if (EndsWith(it->second.first, "/worksheet"))
            entry.sheet = std::make_unique<Worksheet>(*this, entry.part, ParseXml(PartBytes(entry.part), entry.part));
        m_sheets.push_back(std::move(entry));
    }
    if (m_sheets.empty()) throw XlsxError("the workbook has no sheet");
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
            for (pugi::xml_node si : doc.child("sst").children("si")) m_sharedStrings->push_back(InlineText(si));
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
    for (SheetEntry& entry : m_sheets)
        if (entry.sheet && entry.sheet->Dirty()) SetPart(entry.part, entry.sheet->Serialize());
    if (m_styles && m_styles->Dirty()) SetPart(m_stylesPart, m_styles->Serialize());

    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = target ? zip_open_from_source(target, ZIP_TRUNCATE, &error) : nullptr;
    if (!archive) {
        if (target) zip_source_free(target);
        zip_error_fini(&error);
        throw XlsxError("The workbook cannot be packed.");
    }
    zip_source_keep(target);
    bool ok = true;
    // The content types come first, as readers expect.
    std::vector<std::string> order = m_order;
    std::stable_partition(order.begin(), order.end(), [](const std::string& n) { return n == "[Content_Types].xml"; });
    for (const std::string& name : order) {
        const std::string& bytes = m_parts.at(name);
        zip_source_t* part = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        if (!part || zip_file_add(archive, name.c_str(), part, ZIP_FL_ENC_UTF_8) < 0) {
            if (part) zip_source_free(part);
            ok = false;
            break;
        }
    }
    if (!ok || zip_close(archive) != 0) {
        zip_discard(archive);
        zip_source_free(target);
        zip_error_fini(&error);
        throw XlsxError("The workbook cannot be packed.");
    }
    std::string out;
    if (zip_source_open(target) == 0) {
        zip_source_seek(target, 0, SEEK_END);
        const zip_int64_t size = zip_source_tell(target);
        zip_source_seek(target, 0, SEEK_SET);
        if (size > 0) {
            out.resize(static_cast<std::size_t>(size));
            if (zip_source_read(target, out.data(), static_cast<zip_uint64_t>(size)) != size) out.clear();
        }
        zip_source_close(target);
    }
    zip_source_free(target);
    zip_error_fini(&error);
    if (out.empty()) throw XlsxError("The workbook cannot be packed.");
    return out;
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

void Workbook::SaveTo(const std::string& path)
{
    WriteFileAtomically(path, Build());
}

}  // namespace spreadsheet
