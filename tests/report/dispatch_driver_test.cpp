// The dispatch driver and the spreadsheet wrappers against a recording server: one Invoke per
// member with its id, kind and arguments; object references owned and released exactly once;
// failing calls turned into the automation exceptions.
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "report/automation_exception.h"
#include "report/excel.h"
#include "tests/support/fake_dispatch.h"

using namespace core;

namespace {

class DriverTest : public ::testing::Test {
protected:
    void TearDown() override { server.ExpectBalanced(); }
    fake::Server server;
};

std::vector<VARIANT> Missing(int n) { return std::vector<VARIANT>(n, VARIANT::Missing()); }

std::vector<VARIANT> Concat(std::vector<VARIANT> a, const std::vector<VARIANT>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

// ---- Ownership -------------------------------------------------------------------------------

TEST_F(DriverTest, ConstructionTakesOverAndDestructionReleases)
{
    fake::Object* obj = server.NewObject("app");
    {
        COleDispatchDriver empty;
        EXPECT_EQ(empty.m_lpDispatch, nullptr);
        COleDispatchDriver held(obj);
        EXPECT_EQ(held.m_lpDispatch, obj);
        EXPECT_EQ(obj->refs, 1);
    }
    EXPECT_EQ(obj->refs, 0);
}

TEST_F(DriverTest, CopiesShareTheObjectWithAReferenceEach)
{
    fake::Object* a = server.NewObject("a");
    fake::Object* b = server.NewObject("b");
    {
        _Workbook first(a);
        _Workbook copy(first);
        EXPECT_EQ(copy.m_lpDispatch, a);
        EXPECT_EQ(a->refs, 2);

        _Workbook other(b);
        other = first;  // b is let go, a is shared
        EXPECT_EQ(b->refs, 0);
        EXPECT_EQ(a->refs, 3);
        other = other;  // NOLINT: self-assignment keeps the reference
        EXPECT_EQ(a->refs, 3);
        other = copy;  // the same object again: the count stays
        EXPECT_EQ(a->refs, 3);

        _Workbook moved(std::move(copy));
        EXPECT_EQ(copy.m_lpDispatch, nullptr);  // NOLINT(bugprone-use-after-move)
        EXPECT_EQ(a->refs, 3);
        first = std::move(moved);
        EXPECT_EQ(a->refs, 2);
    }
    EXPECT_EQ(a->refs, 0);
}

TEST_F(DriverTest, ReusedWrapperReleasesThePreviousObject)
{
    fake::Object* r1 = server.NewObject("range1");
    fake::Object* r2 = server.NewObject("range2");
    Range range;
    range = r1;  // as with `range = sheet.get_Range(...)`
    EXPECT_EQ(r1->refs, 1);
    range = r2;
    EXPECT_EQ(r1->refs, 0);
    EXPECT_EQ(r2->refs, 1);
    range.ReleaseDispatch();
    EXPECT_EQ(r2->refs, 0);
    EXPECT_EQ(range.m_lpDispatch, nullptr);
    range.ReleaseDispatch();  // nothing more to release
}

TEST_F(DriverTest, AttachDetachAndRelease)
{
    fake::Object* a = server.NewObject("a");
    fake::Object* b = server.NewObject("b");
    COleDispatchDriver d;
    d.AttachDispatch(a);
    EXPECT_EQ(a->refs, 1);
    d.AttachDispatch(b);
    EXPECT_EQ(a->refs, 0);
    IDispatch* got = d.DetachDispatch();
    EXPECT_EQ(got, b);
    EXPECT_EQ(d.m_lpDispatch, nullptr);
    EXPECT_EQ(b->refs, 1);
    got->Release();
}

// ---- Creation --------------------------------------------------------------------------------

class CreateDispatchTest : public DriverTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        RegisterClassObject(kProgId, [this](IDispatch** out) {
            *out = server.NewObject("created");
            return S_OK;
        });
    }
    void TearDown() override
    {
        RevokeClassObject(kProgId);
        CoUninitialize();
        DriverTest::TearDown();
    }
    static constexpr const char* kProgId = "QelTest.Driver";
};

