// Helpers of the spreadsheet server tests: a temporary folder per test, raw dispatch calls by id,
// and packages written by hand (as another program would write them).
#pragma once
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/automation.h"
#include "spreadsheet/dispatch_ids.h"
#include "spreadsheet/server.h"
#include "tests/support/temp_dir.h"

namespace sheet_test {

using core::DISPPARAMS;
using core::EXCEPINFO;
using core::HRESULT;
using core::IDispatch;
using core::VARIANT;

// One reference to an object; Last() releases it and checks it was the only one.
class Ref {
public:
    Ref() = default;
    explicit Ref(IDispatch* p) : m_p(p) {}
    Ref(Ref&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept
    {
        if (this != &o) {
            Reset();
            m_p = std::exchange(o.m_p, nullptr);
        }
        return *this;
    }
    ~Ref() { Reset(); }
    IDispatch* get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void Reset()
    {
        if (m_p) std::exchange(m_p, nullptr)->Release();
    }
    // Releases the reference; true when that destroyed the object (nobody else held it).
    bool Last() { return m_p && std::exchange(m_p, nullptr)->Release() == 0; }

private:
    IDispatch* m_p = nullptr;
};

struct CallResult {
    HRESULT hr = 0;
    VARIANT value;
    EXCEPINFO excep;
};

inline CallResult Invoke(IDispatch* obj, core::DISPID id, core::WORD flags, DISPPARAMS args = {})
{
    CallResult r;
    r.hr = obj->Invoke(id, flags, args, &r.value, &r.excep);
    return r;
}

// Calls that must succeed.
inline Ref Get(IDispatch* obj, core::DISPID id, DISPPARAMS args = {})
{
    CallResult r = Invoke(obj, id, core::DISPATCH_PROPERTYGET, std::move(args));
    EXPECT_EQ(r.hr, core::S_OK) << "get 0x" << std::hex << id << ": " << r.excep.description;
    return Ref(r.value.DetachDispatch());
}
inline Ref Method(IDispatch* obj, core::DISPID id, DISPPARAMS args = {})
{
    CallResult r = Invoke(obj, id, core::DISPATCH_METHOD, std::move(args));
    EXPECT_EQ(r.hr, core::S_OK) << "method 0x" << std::hex << id << ": " << r.excep.description;
    return Ref(r.value.vt == core::VT_DISPATCH ? r.value.DetachDispatch() : nullptr);
}
inline void Put(IDispatch* obj, core::DISPID id, DISPPARAMS args)
{
    CallResult r = Invoke(obj, id, core::DISPATCH_PROPERTYPUT, std::move(args));
    EXPECT_EQ(r.hr, core::S_OK) << "put 0x" << std::hex << id << ": " << r.excep.description;
}

inline VARIANT S(const std::string& text) { return VARIANT::Bstr(text); }
inline VARIANT I(int v) { return VARIANT::I4(v); }
inline VARIANT Missing() { return VARIANT::Missing(); }
inline DISPPARAMS OpenArgs(const std::string& path)
{
    DISPPARAMS args{S(path)};
    for (int i = 0; i < 14; ++i) args.push_back(Missing());
    return args;
}

// The objects of one open workbook.
struct Session {
    Ref app;
    Ref books;
    Ref book;
    Ref sheets;
    Ref sheet;
};

inline Session OpenBook(const std::string& path)
{
    Session s;
    s.app = Ref(spreadsheet::CreateApplication());
    s.books = Get(s.app.get(), spreadsheet::dispid::kWorkbooks);
    s.book = Method(s.books.get(), spreadsheet::dispid::kOpen, OpenArgs(path));
    if (s.book) {
        s.sheets = Get(s.book.get(), spreadsheet::dispid::kWorksheets);
        s.sheet = Get(s.sheets.get(), spreadsheet::dispid::kItem, {VARIANT::I2(1)});
    }
    return s;
}

inline Session NewBook()
{
    Session s;
    s.app = Ref(spreadsheet::CreateApplication());
    s.books = Get(s.app.get(), spreadsheet::dispid::kWorkbooks);
    s.book = Method(s.books.get(), spreadsheet::dispid::kAdd, {Missing()});
    s.sheets = Get(s.book.get(), spreadsheet::dispid::kSheets);
    s.sheet = Get(s.sheets.get(), spreadsheet::dispid::kItem, {I(1)});
    return s;
}

inline Ref RangeOf(IDispatch* sheet, const std::string& cell1, const std::string& cell2 = {})
{
    return Get(sheet, spreadsheet::dispid::kRange, {S(cell1), cell2.empty() ? Missing() : S(cell2)});
}

// Writes a cell through the range of all cells, as the report does.
inline void PutCell(IDispatch* sheet, int row, int col, VARIANT value)
{
    Ref cells = Get(sheet, spreadsheet::dispid::kCells);
    Put(cells.get(), spreadsheet::dispid::kItem, {I(row), I(col), std::move(value)});
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::vector<std::string> Listing() const;  // file names in the folder, sorted
    std::filesystem::path m_dir;

private:
    std::unique_ptr<testing_support::TempDir> m_temp;
};

// What the file system of a save offers.
enum class Files {
    Unnamed,        // files without a name, and naming them through /proc
    NoUnnamed,      // no files without a name (as a file system without O_TMPFILE)
    Unnameable,     // files without a name that cannot be named (no /proc, no privilege)
    NoRenameGuard,  // no files without a name, and no rename that refuses to replace a name
};
void PrintTo(Files files, std::ostream* out);

// Makes the system calls of this process from now on fail as on such a file system: opening a
// file without a name with EOPNOTSUPP, every link with ENOENT, or a rename with RENAME_NOREPLACE
// with EINVAL. It cannot be undone: for a child process. False when the kernel refuses the filter.
bool Offer(Files files);
// Makes every fsync and fdatasync of this process from now on fail with err, as on a disk that
// fails its writes. It cannot be undone: for a child process. False when the kernel refuses.
bool FailSyncs(int err);

// Package helpers.
using Parts = std::map<std::string, std::string>;
void WritePackage(const std::string& path, const std::vector<std::pair<std::string, std::string>>& parts);
Parts ReadPackage(const std::string& path);
// The parts of a workbook of one sheet as another program writes it, every part XML, with the
// given style sheet and worksheet.
std::vector<std::pair<std::string, std::string>> OneSheetParts(const std::string& styles, const std::string& sheet);
using testing_support::ReadFile;
using testing_support::WriteFile;

// A workbook as another spreadsheet program writes it: shared strings, styles with a custom
// format, column spans, a merge, page setup, a header, a formula with a cached result, a second
// sheet, document properties and a binary part.
void WriteForeignWorkbook(const std::string& path);

}  // namespace sheet_test
