// Hostile and damaged packages: the reader unpacks only as far as a part's data truly goes and
// within bounds, and refuses the rest with a description that names the file. Temporary files
// that killed saves left behind are cleaned up, never one that a save in progress holds.
#include <algorithm>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include "spreadsheet/package_io.h"
#include "spreadsheet/workbook.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;

// A zip source of zeros that never holds them in memory.
struct Zeros {
    zip_uint64_t size = 0;
    zip_uint64_t pos = 0;
};

zip_int64_t ZeroSource(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    auto* z = static_cast<Zeros*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN: z->pos = 0; return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n = std::min(len, z->size - z->pos);
        std::memset(data, 0, n);
        z->pos += n;
        return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE: return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = z->size;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR: std::memset(data, 0, 2 * sizeof(int)); return 2 * sizeof(int);
    case ZIP_SOURCE_FREE: return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default: return -1;
    }
}

// Adds parts of zeros to a package, deflated.
void AddZeroParts(const std::string& path, std::vector<Zeros>& parts)
{
    int err = 0;
    zip_t* archive = zip_open(path.c_str(), 0, &err);
    ASSERT_NE(archive, nullptr);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        zip_source_t* src = zip_source_function(archive, ZeroSource, &parts[i]);
        const std::string name = "xl/media/junk" + std::to_string(i) + ".bin";
        const zip_int64_t index = zip_file_add(archive, name.c_str(), src, 0);
        ASSERT_GE(index, 0);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

std::uint32_t Le32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(k)]);
    return v;
}