TEST_F(CreateDispatchTest, RegisteredProgIdGivesAnOwnedObject)
{
    {
        _Application app;
        ASSERT_EQ(app.CreateDispatch(kProgId), TRUE);
        ASSERT_EQ(server.objects.size(), 1u);
        EXPECT_EQ(app.m_lpDispatch, server.objects[0].get());
        EXPECT_EQ(server.objects[0]->refs, 1);
        // Creating again lets go of the first object.
        ASSERT_EQ(app.CreateDispatch(kProgId), TRUE);
        EXPECT_EQ(server.objects[0]->refs, 0);
        EXPECT_EQ(server.objects[1]->refs, 1);
    }
    EXPECT_TRUE(server.calls.empty());
}

TEST_F(CreateDispatchTest, FailsWithoutExceptionForUnknownProgIdOrUninitialisedThread)
{
    _Application app;
    BOOL created = TRUE;
    EXPECT_NO_THROW(created = app.CreateDispatch("QelTest.NotRegistered"));
    EXPECT_EQ(created, FALSE);
    EXPECT_EQ(app.m_lpDispatch, nullptr);

    BOOL onOtherThread = TRUE;
    std::thread t([&] {
        _Application other;
        onOtherThread = other.CreateDispatch(kProgId);
    });
    t.join();
    EXPECT_EQ(onOtherThread, FALSE);
    EXPECT_TRUE(server.objects.empty());
}

TEST_F(CreateDispatchTest, FailedCreationLeavesTheWrapperEmpty)
{
    _Application app;
    ASSERT_EQ(app.CreateDispatch(kProgId), TRUE);
    EXPECT_EQ(app.CreateDispatch("QelTest.NotRegistered"), FALSE);
    EXPECT_EQ(app.m_lpDispatch, nullptr);
    EXPECT_EQ(server.objects[0]->refs, 0);
}

// ---- Members ---------------------------------------------------------------------------------

