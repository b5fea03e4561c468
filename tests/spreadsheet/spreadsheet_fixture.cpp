#include "tests/spreadsheet/spreadsheet_fixture.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <zip.h>

#include <cerrno>
#include <cstddef>
#include <iterator>

namespace sheet_test {

void TempFolder::SetUp()
{
    m_temp = std::make_unique<testing_support::TempDir>("qel-sheet");
    m_dir = m_temp->Path();
}

void TempFolder::TearDown()
{
    m_temp.reset();  // also a folder a test made read-only goes
}

std::vector<std::string> TempFolder::Listing() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir))
        names.push_back(std::filesystem::relative(entry.path(), m_dir).string());
    std::sort(names.begin(), names.end());
    return names;
}

void PrintTo(Files files, std::ostream* out)
{
    switch (files) {
    case Files::Unnamed: *out << "files without a name"; break;
    case Files::NoUnnamed: *out << "no files without a name"; break;
    case Files::Unnameable: *out << "files without a name that cannot be named"; break;
    case Files::NoRenameGuard: *out << "no files without a name, no rename without replacing"; break;
    }
}

bool Offer(Files files)
{
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the flags are read as the low word of the argument");
    const auto refuse = [](int err) { return SECCOMP_RET_ERRNO | (static_cast<__u32>(err) & SECCOMP_RET_DATA); };
    // openat with O_TMPFILE: EOPNOTSUPP; with noRenameGuard also renameat2 with RENAME_NOREPLACE:
    // EINVAL, as a file system that cannot refuse to replace a name.
    sock_filter noUnnamed[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + 2 * sizeof(__u64)),
        // The bit of its own that O_TMPFILE has beside O_DIRECTORY, which opening a folder sets.
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, __O_TMPFILE & ~O_DIRECTORY, 0, 4),
        BPF_STMT(BPF_RET | BPF_K, refuse(EOPNOTSUPP)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args) + 4 * sizeof(__u64)),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, RENAME_NOREPLACE, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, refuse(EINVAL)),
    };
    sock_filter unnameable[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_linkat, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, refuse(ENOENT)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{};
    switch (files) {
    case Files::Unnamed: return true;
    case Files::NoUnnamed:
        // Without the renameat2 part: the jump at the O_TMPFILE test goes past it to allow.
        noUnnamed[5] = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
        program = {static_cast<unsigned short>(std::size(noUnnamed)), noUnnamed};
        break;
    case Files::NoRenameGuard: program = {static_cast<unsigned short>(std::size(noUnnamed)), noUnnamed}; break;
    case Files::Unnameable: program = {static_cast<unsigned short>(std::size(unnameable)), unnameable}; break;
    }
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

bool FailSyncs(int err)
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fsync, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fdatasync, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<__u32>(err) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program, 0, 0) == 0;
}

std::vector<std::pair<std::string, std::string>> OneSheetParts(const std::string& styles, const std::string& sheet)
{
    return {
        {"[Content_Types].xml", "<Types/>"},
        {"_rels/.rels", "<Relationships><Relationship Id=\"r\" Type=\"x/officeDocument\" Target=\"xl/workbook.xml\"/>"
                        "</Relationships>"},
        {"xl/workbook.xml",
         "<workbook xmlns:r=\"rel\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
         "<Relationship Id=\"rId2\" Type=\"x/styles\" Target=\"styles.xml\"/></Relationships>"},
        {"xl/styles.xml", styles},
        {"xl/worksheets/sheet1.xml", sheet},
    };
}

void WritePackage(const std::string& path, const std::vector<std::pair<std::string, std::string>>& parts)
{
    int err = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    ASSERT_NE(archive, nullptr) << "cannot create " << path;
    for (const auto& [name, bytes] : parts) {
        zip_source_t* src = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        ASSERT_GE(zip_file_add(archive, name.c_str(), src, ZIP_FL_ENC_UTF_8), 0) << name;
    }
    ASSERT_EQ(zip_close(archive), 0);
}

Parts ReadPackage(const std::string& path)
{
    Parts parts;
    int err = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &err);
    EXPECT_NE(archive, nullptr) << "cannot open " << path;
    if (!archive) return parts;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st);
        std::string bytes(static_cast<std::size_t>(st.size), '\0');
        zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        zip_fread(f, bytes.data(), st.size);
        zip_fclose(f);
        parts[st.name] = std::move(bytes);
    }
    zip_discard(archive);
    return parts;
}