void PutLe32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k) b[at + static_cast<std::size_t>(k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

// Makes the zip directory and the local header of one part declare an unpacked size it does
// not hold.
void DeclareSize(const std::string& path, const std::string& part, std::uint32_t size)
{
    std::string bytes = ReadFile(path);
    bool patched = false;
    for (std::size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4)) {
        const std::size_t nameLength = Le32(bytes, at + 28) & 0xFFFF;
        if (bytes.compare(at + 46, nameLength, part) != 0) continue;
        PutLe32(bytes, at + 24, size);
        const std::size_t local = Le32(bytes, at + 42);
        ASSERT_EQ(bytes.compare(local, 4, "PK\x03\x04"), 0);
        PutLe32(bytes, local + 22, size);
        patched = true;
    }
    ASSERT_TRUE(patched) << part;
    WriteFile(path, bytes);
}

long PeakMemoryKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Outcome {
    HRESULT hr = 0;
    std::string description;
    long peakGrowthMb = 0;
};

Outcome OpenMeasured(const std::string& path)
{
    Ref app(spreadsheet::CreateApplication());
    Ref books = Get(app.get(), id::kWorkbooks);
    const long before = PeakMemoryKb();
    CallResult r = Invoke(books.get(), id::kOpen, core::DISPATCH_METHOD, OpenArgs(path));
    return {r.hr, r.excep.description, (PeakMemoryKb() - before) / 1024};
}

class PackageBounds : public TempFolder {};

// A template holding three parts of 100 MB of zeros each (a few hundred KB packed), and a part
// whose directory entry declares 512 MB but holds a few hundred bytes: both are refused, naming
// the file, and neither makes memory grow by more than a fraction of what it declares.
TEST_F(PackageBounds, HostilePackagesAreRefusedWithoutUnpackingWhatTheyDeclare)
{
    const std::string bomb = Path("zeros.xlsx");
    WriteForeignWorkbook(bomb);
    std::vector<Zeros> zeros(3, Zeros{100ull * 1024 * 1024, 0});
    AddZeroParts(bomb, zeros);
    ASSERT_LT(std::filesystem::file_size(bomb), 2u * 1024 * 1024);

    const std::string declared = Path("declared.xlsx");
    WriteForeignWorkbook(declared);
    DeclareSize(declared, "xl/worksheets/sheet2.xml", 512u * 1024 * 1024);

    for (const std::string& path : {bomb, declared}) {
        SCOPED_TRACE(path);
        const Outcome o = OpenMeasured(path);
        EXPECT_EQ(o.hr, core::DISP_E_EXCEPTION) << o.description;
        EXPECT_NE(o.description.find(path), std::string::npos) << o.description;
        EXPECT_NE(o.description.find("not a valid .xlsx"), std::string::npos) << o.description;
        EXPECT_LT(o.peakGrowthMb, 64) << o.description;
    }
}

// The bounds themselves, with small limits: the total of all parts, a part's unpacked size
// against its packed size (free below a small size), and the size of a part named as XML. Each
// holds on the sizes the zip directory declares, before anything is unpacked, and on the bytes
// unpacked.
TEST_F(PackageBounds, TotalSizeRatioAndXmlPartBoundsHoldExactly)
{
    std::string varied;
    for (int i = 0; varied.size() < 4000; ++i) varied += std::to_string(i * 7919 % 10007) + ",";
    const std::string path = Path("book.zip");
    WritePackage(path, {{"a.txt", varied.substr(0, 2000)},
                        {"b.txt", varied.substr(0, 2000)},
                        {"z.bin", std::string(100000, '\0')},
                        {"xl/c.XML", varied.substr(0, 2000)}});

    struct Case {
        const char* name;
        spreadsheet::PackageLimits limits;
        const char* refusal;  // nullptr: read whole
    };
    const Case cases[] = {
        {"all within", {200000, 1000, 1024, 2000}, nullptr},
        {"total just enough", {106000, 1000, 1024, 2000}, nullptr},
        {"total one byte short", {105999, 1000, 1024, 2000}, "it unpacks to more than 105999 bytes"},
        {"zeros past the ratio", {200000, 10, 1024, 2000}, "z.bin unpacks to far more than its packed size"},
        {"zeros below the free size", {200000, 10, 100000, 2000}, nullptr},
        {"XML part one byte past", {200000, 1000, 1024, 1999}, "the part xl/c.XML unpacks to more than 1999 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const spreadsheet::PackageParts parts = spreadsheet::ReadPackage(path, c.limits);
            EXPECT_EQ(c.refusal, nullptr);
            ASSERT_EQ(parts.size(), 4u);
            EXPECT_EQ(parts[0].second, varied.substr(0, 2000));
            EXPECT_EQ(parts[2].second, std::string(100000, '\0'));
            EXPECT_EQ(parts[3].second, varied.substr(0, 2000));
        } catch (const spreadsheet::XlsxError& e) {
            ASSERT_NE(c.refusal, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
    }
}

// A sheet whose directory entry declares more than an XML part may unpack to (the default bound)
// is refused from the directory, unpacked not at all; one that holds more than its entry
// declares is unpacked no further than the declared size.
TEST_F(PackageBounds, DeclaredSizesAreCheckedAndHeldTo)
{
    const spreadsheet::PackageLimits defaults;
    const std::string big = Path("declares-big.xlsx");
    WriteForeignWorkbook(big);
    DeclareSize(big, "xl/worksheets/sheet1.xml", static_cast<std::uint32_t>(defaults.xmlPart + 1));
    const Outcome refused = OpenMeasured(big);
    EXPECT_EQ(refused.hr, core::DISP_E_EXCEPTION);
    EXPECT_EQ(refused.description, "\"" + big +
                                       "\" is not a valid .xlsx workbook: the part xl/worksheets/sheet1.xml unpacks to "
                                       "more than " +
                                       std::to_string(defaults.xmlPart / (1024 * 1024)) + " MB.");
    EXPECT_LT(refused.peakGrowthMb, 16);

    const std::string small = Path("declares-small.xlsx");
    WriteForeignWorkbook(small);
    const std::size_t held = ReadPackage(small).at("xl/worksheets/sheet1.xml").size();
    DeclareSize(small, "xl/worksheets/sheet1.xml", static_cast<std::uint32_t>(held / 2));
    const Outcome lying = OpenMeasured(small);
    EXPECT_EQ(lying.hr, core::DISP_E_EXCEPTION);
    EXPECT_NE(lying.description.find(small), std::string::npos) << lying.description;
    EXPECT_NE(lying.description.find("the part xl/worksheets/sheet1.xml holds more than its directory entry declares"),
              std::string::npos)
        << lying.description;
}

// Temporary files in a target's folder: those that killed saves into it left, of whatever target,
// are removed by the next save there; one that another process holds locked (a save in progress
// there), files of other names and anything but a file are left alone.
TEST_F(PackageBounds, ASaveRemovesTheTemporariesOfKilledSavesOnly)
{
    const std::string path = Path("book.xlsx");
    WriteForeignWorkbook(path);
    const std::vector<std::string> abandoned = {".book.xlsx.qelsave-Ab12Cd", ".book.xlsx.qelsave-zz9XY0",
                                                ".20240101120000.xlsx.qelsave-Q1w2E3"};
    const std::string held = ".other.xlsx.qelsave-Held01";
    const std::vector<std::string> others = {".book.xlsx.Ab12Cd",          ".book.xlsx.qelsave-Ab12C",
                                             "book.xlsx.qelsave-Ab12Cd",   ".book.xlsx.qelsave-Ab12C!",
                                             ".book.xlsx.qelsave-Ab12Cde", ".qelsave-Ab12Cd"};
    for (const auto& name : abandoned) WriteFile(Path(name), "partial");
    for (const auto& name : others) WriteFile(Path(name), "not ours");
    std::filesystem::create_directory(Path(".folder.qelsave-Ab12Cd"));
    WriteFile(Path(held), "in progress");

    // Another process saving: it holds the lock on its temporary file.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t saver = ::fork();
    if (saver == 0) {
        const int fd = ::open(Path(held).c_str(), O_RDWR);
        if (fd >= 0 && ::flock(fd, LOCK_EX) == 0) (void)!::write(ready[1], "x", 1);
        for (;;) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    Session s = OpenBook(path);
    PutCell(s.sheet.get(), 9, 9, S("changed"));
    Method(s.book.get(), id::kSave);

    ::kill(saver, SIGKILL);
    ::waitpid(saver, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    for (const auto& name : abandoned) EXPECT_FALSE(std::filesystem::exists(Path(name))) << name;
    for (const auto& name : others) EXPECT_TRUE(std::filesystem::exists(Path(name))) << name;
    EXPECT_TRUE(std::filesystem::is_directory(Path(".folder.qelsave-Ab12Cd")));
    EXPECT_EQ(ReadFile(Path(held)), "in progress");

    // Once the other process is gone its lock is too, and the next save removes the file.
    Method(s.book.get(), id::kSave);
    EXPECT_FALSE(std::filesystem::exists(Path(held)));
    for (const auto& name : others) EXPECT_TRUE(std::filesystem::exists(Path(name))) << name;
}

}  // namespace
}  // namespace sheet_test