namespace {

struct MemberCase {
    const char* name;
    // Calls the member on a wrapper made from target (a reference the call owns); returns the
    // object the member returned, or nullptr.
    std::function<IDispatch*(IDispatch* target)> call;
    DISPID id;
    WORD flags;
    std::vector<VARIANT> args;
    bool returnsObject;
};

const VARIANT kMissing = VARIANT::Missing();

std::vector<MemberCase> MemberCases()
{
    using V = VARIANT;
    const auto M = DISPATCH_METHOD;
    const auto G = DISPATCH_PROPERTYGET;
    const auto P = DISPATCH_PROPERTYPUT;
    return {
        {"_Application.get_Workbooks",
         [](IDispatch* d) { return _Application(d).get_Workbooks(); },
         0x23C,
         G,
         {},
         true},
        {"_Application.put_Visible true",
         [](IDispatch* d) {
             _Application(d).put_Visible(true);
             return nullptr;
         },
         0x22E,
         P,
         {V::Bool(true)},
         false},
        {"_Application.put_Visible false",
         [](IDispatch* d) {
             _Application(d).put_Visible(false);
             return nullptr;
         },
         0x22E,
         P,
         {V::Bool(false)},
         false},
        {"_Application.Quit",
         [](IDispatch* d) {
             _Application(d).Quit();
             return nullptr;
         },
         0x12E,
         M,
         {},
         false},
        {"_Application.put_UserControl",
         [](IDispatch* d) {
             _Application(d).put_UserControl(true);
             return nullptr;
         },
         0x4BA,
         P,
         {V::Bool(true)},
         false},
        {"Workbooks.Open all optional missing",
         [](IDispatch* d) {
             return Workbooks(d).Open("/home/op/报表/savemode.xlsx", kMissing, kMissing, kMissing, kMissing, kMissing,
                                      kMissing, kMissing, kMissing, kMissing, kMissing, kMissing, kMissing, kMissing,
                                      kMissing);
         },
         0x783, M, Concat({V::Bstr("/home/op/报表/savemode.xlsx")}, Missing(14)), true},
        {"Workbooks.Open optional arguments keep their places",
         [](IDispatch* d) {
             return Workbooks(d).Open("a.xlsx", V::I4(1), V::Bool(true), kMissing, V::Bstr("pw"), kMissing, kMissing,
                                      kMissing, kMissing, kMissing, kMissing, kMissing, kMissing, kMissing, V::I2(9));
         },
         0x783, M,
         Concat(Concat({V::Bstr("a.xlsx"), V::I4(1), V::Bool(true), kMissing, V::Bstr("pw")}, Missing(9)), {V::I2(9)}),
         true},
        {"Workbooks.Add", [](IDispatch* d) { return Workbooks(d).Add(kMissing); }, 0xB5, M, {kMissing}, true},
        {"Workbooks.Close",
         [](IDispatch* d) {
             Workbooks(d).Close();
             return nullptr;
         },
         0x115,
         M,
         {},
         false},
        {"_Workbook.get_Worksheets", [](IDispatch* d) { return _Workbook(d).get_Worksheets(); }, 0x1EE, G, {}, true},
        {"_Workbook.get_Sheets", [](IDispatch* d) { return _Workbook(d).get_Sheets(); }, 0x1E5, G, {}, true},
        {"_Workbook.Save",
         [](IDispatch* d) {
             _Workbook(d).Save();
             return nullptr;
         },
         0x11B,
         M,
         {},
         false},
        {"_Workbook.SaveCopyAs",
         [](IDispatch* d) {
             _Workbook(d).SaveCopyAs(VARIANT::Bstr("savefile/20240102030405.xlsx"));
             return nullptr;
         },
         0xAF,
         M,
         {V::Bstr("savefile/20240102030405.xlsx")},
         false},
        {"_Workbook.Close",
         [](IDispatch* d) {
             _Workbook(d).Close(kMissing, VARIANT::Bstr("savemode.xlsx"), kMissing);
             return nullptr;
         },
         0x115,
         M,
         {kMissing, V::Bstr("savemode.xlsx"), kMissing},
         false},
        {"Worksheets.get_Item I2",
         [](IDispatch* d) { return Worksheets(d).get_Item(VARIANT::I2(1)); },
         0xAA,
         G,
         {V::I2(1)},
         true},
        {"Worksheets.get_Item I4",
         [](IDispatch* d) { return Worksheets(d).get_Item(VARIANT::I4(1)); },
         0xAA,
         G,
         {V::I4(1)},
         true},
        {"_Worksheet.get_Range",
         [](IDispatch* d) { return _Worksheet(d).get_Range(VARIANT::Bstr("A1"), VARIANT::Bstr("L150000")); },
         0xC5,
         G,
         {V::Bstr("A1"), V::Bstr("L150000")},
         true},
        {"_Worksheet.get_Range single cell",
         [](IDispatch* d) { return _Worksheet(d).get_Range(VARIANT::Bstr("C2"), VARIANT::Missing()); },
         0xC5,
         G,
         {V::Bstr("C2"), kMissing},
         true},
        {"_Worksheet.get_Cells", [](IDispatch* d) { return _Worksheet(d).get_Cells(); }, 0xEE, G, {}, true},
        {"_Worksheet.get_UsedRange", [](IDispatch* d) { return _Worksheet(d).get_UsedRange(); }, 0x19C, G, {}, true},
        {"Range.Select",
         [](IDispatch* d) {
             Range(d).Select();
             return nullptr;
         },
         0xEB,
         M,
         {},
         false},
        {"Range.put_Item text: indexes first, value last",
         [](IDispatch* d) {
             Range(d).put_Item(VARIANT::I4(3), VARIANT::I4(2), VARIANT::Bstr("张三"));
             return nullptr;
         },
         0xAA,
         P,
         {V::I4(3), V::I4(2), V::Bstr("张三")},
         false},
        {"Range.put_Item number",
         [](IDispatch* d) {
             Range(d).put_Item(VARIANT::I4(11), VARIANT::I4(1), VARIANT::I4(1));
             return nullptr;
         },
         0xAA,
         P,
         {V::I4(11), V::I4(1), V::I4(1)},
         false},
        {"Range.put_ColumnWidth",
         [](IDispatch* d) {
             Range(d).put_ColumnWidth(VARIANT::I4(13));
             return nullptr;
         },
         0xF2,
         P,
         {V::I4(13)},
         false},
        {"Range.Merge",
         [](IDispatch* d) {
             Range(d).Merge(VARIANT::I4(0));
             return nullptr;
         },
         0x234,
         M,
         {V::I4(0)},
         false},
        {"Range.put_WrapText",
         [](IDispatch* d) {
             Range(d).put_WrapText(VARIANT::I4(1));
             return nullptr;
         },
         0x114,
         P,
         {V::I4(1)},
         false},
        {"Range.put_HorizontalAlignment",
         [](IDispatch* d) {
             Range(d).put_HorizontalAlignment(VARIANT::I4(-4152));
             return nullptr;
         },
         0x88,
         P,
         {V::I4(-4152)},
         false},
        {"Range.put_VerticalAlignment",
         [](IDispatch* d) {
             Range(d).put_VerticalAlignment(VARIANT::I4(-4108));
             return nullptr;
         },
         0x89,
         P,
         {V::I4(-4108)},
         false},
        {"Range.get_Interior", [](IDispatch* d) { return Range(d).get_Interior(); }, 0x81, G, {}, true},
        {"Range.put_Value2",
         [](IDispatch* d) {
             Range(d).put_Value2(VARIANT::Bstr("QEL-9"));
             return nullptr;
         },
         0x56C,
         P,
         {V::Bstr("QEL-9")},
         false},
        {"Range.put_NumberFormat",
         [](IDispatch* d) {
             Range(d).put_NumberFormat(VARIANT::Bstr("00.00"));
             return nullptr;
         },
         0xC1,
         P,
         {V::Bstr("00.00")},
         false},
        {"Interior.put_ColorIndex",
         [](IDispatch* d) {
             Interior(d).put_ColorIndex(VARIANT::I4(20));
             return nullptr;
         },
         0x61,
         P,
         {V::I4(20)},
         false},
    };
}

}  // namespace