void WriteForeignWorkbook(const std::string& path)
{
    const std::string x = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    std::string binary("\x01\x00\x02\x00printer\xff\xfe", 13);
    WritePackage(
        path,
        {
            {"[Content_Types].xml",
             x +
                 "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                 "<Default Extension=\"bin\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.printerSettings\"/>"
                 "<Default Extension=\"rels\" "
                 "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                 "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                 "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
                 ct +
                 "sheet.main+xml\"/>"
                 "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
                 ct +
                 "worksheet+xml\"/>"
                 "<Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\"" +
                 ct +
                 "worksheet+xml\"/>"
                 "<Override PartName=\"/xl/styles.xml\" ContentType=\"" +
                 ct +
                 "styles+xml\"/>"
                 "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" +
                 ct +
                 "sharedStrings+xml\"/>"
                 "<Override PartName=\"/docProps/app.xml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
                 "</Types>"},
            {"_rels/.rels", x + "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                                "/officeDocument\" Target=\"xl/workbook.xml\"/><Relationship Id=\"rId2\" Type=\"" +
                                rel + "/extended-properties\" Target=\"docProps/app.xml\"/></Relationships>"},
            {"docProps/app.xml",
             x + "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
                 "<Application>Some Office</Application></Properties>"},
            {"xl/workbook.xml",
             x + "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                 "\"><bookViews><workbookView activeTab=\"0\"/>"
                 "</bookViews><sheets><sheet name=\"Report\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"Notes\" "
                 "sheetId=\"2\" r:id=\"rId2\"/></sheets><definedNames><definedName name=\"_xlnm.Print_Area\" "
                 "localSheetId=\"0\">Report!$A$1:$F$20</definedName></definedNames><calcPr "
                 "calcId=\"191029\"/></workbook>"},
            {"xl/_rels/workbook.xml.rels",
             x + "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                 "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
                 "/worksheet\" Target=\"/xl/worksheets/sheet2.xml\"/><Relationship Id=\"rId3\" Type=\"" + rel +
                 "/styles\" Target=\"styles.xml\"/><Relationship Id=\"rId4\" Type=\"" + rel +
                 "/sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>"},
            {"xl/worksheets/sheet1.xml",
             x + "<worksheet xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                 "\"><dimension ref=\"A1:D2\"/>"
                 "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"><selection activeCell=\"B2\" "
                 "sqref=\"B2\"/></sheetView></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>"
                 "<cols><col min=\"1\" max=\"6\" width=\"12.7109375\" style=\"1\" customWidth=\"1\"/></cols>"
                 "<sheetData><row r=\"1\"><c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c></row>"
                 "<row r=\"2\"><c r=\"A2\"><v>21</v></c><c r=\"B2\" s=\"2\"><f>A2*2</f><v>42</v></c></row></sheetData>"
                 "<mergeCells count=\"1\"><mergeCell ref=\"A1:D1\"/></mergeCells>"
                 "<pageMargins left=\"0.5\" right=\"0.5\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
                 "<pageSetup paperSize=\"9\" orientation=\"landscape\" r:id=\"rId1\"/>"
                 "<headerFooter><oddHeader>&amp;CTitle page</oddHeader></headerFooter></worksheet>"},
            {"xl/worksheets/_rels/sheet1.xml.rels",
             x + "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                 "/printerSettings\" Target=\"../printerSettings/printerSettings1.bin\"/></Relationships>"},
            {"xl/printerSettings/printerSettings1.bin", binary},
            {"xl/worksheets/sheet2.xml", x + "<worksheet xmlns=\"" + main +
                                             "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row>"
                                             "</sheetData></worksheet>"},
            {"xl/styles.xml",
             x + "<styleSheet xmlns=\"" + main +
                 "\"><numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/>"
                 "</numFmts><fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font><font><b/><sz "
                 "val=\"14\"/><name val=\"Calibri\"/></font></fonts><fills count=\"2\"><fill><patternFill "
                 "patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills><borders "
                 "count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders><cellStyleXfs "
                 "count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs><cellXfs "
                 "count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/><xf "
                 "numFmtId=\"0\" "
                 "fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/><xf numFmtId=\"164\" "
                 "fontId=\"0\" "
                 "fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs><cellStyles count=\"1\">"
                 "<cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles></styleSheet>"},
            {"xl/sharedStrings.xml",
             x + "<sst xmlns=\"" + main +
                 "\" count=\"2\" uniqueCount=\"2\"><si><t>Title</t></si><si><r><t>Notes </t></r>"
                 "<r><rPr><b/></rPr><t>text</t></r></si></sst>"},
        });
}

}  // namespace sheet_test
