// The automation objects as a caller sees them: registration, lifetimes and reference counts,
// the answers to unknown members and bad arguments.
#include "spreadsheet/workbook.h"
#include "tests/spreadsheet/spreadsheet_fixture.h"
#include "tests/support/xlsx_readback.h"

namespace sheet_test {
namespace {

namespace id = spreadsheet::dispid;
using core::DISPATCH_METHOD;
using core::DISPATCH_PROPERTYGET;
using core::DISPATCH_PROPERTYPUT;

class Objects : public TempFolder {};

TEST_F(Objects, RegisteredClassGivesANewApplicationPerInstance)
{
    ASSERT_TRUE(core::SUCCEEDED(core::CoInitialize(nullptr)));
    spreadsheet::RegisterServer();
    IDispatch* first = nullptr;
    IDispatch* second = nullptr;
    ASSERT_EQ(core::CreateInstance("Excel.Application", &first), core::S_OK);
    ASSERT_EQ(core::CreateInstance("Excel.Application", &second), core::S_OK);
    Ref a(first), b(second);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a.get(), b.get());
    // Instances share nothing: a workbook added to one is not in the other.
    Ref booksA = Get(a.get(), id::kWorkbooks);
    Ref bookA = Method(booksA.get(), id::kAdd, {Missing()});
    Put(a.get(), id::kUserControl, {VARIANT::Bool(true)});
    CallResult control = Invoke(b.get(), id::kUserControl, DISPATCH_PROPERTYGET);
    EXPECT_FALSE(control.value.boolVal);
    EXPECT_TRUE(bookA.Last());
    EXPECT_TRUE(booksA.Last());
    EXPECT_TRUE(a.Last());
    EXPECT_TRUE(b.Last());
    core::RevokeClassObject("Excel.Application");
    core::CoUninitialize();
}

TEST_F(Objects, ChildObjectsKeepTheirWorkbookAlive)
{
    const std::string path = Path("kept.xlsx");
    Ref range;
    Ref book;
    {
        Session s = OpenBook(std::string(QEL_SOURCE_DIR) + "/data/savemode.xlsx");
        range = RangeOf(s.sheet.get(), "A1", "L150000");
        book = std::move(s.book);
        // The application, collections and sheet are released here.
    }
    Put(range.get(), id::kItem, {I(3), I(2), S("still here")});
    Method(book.get(), id::kSaveCopyAs, {S(path)});
    EXPECT_TRUE(range.Last());
    EXPECT_TRUE(book.Last());
    EXPECT_EQ(testing_support::CsvField(testing_support::ReadSheetWithLibreOffice(path), 2, 1), "still here");
}

TEST_F(Objects, ItemIsRelativeToTheRangeAndAcceptsEveryNumberType)
{
    Session s = NewBook();
    Ref block = RangeOf(s.sheet.get(), "C5", "E9");
    Put(block.get(), id::kItem, {I(1), I(1), S("top-left")});
    Put(block.get(), id::kItem, {VARIANT::I2(2), VARIANT::R8(3), S("D6? no: E6")});
    Put(block.get(), id::kItem, {S("4"), VARIANT::I4(1), I(42)});
    Put(block.get(), id::kItem, {I(5), S("text")});          // single index along the rows: row 2, column 2
    Ref cell = Get(block.get(), id::kItem, {I(10), I(10)});  // outside the block is allowed
    Put(cell.get(), id::kValue2, {VARIANT::R8(1.5)});
    // The worksheet index may be VT_I2 or VT_I4; get_Sheets and get_Worksheets agree.
    Ref ws = Get(s.book.get(), id::kWorksheets);
    Ref bySmall = Get(ws.get(), id::kItem, {VARIANT::I2(1)});
    Ref byName = Get(ws.get(), id::kItem, {S("sheet1")});
    EXPECT_NE(bySmall.get(), nullptr);
    const std::string path = Path("items.xlsx");
    Method(s.book.get(), id::kSaveCopyAs, {S(path)});
    auto book = spreadsheet::Workbook::Load(path);
    spreadsheet::Worksheet& sheet = *book->SheetAt(0);
    EXPECT_EQ(sheet.CellText(5, 3), "top-left");
    EXPECT_EQ(sheet.CellText(6, 5), "D6? no: E6");
    EXPECT_EQ(sheet.CellText(8, 3), "42");
    EXPECT_EQ(sheet.CellText(6, 4), "text");
    EXPECT_EQ(sheet.CellText(14, 12), "1.5");
}

struct BadCall {
    const char* what;
    int object;  // 0 app, 1 books, 2 book, 3 sheets, 4 sheet, 5 range, 6 interior
    core::DISPID member;
    core::WORD flags;
    DISPPARAMS args;
    HRESULT expected;
};

TEST_F(Objects, UnknownMembersAndBadArgumentsAreRefused)
{
    Session s = NewBook();
    Ref range = RangeOf(s.sheet.get(), "A1", "B2");
    Ref interior = Get(range.get(), id::kInterior);
    IDispatch* objects[] = {s.app.get(),   s.books.get(), s.book.get(),  s.sheets.get(),
                            s.sheet.get(), range.get(),   interior.get()};
    using core::DISP_E_BADINDEX;
    using core::DISP_E_BADPARAMCOUNT;
    using core::DISP_E_EXCEPTION;
    using core::DISP_E_MEMBERNOTFOUND;
    using core::DISP_E_TYPEMISMATCH;
    const std::vector<BadCall> cases = {
        {"app unknown", 0, 0x7777, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
        {"books unknown", 1, 0x7777, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
        {"book unknown", 2, 0x7777, DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND},
        {"sheets unknown", 3, 0x7777, DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND},
        {"sheet unknown", 4, 0x7777, DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND},
        {"range unknown", 5, 0x7777, DISPATCH_PROPERTYPUT, {I(1)}, DISP_E_MEMBERNOTFOUND},
        {"interior unknown", 6, 0x7777, DISPATCH_PROPERTYPUT, {I(1)}, DISP_E_MEMBERNOTFOUND},
        {"workbooks is no put", 0, id::kWorkbooks, DISPATCH_PROPERTYPUT, {I(1)}, DISP_E_MEMBERNOTFOUND},
        {"visible without value", 0, id::kVisible, DISPATCH_PROPERTYPUT, {}, DISP_E_BADPARAMCOUNT},
        {"visible of a text", 0, id::kVisible, DISPATCH_PROPERTYPUT, {S("maybe")}, DISP_E_TYPEMISMATCH},
        {"open without name", 1, id::kOpen, DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT},
        {"open of a number", 1, id::kOpen, DISPATCH_METHOD, {I(5)}, DISP_E_TYPEMISMATCH},
        {"open with 16 args", 1, id::kOpen, DISPATCH_METHOD, DISPPARAMS(16, Missing()), DISP_E_BADPARAMCOUNT},
        {"save copy without name", 2, id::kSaveCopyAs, DISPATCH_METHOD, {}, DISP_E_BADPARAMCOUNT},
        {"close with 4 args", 2, id::kClose, DISPATCH_METHOD, DISPPARAMS(4, Missing()), DISP_E_BADPARAMCOUNT},
        {"item 0", 3, id::kItem, DISPATCH_PROPERTYGET, {I(0)}, DISP_E_BADINDEX},
        {"item 2", 3, id::kItem, DISPATCH_PROPERTYGET, {VARIANT::I2(2)}, DISP_E_BADINDEX},
        {"item of an unknown name", 3, id::kItem, DISPATCH_PROPERTYGET, {S("Sheet9")}, DISP_E_BADINDEX},
        {"range without cell", 4, id::kRange, DISPATCH_PROPERTYGET, {}, DISP_E_BADPARAMCOUNT},
        {"range of a bad reference", 4, id::kRange, DISPATCH_PROPERTYGET, {S("A0"), Missing()}, DISP_E_EXCEPTION},
        {"range beyond the columns", 4, id::kRange, DISPATCH_PROPERTYGET, {S("XFE1")}, DISP_E_EXCEPTION},
        {"range of a number", 4, id::kRange, DISPATCH_PROPERTYGET, {I(1)}, DISP_E_TYPEMISMATCH},
        {"put item without value", 5, id::kItem, DISPATCH_PROPERTYPUT, {I(1)}, DISP_E_BADPARAMCOUNT},
        {"put item of an error value",
         5,
         id::kItem,
         DISPATCH_PROPERTYPUT,
         {I(1), I(1), VARIANT::Error(5)},
         DISP_E_TYPEMISMATCH},
        {"put item outside the sheet", 5, id::kItem, DISPATCH_PROPERTYPUT, {I(0), I(1), S("x")}, DISP_E_BADINDEX},
        {"width of a text", 5, id::kColumnWidth, DISPATCH_PROPERTYPUT, {S("wide")}, DISP_E_TYPEMISMATCH},
        {"width too large", 5, id::kColumnWidth, DISPATCH_PROPERTYPUT, {I(300)}, DISP_E_EXCEPTION},
        {"unknown alignment", 5, id::kHorizontalAlignment, DISPATCH_PROPERTYPUT, {I(12345)}, DISP_E_EXCEPTION},
        {"vertical right", 5, id::kVerticalAlignment, DISPATCH_PROPERTYPUT, {I(id::kAlignRight)}, DISP_E_EXCEPTION},
        {"number format of a number", 5, id::kNumberFormat, DISPATCH_PROPERTYPUT, {I(2)}, DISP_E_TYPEMISMATCH},
        {"merge with 2 args", 5, id::kMerge, DISPATCH_METHOD, {I(0), I(0)}, DISP_E_BADPARAMCOUNT},
        {"colour index 57", 6, id::kColorIndex, DISPATCH_PROPERTYPUT, {I(57)}, DISP_E_EXCEPTION},
        {"colour index 0", 6, id::kColorIndex, DISPATCH_PROPERTYPUT, {I(0)}, DISP_E_EXCEPTION},
        {"colour index as get", 6, id::kColorIndex, DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND},
    };
    for (const BadCall& c : cases) {
        CallResult r = Invoke(objects[c.object], c.member, c.flags, c.args);
        EXPECT_EQ(r.hr, c.expected) << c.what << ": " << r.excep.description;
        if (c.expected == DISP_E_EXCEPTION) {
            EXPECT_EQ(r.excep.source, spreadsheet::kApplicationName) << c.what;
            EXPECT_FALSE(r.excep.description.empty()) << c.what;
        }
    }
    EXPECT_TRUE(interior.Last());
    EXPECT_TRUE(range.Last());
}

TEST_F(Objects, CallsWithoutAResultVariantStillWork)
{
    Session s = NewBook();
    // A property get whose result the caller does not take creates nothing it keeps.
    EXPECT_EQ(s.sheet.get()->Invoke(id::kCells, DISPATCH_PROPERTYGET, {}, nullptr, nullptr), core::S_OK);
    // An exception without exception information is still reported by its code.
    EXPECT_EQ(s.book.get()->Invoke(id::kSave, DISPATCH_METHOD, {}, nullptr, nullptr), core::DISP_E_EXCEPTION);
    EXPECT_TRUE(s.sheet.Last());
}

TEST_F(Objects, OpeningAnOpenWorkbookGivesTheSameWorkbook)
{
    const std::string path = Path("twice.xlsx");
    WriteForeignWorkbook(path);
    Session s = OpenBook(path);
    PutCell(s.sheet.get(), 7, 1, S("unsaved change"));
    Ref again = Method(s.books.get(), id::kOpen, OpenArgs(path));
    Ref sheets = Get(again.get(), id::kWorksheets);
    Ref sheet = Get(sheets.get(), id::kItem, {I(1)});
    Method(again.get(), id::kSave);
    EXPECT_EQ(testing_support::CsvField(testing_support::ReadSheetWithLibreOffice(path), 6, 0), "unsaved change");
}

}  // namespace
}  // namespace sheet_test