TEST_F(DriverTest, EachMemberMakesOneCallWithItsIdKindAndArguments)
{
    for (const MemberCase& c : MemberCases()) {
        SCOPED_TRACE(c.name);
        server.calls.clear();
        const std::size_t before = server.objects.size();
        fake::Object* target = server.NewObject("target");
        server.answer = fake::Answer{};
        server.answer.object = c.returnsObject;

        target->AddRef();  // the wrapper's reference; the test keeps its own
        IDispatch* result = c.call(target);
        EXPECT_EQ(target->refs, 1) << "the wrapper must release exactly its own reference";

        ASSERT_EQ(server.calls.size(), 1u);
        const fake::Call& call = server.calls[0];
        EXPECT_EQ(call.object, "target");
        EXPECT_EQ(call.id, c.id);
        EXPECT_EQ(call.flags, c.flags);
        ASSERT_EQ(call.args.size(), c.args.size());
        for (std::size_t i = 0; i < c.args.size(); ++i)
            EXPECT_TRUE(fake::SameVariant(c.args[i], call.args[i])) << "argument " << i;

        if (c.returnsObject) {
            ASSERT_EQ(server.objects.size(), before + 2);
            fake::Object* made = server.objects.back().get();
            EXPECT_EQ(result, made);
            EXPECT_EQ(made->refs, 1) << "the caller gets exactly one reference";
            COleDispatchDriver owner(result);
        } else {
            EXPECT_EQ(result, nullptr);
        }
        target->Release();
        server.calls.clear();  // the recorded arguments hold no objects, but keep the log short
    }
}

TEST_F(DriverTest, ResultsTheCallerDoesNotKeepAreReleased)
{
    fake::Object* target = server.NewObject("range");
    server.answer.object = true;  // the server answers every call with an object
    {
        Range range(target);
        range.put_ColumnWidth(VARIANT::I4(10));
        VARIANT selected = range.Select();
        EXPECT_EQ(selected.vt, VT_DISPATCH);
    }
    EXPECT_EQ(server.calls.size(), 2u);
    // Balanced at tear-down: the discarded result and the returned VARIANT were released.
}

TEST_F(DriverTest, SelectReturnsTheServersValue)
{
    server.answer.value = VARIANT::Bool(true);
    Range range(server.NewObject("range"));
    VARIANT v = range.Select();
    EXPECT_TRUE(fake::SameVariant(VARIANT::Bool(true), v));
}

TEST_F(DriverTest, ObjectMemberWithoutAnObjectResult)
{
    _Worksheet sheet(server.NewObject("sheet"));
    server.answer.value = VARIANT::I4(5);
    try {
        (void)sheet.get_Cells();
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.m_sc, DISP_E_TYPEMISMATCH);
    }
    server.answer = fake::Answer{};
    server.answer.nullObject = true;
    EXPECT_EQ(sheet.get_UsedRange(), nullptr);
}

TEST_F(DriverTest, CallOnAnEmptyWrapperThrowsInsteadOfCrashing)
{
    Range range;
    try {
        range.put_Value2(VARIANT::Bstr("x"));
        FAIL() << "no exception";
    } catch (const COleException& e) {
        EXPECT_EQ(e.m_sc, E_POINTER);
        EXPECT_EQ(e.GetErrorMessage(), StatusText(E_POINTER));
    }
}

