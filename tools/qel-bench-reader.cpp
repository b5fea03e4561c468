// Benchmark of the workbook reader, printed as figures (no display needed). It makes its own
// files in a temporary folder and, for each, opens it through the automation server in a process
// of its own, and runs the report's create step on it (open, select, save, save a copy, close)
// in another:
//  - the report template and a report of 127 records, as the console makes them;
//  - a legitimate large workbook (14 MB: a measurement log of 1.5 million cells);
//  - the template with 235 MB of ordinary cells in its sheet;
//  - workbooks made to reach the reader's bounds (its XML parts hold as many elements and
//    attributes and unpack to as much as the reader takes, in a package as large as it takes),
//    and ones just past a bound.
// For each it prints whether the file was accepted, the time taken (by the first run, in a fresh
// process, and the median of the runs: later runs reuse memory the first one made resident) and the peak resident memory of the process (VmHWM; the process itself takes
// about 4 MB before it opens anything).
//
//   qel-bench-reader [--only NAME]...
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <zip.h>

#include "core/automation.h"
#include "spreadsheet/dispatch_ids.h"
#include "spreadsheet/package_io.h"
#include "spreadsheet/server.h"
#include "spreadsheet/workbook.h"
#include "spreadsheet/xml_part.h"

namespace {

using Clock = std::chrono::steady_clock;
using core::DISPPARAMS;
using core::IDispatch;
using core::VARIANT;
namespace id = spreadsheet::dispid;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

double MegaBytes(double bytes) { return bytes / (1024.0 * 1024.0); }

long PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// ---- The measuring process -------------------------------------------------------------------

// One automation call; the error text is the exception's description when it fails.
struct Call {
    bool ok = false;
    VARIANT value;
    std::string error;
};

Call Do(IDispatch* object, core::DISPID member, core::WORD kind, DISPPARAMS args = {})
{
    Call call;
    core::EXCEPINFO excep;
    const core::HRESULT hr = object->Invoke(member, kind, args, &call.value, &excep);
    call.ok = hr == core::S_OK;
    if (!call.ok) call.error = excep.description.empty() ? "call failed" : excep.description;
    return call;
}

DISPPARAMS OpenArgs(const std::string& path)
{
    DISPPARAMS args{VARIANT::Bstr(path)};
    for (int k = 0; k < 14; ++k) args.push_back(VARIANT::Missing());
    return args;
}

// Opening alone: Workbooks.Open, then Close. The create step: open, select A1:L150000 of the
// first sheet, save, save a copy, close. Returns the failure's description ("" when none).
std::string RunOnce(IDispatch* books, const std::string& path, bool createStep)
{
    Call book = Do(books, id::kOpen, core::DISPATCH_METHOD, OpenArgs(path));
    if (!book.ok) return book.error;
    IDispatch* wb = book.value.pdispVal;
    if (createStep) {
        Call sheets = Do(wb, id::kWorksheets, core::DISPATCH_PROPERTYGET);
        if (!sheets.ok) return sheets.error;
        Call sheet = Do(sheets.value.pdispVal, id::kItem, core::DISPATCH_PROPERTYGET, {VARIANT::I2(1)});
        if (!sheet.ok) return sheet.error;
        Call range = Do(sheet.value.pdispVal, id::kRange, core::DISPATCH_PROPERTYGET,
                        {VARIANT::Bstr("A1"), VARIANT::Bstr("L150000")});
        if (!range.ok) return range.error;
        for (Call step :
             {Do(range.value.pdispVal, id::kSelect, core::DISPATCH_METHOD), Do(wb, id::kSave, core::DISPATCH_METHOD),
              Do(wb, id::kSaveCopyAs, core::DISPATCH_METHOD, {VARIANT::Bstr(path + ".copy.xlsx")})})
            if (!step.ok) return step.error;
    }
    Call closed = Do(wb, id::kClose, core::DISPATCH_METHOD);
    return closed.ok ? std::string() : closed.error;
}

// Runs the open or the create step `repeat` times and prints: accepted|refused, the time of the
// first run and the median time, the peak resident memory in kB, and the refusal's description.
int MeasureHere(const std::string& mode, const std::string& path, int repeat)
{
    IDispatch* app = spreadsheet::CreateApplication();
    Call books = Do(app, id::kWorkbooks, core::DISPATCH_PROPERTYGET);
    std::vector<double> times;
    std::string failure;
    for (int i = 0; i < repeat && failure.empty(); ++i) {
        const auto start = Clock::now();
        failure = RunOnce(books.value.pdispVal, path, mode == "create");
        times.push_back(Seconds(start));
    }
    books = Call();
    app->Release();
    std::filesystem::remove(path + ".copy.xlsx");
    const double first = times.front();
    std::sort(times.begin(), times.end());
    std::printf("%s %.6f %.6f %ld %s\n", failure.empty() ? "accepted" : "refused", first, times[times.size() / 2],
                PeakResidentKb(), failure.c_str());
    return 0;
}

struct Figures {
    bool ok = false;
    bool accepted = false;
    double first = 0;
    double median = 0;
    long peakKb = 0;
    std::string description;
};

// Runs MeasureHere in a new process (this program again), so each figure starts from a clean
// process.
Figures MeasureInChild(const std::string& self, const std::string& mode, const std::string& path, int repeat)
{
    Figures f;
    int out[2];
    if (::pipe(out) != 0) return f;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        const std::string count = std::to_string(repeat);
        ::execl(self.c_str(), self.c_str(), "--measure", mode.c_str(), path.c_str(), count.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::istringstream in(text);
    std::string verdict;
    if (!(in >> verdict >> f.first >> f.median >> f.peakKb)) return f;
    std::getline(in, f.description);
    if (!f.description.empty() && f.description[0] == ' ') f.description.erase(0, 1);
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    f.accepted = verdict == "accepted";
    return f;
}

// ---- The files -------------------------------------------------------------------------------

struct Part {
    std::string name;
    std::string bytes;
    bool store = false;  // stored as it is rather than deflated
};
using Parts = std::vector<Part>;

void WritePackage(const std::string& path, const Parts& parts)
{
    int err = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!archive) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    for (const Part& part : parts) {
        zip_source_t* source = zip_source_buffer(archive, part.bytes.data(), part.bytes.size(), 0);
        const zip_int64_t index = zip_file_add(archive, part.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            std::fprintf(stderr, "cannot add %s\n", part.name.c_str());
            std::exit(1);
        }
        if (part.store) zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

Parts PackageOf(const std::string& path)
{
    Parts parts;
    for (auto& [name, bytes] : spreadsheet::ReadPackage(path)) parts.push_back({name, std::move(bytes)});
    return parts;
}

std::string& PartNamed(Parts& parts, const std::string& name)
{
    for (Part& part : parts)
        if (part.name == name) return part.bytes;
    std::fprintf(stderr, "the package has no part %s\n", name.c_str());
    std::exit(1);
}

std::string ColumnName(int col)
{
    std::string name;
    for (; col > 0; col = (col - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (col - 1) % 26));
    return name;
}

const char* const kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// A cell format that wraps its text (index 3 of the style sheet below).
constexpr int kWrapStyle = 3;

std::string StyleSheet(const std::string& padding = {})
{
    return std::string(kHeader) +
           "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/></numFmts>"
           "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
           "patternType=\"gray125\"/></fill></fills><borders count=\"1\"><border/></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
           "<cellXfs count=\"4\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
           "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
           "<xf numFmtId=\"14\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
           "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyAlignment=\"1\">"
           "<alignment wrapText=\"1\"/></xf></cellXfs>" +
           padding + "</styleSheet>";
}

// A package of one sheet (and shared strings when given), as a desktop spreadsheet writes it.
Parts OneSheetPackage(const std::string& sheet, const std::string& sharedStrings, const std::string& styles)
{
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    Parts parts;
    parts.push_back({"[Content_Types].xml",
                     std::string(kHeader) +
                         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                         "<Default Extension=\"rels\" ContentType=\"application/"
                         "vnd.openxmlformats-package.relationships+xml\"/>"
                         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                         "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
                         ct + "sheet.main+xml\"/><Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + ct +
                         "worksheet+xml\"/><Override PartName=\"/xl/styles.xml\" ContentType=\"" + ct +
                         "styles+xml\"/><Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" + ct +
                         "sharedStrings+xml\"/></Types>"});
    parts.push_back({"_rels/.rels", std::string(kHeader) + "<Relationships xmlns=\"" + pkg +
                                        "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                                        "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"});
    parts.push_back({"xl/workbook.xml", std::string(kHeader) +
                                            "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                                            "2006/main\" xmlns:r=\"" +
                                            rel +
                                            "\"><sheets><sheet name=\"Data\" sheetId=\"1\" r:id=\"rId1\"/>"
                                            "</sheets></workbook>"});
    std::string rels = std::string(kHeader) + "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" +
                       rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
                       "/styles\" Target=\"styles.xml\"/>";
    if (!sharedStrings.empty())
        rels += "<Relationship Id=\"rId3\" Type=\"" + rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    parts.push_back({"xl/_rels/workbook.xml.rels", rels + "</Relationships>"});
    parts.push_back({"xl/worksheets/sheet1.xml", sheet});
    parts.push_back({"xl/styles.xml", styles});
    if (!sharedStrings.empty()) parts.push_back({"xl/sharedStrings.xml", sharedStrings});
    return parts;
}

std::string Worksheet(const std::string& sheetDataAttributes, const std::string& rows, const std::string& padding)
{
    return std::string(kHeader) +
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheetData" +
           sheetDataAttributes + ">" + rows + "</sheetData>" + padding + "</worksheet>";
}

// A legitimate large workbook: 150,000 rows of a measurement log in ten columns (a site and an
// operator from shared strings, a date, a count and six readings), as a desktop spreadsheet
// writes it.
Parts LargeWorkbook()
{
    constexpr int kRows = 150000;
    std::mt19937_64 rng(14);
    std::string sst = std::string(kHeader) +
                      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"300000\" "
                      "uniqueCount=\"5000\">";
    for (int i = 0; i < 5000; ++i) sst += "<si><t>Site " + std::to_string(i * 7919 % 100003) + " span</t></si>";
    sst += "</sst>";
    std::string rows;
    std::uniform_real_distribution<double> reading(-60, 5);
    char buf[64];
    for (int r = 1; r <= kRows; ++r) {
        const std::string row = std::to_string(r);
        rows += "<row r=\"" + row + "\" spans=\"1:10\">";
        rows += "<c r=\"A" + row + "\" t=\"s\"><v>" + std::to_string(rng() % 5000) + "</v></c>";
        rows += "<c r=\"B" + row + "\" t=\"s\"><v>" + std::to_string(rng() % 40) + "</v></c>";
        rows += "<c r=\"C" + row + "\" s=\"2\"><v>" + std::to_string(45000 + r / 300) + "</v></c>";
        rows += "<c r=\"D" + row + "\"><v>" + std::to_string(rng() % 1000) + "</v></c>";
        for (int c = 5; c <= 10; ++c) {
            std::snprintf(buf, sizeof buf, "%.15g", reading(rng));
            rows += "<c r=\"" + ColumnName(c) + row + "\" s=\"1\"><v>" + buf + "</v></c>";
        }
        rows += "</row>";
    }
    return OneSheetPackage(Worksheet("", rows, ""), sst, StyleSheet());
}

// The template with rows of ordinary cells after its own, until its sheet holds `sheetBytes`.
Parts TemplateWithRows(const std::string& templatePath, std::size_t sheetBytes)
{
    Parts parts = PackageOf(templatePath);
    std::string& sheet = PartNamed(parts, "xl/worksheets/sheet1.xml");
    const std::size_t end = sheet.rfind("</sheetData>");
    const std::string tail = sheet.substr(end);
    sheet.resize(end);
    sheet.reserve(sheetBytes + 1024);
    std::mt19937_64 rng(235);
    char buf[64];
    for (int r = 401; sheet.size() + tail.size() < sheetBytes; ++r) {
        const std::string row = std::to_string(r);
        sheet += "<row r=\"" + row + "\">";
        for (int c = 1; c <= 9; ++c) {
            std::snprintf(buf, sizeof buf, "%.10g", static_cast<double>(rng() % 10000000000) / 1000000.0 - 5000.0);
            sheet += "<c r=\"" + ColumnName(c) + row + "\"><v>" + buf + "</v></c>";
        }
        sheet += "</row>";
    }
    sheet += tail;
    return parts;
}

spreadsheet::xml::XmlCounts CountsOf(const Parts& parts)
{
    spreadsheet::xml::XmlCounts sum;
    for (const Part& part : parts) {
        if (part.store) continue;
        const auto c = spreadsheet::xml::CountXml(part.bytes);
        sum.bytes += c.bytes;
        sum.nodes += c.nodes;
        sum.attributes += c.attributes;
    }
    return sum;
}

// A comment of exactly `bytes` bytes (at least 7), of letters that compress as text does.
std::string Comment(std::uint64_t bytes)
{
    std::string text(bytes - 7, 'a');
    std::mt19937 rng(7);
    for (char& c : text) c = static_cast<char>('a' + rng() % 26);
    return "<!--" + text + "-->";
}

struct Bounds {
    std::uint64_t nodes;
    std::uint64_t attributes;
    std::uint64_t xmlBytes;
    std::uint64_t total;
};

enum class Shape { Cells, Strings };

// A workbook whose XML parts together hold exactly b.nodes elements and texts and b.attributes
// attributes and unpack to exactly b.xmlBytes, in a package that a part of random bytes (stored)
// fills up to b.total. Cells: the elements are rows (as many as a sheet has) and their cells,
// each with its reference and, while the attributes last, a format (and, when there are fewer
// attributes than elements, an empty value); Strings: they are empty
// shared strings, which the create step reads through a wrapped cell. The attributes left over
// sit on one element. A comment brings the bytes up: in the sheet or the shared strings, or in
// the style sheet when paddingInStyles (then no part passes its own bound, the parts together
// do).
Parts AtBounds(const Bounds& b, Shape shape, bool paddingInStyles)
{
    const bool strings = shape == Shape::Strings;
    const std::string wrappedCell =
        "<row r=\"1\"><c r=\"A1\" s=\"" + std::to_string(kWrapStyle) + "\" t=\"s\"><v>0</v></c></row>";
    const std::string sstHead = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
    Parts parts = OneSheetPackage(Worksheet("", strings ? wrappedCell : "", ""),
                                  strings ? std::string(kHeader) + sstHead + "></sst>" : std::string(), StyleSheet());
    const auto base = CountsOf(parts);
    const std::uint64_t nodes = b.nodes - base.nodes;
    const std::uint64_t attributesLeft = b.attributes - base.attributes;
    // Rows and cells carry their reference; nodes beyond the attributes are values of cells.
    const std::uint64_t referenced = strings ? 0 : std::min(nodes, attributesLeft);
    std::uint64_t values = nodes - referenced;
    std::uint64_t extra = attributesLeft - referenced;  // attributes beyond the references
    std::string body;
    if (strings) {
        body.reserve(nodes * 5);
        for (std::uint64_t i = 0; i < nodes; ++i) body += "<si/>";
    } else {
        const std::uint64_t rows = std::min<std::uint64_t>(spreadsheet::kMaxRows, referenced / 2);
        const std::uint64_t cells = referenced - rows;
        body.reserve(nodes * 20);
        for (std::uint64_t r = 1; r <= rows; ++r) {
            const std::string row = std::to_string(r);
            body += "<row r=\"" + row + "\">";
            const std::uint64_t n = cells / rows + (r <= cells % rows ? 1 : 0);
            for (std::uint64_t c = 1; c <= n; ++c) {
                body += "<c r=\"" + ColumnName(static_cast<int>(c)) + row + "\"";
                if (extra > 0) {
                    body += " s=\"0\"";
                    --extra;
                }
                if (values > 0) {
                    body += "><v/></c>";
                    --values;
                } else {
                    body += "/>";
                }
            }
            body += "</row>";
        }
        for (; values > 0; --values) body += "<x/>";  // the reader passes over them
    }
    std::string attributes;
    for (std::uint64_t i = 0; i < extra; ++i) attributes += " a" + std::to_string(i) + "=\"\"";
    auto build = [&](const std::string& padding) {
        if (strings) {
            PartNamed(parts, "xl/sharedStrings.xml") =
                std::string(kHeader) + sstHead + attributes + ">" + body + padding + "</sst>";
        } else {
            PartNamed(parts, "xl/worksheets/sheet1.xml") = Worksheet(attributes, body, padding);
        }
    };
    build("");
    const std::uint64_t padding = b.xmlBytes - CountsOf(parts).bytes;
    if (paddingInStyles)
        PartNamed(parts, "xl/styles.xml") = StyleSheet(Comment(padding));
    else
        build(Comment(padding));
    std::uint64_t unpacked = 0;
    for (const Part& part : parts) unpacked += part.bytes.size();
    if (unpacked < b.total) {
        std::string filler(b.total - unpacked, '\0');
        std::mt19937_64 rng(256);
        for (std::size_t i = 0; i + 8 <= filler.size(); i += 8) {
            const std::uint64_t v = rng();
            std::memcpy(filler.data() + i, &v, 8);
        }
        parts.push_back({"xl/media/filler.bin", std::move(filler), true});
    }
    return parts;
}

// A report of 127 records as the fill step writes it into a copy of the template.
void MakeReport(const std::string& templatePath, const std::string& path)
{
    auto book = spreadsheet::Workbook::Load(templatePath);
    spreadsheet::Worksheet& sheet = *book->SheetAt(0);
    sheet.SetText(3, 2, "J. Operator");
    sheet.SetText(4, 2, "OPM-3");
    sheet.SetText(3, 6, "Demo Fibre Networks");
    sheet.SetText(4, 6, "acceptance test, span A-B");
    sheet.SetText(5, 2, "QEL-0042");
    sheet.SetText(5, 3, "note 1");
    char buf[64];
    for (int i = 0; i < 127; ++i) {
        const int r = 11 + 2 * i;
        sheet.SetNumber(r, 1, i + 1);
        sheet.SetText(r, 2, "1310nm");
        sheet.SetText(r + 1, 2, "1550nm");
        for (int c = 3; c <= 7; ++c) {
            std::snprintf(buf, sizeof buf, "%.2f", -10.0 - i * 0.13 - c);
            sheet.SetValueFromText(r, c, buf);
            std::snprintf(buf, sizeof buf, "%.2f", -12.0 - i * 0.11 - c);
            sheet.SetValueFromText(r + 1, c, buf);
        }
        sheet.SetText(r, 8, "-3.00");
        std::snprintf(buf, sizeof buf, "2024-03-%02d 12:%02d:%02d", 1 + i % 28, i % 60, (i * 7) % 60);
        sheet.SetText(r, 9, buf);
    }
    book->SaveTo(path);
}

struct Entry {
    std::string name;
    std::string what;
    std::function<Parts()> make;
    int repeat;
    std::string source;  // the file itself, when make only reads it
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--measure") == 0) return MeasureHere(argv[2], argv[3], std::atoi(argv[4]));
    std::vector<std::string> only;
    for (int i = 1; i + 1 < argc; i += 2)
        if (std::strcmp(argv[i], "--only") == 0) only.push_back(argv[i + 1]);

    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string templatePath = std::string(QEL_DATA_DIR) + "/savemode.xlsx";
    std::string dir = (std::filesystem::temp_directory_path() / "qel-bench-reader-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }

    const std::string reportPath = dir + "/made-report.xlsx";
    const spreadsheet::XmlLimits xml;
    const spreadsheet::PackageLimits package;
    const Bounds bounds{xml.nodes, xml.attributes, xml.bytes, package.total};
    auto past = [&](std::uint64_t nodes, std::uint64_t attributes, std::uint64_t bytes) {
        return Bounds{bounds.nodes + nodes, bounds.attributes + attributes, bounds.xmlBytes + bytes, bounds.total};
    };
    const std::vector<Entry> entries = {
        {"template", "the report template savemode.xlsx", [&] { return PackageOf(templatePath); }, 50, templatePath},
        {"report-127", "a report of 127 records",
         [&] {
             MakeReport(templatePath, reportPath);
             return PackageOf(reportPath);
         },
         50, reportPath},
        {"large-14mb", "a legitimate workbook: a log of 1.5 million cells", LargeWorkbook, 1, ""},
        {"sheet-235mb", "the template with 235 MB of ordinary cells in its sheet",
         [&] { return TemplateWithRows(templatePath, 235u * 1024 * 1024); }, 1, ""},
        {"bounds-cells", "at every bound: rows and cells, a package of the largest size",
         [&] { return AtBounds(bounds, Shape::Cells, false); }, 1, ""},
        {"bounds-strings", "at every bound: shared strings, a package of the largest size",
         [&] { return AtBounds(bounds, Shape::Strings, false); }, 1, ""},
        {"past-nodes", "one element past the bound", [&] { return AtBounds(past(1, 1, 0), Shape::Cells, false); }, 1,
         ""},
        {"past-attrs", "one attribute past the bound", [&] { return AtBounds(past(0, 1, 0), Shape::Cells, false); }, 1,
         ""},
        {"past-bytes", "one byte past the bound, no part past its own",
         [&] { return AtBounds(past(0, 0, 1), Shape::Cells, true); }, 1, ""},
    };

    std::printf("Bounds: XML parts together %.0f MB, %llu elements and texts, %llu attributes; package %.0f MB.\n",
                MegaBytes(static_cast<double>(xml.bytes)), static_cast<unsigned long long>(xml.nodes),
                static_cast<unsigned long long>(xml.attributes), MegaBytes(static_cast<double>(package.total)));
    std::printf("%-15s %8s %8s %7s %7s | %-8s %9s %9s %8s | %9s %9s %8s\n", "", "file", "XML", "nodes", "attrs", "open",
                "first", "median", "peak", "create", "median", "peak");
    std::printf("%-15s %8s %8s %7s %7s | %-8s %9s %9s %8s | %9s %9s %8s\n", "file", "MB", "MB", "M", "M", "result", "s",
                "s", "MB", "first s", "s", "MB");
    for (const Entry& e : entries) {
        if (!only.empty() && std::find(only.begin(), only.end(), e.name) == only.end()) continue;
        const std::string path = dir + "/" + e.name + ".xlsx";
        spreadsheet::xml::XmlCounts counts;
        {
            const Parts parts = e.make();
            counts = CountsOf(parts);
            if (e.source.empty())
                WritePackage(path, parts);
            else
                std::filesystem::copy_file(e.source, path);
        }
        const double fileMb = MegaBytes(static_cast<double>(std::filesystem::file_size(path)));
        const Figures open = MeasureInChild(self, "open", path, e.repeat);
        const Figures create = MeasureInChild(self, "create", path, std::max(1, e.repeat / 2));
        std::printf("%-15s %8.2f %8.2f %7.2f %7.2f | ", e.name.c_str(), fileMb,
                    MegaBytes(static_cast<double>(counts.bytes)), static_cast<double>(counts.nodes) / 1e6,
                    static_cast<double>(counts.attributes) / 1e6);
        for (const Figures* f : {&open, &create}) {
            if (!f->ok) {
                std::printf("%-8s %9s %9s %8s", f == &open ? "failed" : "", "-", "-", "-");
            } else if (f == &open) {
                std::printf("%-8s %9.4f %9.4f %8.1f", f->accepted ? "accepted" : "refused", f->first, f->median,
                            static_cast<double>(f->peakKb) / 1024.0);
            } else {
                std::printf("%9.4f %9.4f %8.1f", f->first, f->median, static_cast<double>(f->peakKb) / 1024.0);
            }
            if (f == &open) std::printf(" | ");
        }
        std::printf("\n%17s%s\n", "", open.accepted ? e.what.c_str() : open.description.c_str());
        std::fflush(stdout);
        std::filesystem::remove(path);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