// ---- Failures --------------------------------------------------------------------------------

TEST_F(DriverTest, ServerDescribedFailureBecomesDispatchException)
{
    fake::Object* target = server.NewObject("books");
    server.answer.hr = DISP_E_EXCEPTION;
    server.answer.excep.description = "找不到文件 savemode.xlsx";
    server.answer.excep.source = "Spreadsheet";
    server.answer.excep.scode = static_cast<HRESULT>(0x800A03EC);
    server.answer.excep.wCode = 1004;
    server.answer.objectAlongFailure = true;
    Workbooks books(target);
    try {
        (void)books.Add(VARIANT::Missing());
        FAIL() << "no exception";
    } catch (const COleDispatchException& e) {
        EXPECT_EQ(e.m_strDescription, "找不到文件 savemode.xlsx");
        EXPECT_EQ(e.m_strSource, "Spreadsheet");
        EXPECT_EQ(e.m_scError, static_cast<HRESULT>(0x800A03EC));
        EXPECT_EQ(e.m_wCode, 1004);
        EXPECT_EQ(e.GetErrorMessage(), "找不到文件 savemode.xlsx");
        EXPECT_STREQ(e.what(), "找不到文件 savemode.xlsx");
    }
    EXPECT_EQ(server.calls.size(), 1u) << "a failing call is not retried";
}

TEST_F(DriverTest, FailuresReachTheHandlerAsAutomationExceptionsWithTheirTexts)
{
    struct Case {
        const char* name;
        HRESULT hr;
        std::string description;
        HRESULT excepScode;
        bool dispatchException;
        std::string message;
    };
    const Case cases[] = {
        {"described failure", DISP_E_EXCEPTION, "The folder does not exist.", E_FAIL, true,
         "The folder does not exist."},
        {"undescribed server exception with an unknown status", DISP_E_EXCEPTION, "", static_cast<HRESULT>(0x80070005),
         true, kAutomationGenericFailureText},
        {"undescribed server exception with a known status", DISP_E_EXCEPTION, "", E_FAIL, true, StatusText(E_FAIL)},
        {"plain failure with a status text", E_FAIL, "", 0, false, StatusText(E_FAIL)},
        {"member not found", DISP_E_MEMBERNOTFOUND, "", 0, false, StatusText(DISP_E_MEMBERNOTFOUND)},
        {"bad argument count", DISP_E_BADPARAMCOUNT, "", 0, false, StatusText(DISP_E_BADPARAMCOUNT)},
        {"status without a text", static_cast<HRESULT>(0x80041234), "", 0, false, kAutomationGenericFailureText},
    };
    ASSERT_FALSE(std::string(kAutomationGenericFailureText).empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.calls.clear();
        server.answer = fake::Answer{};
        server.answer.hr = c.hr;
        server.answer.excep.description = c.description;
        server.answer.excep.scode = c.excepScode;
        server.answer.objectAlongFailure = true;  // whatever the server left in the result is released
        _Workbook book(server.NewObject("book"));
        bool caught = false;
        try {
            book.Save();
        } catch (const CAutomationException& e) {
            caught = true;
            EXPECT_EQ(e.GetErrorMessage(), c.message);
            EXPECT_EQ(std::string(e.what()), c.message);
            if (c.dispatchException) {
                ASSERT_NE(dynamic_cast<const COleDispatchException*>(&e), nullptr);
            } else {
                const auto* ole = dynamic_cast<const COleException*>(&e);
                ASSERT_NE(ole, nullptr);
                EXPECT_EQ(ole->m_sc, c.hr);
            }
        }
        EXPECT_TRUE(caught);
        EXPECT_EQ(server.calls.size(), 1u);
    }
}

TEST_F(DriverTest, ExceptionLeavingAStepReleasesItsWrappers)
{
    fake::Object* app = server.NewObject("app");
    server.answer.object = true;
    auto step = [&] {
        _Application application(app);
        Workbooks books(application.get_Workbooks());
        _Workbook book(books.Add(VARIANT::Missing()));
        server.answer = fake::Answer{};
        server.answer.hr = DISP_E_EXCEPTION;
        server.answer.excep.description = "disk full";
        book.Save();
        FAIL() << "Save should have thrown";
    };
    EXPECT_THROW(step(), COleDispatchException);
    EXPECT_EQ(server.calls.size(), 3u);
    // Tear-down checks that the application, the collection and the workbook were all released.
}
