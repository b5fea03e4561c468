// The wrappers against the real spreadsheet server: a workbook the server makes serves as the
// template, it is opened, written cell by cell, saved and opened again; a separate reader
// (openpyxl) checks the file. Failures of the server arrive as automation exceptions.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/automation.h"
#include "core/opener.h"
#include "report/automation_exception.h"
#include "report/excel.h"
#include "spreadsheet/server.h"
#include "tests/support/recording_opener.h"
#include "tests/support/temp_dir.h"

using core::VARIANT;

namespace {

class SpreadsheetRoundTrip : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(core::SUCCEEDED(core::CoInitialize(nullptr)));
        spreadsheet::RegisterServer();
        m_dir = m_temp.Path();
    }

    void TearDown() override
    {
        core::RevokeClassObject("Excel.Application");
        core::CoUninitialize();
    }

    static bool HaveOpenpyxl() { return std::system("/usr/bin/python3 -c 'import openpyxl' >/dev/null 2>&1") == 0; }

    // The values of the given cells of the first sheet, one line each ("None" for an empty cell).
    std::string ReadCells(const std::string& file, const std::string& cells)
    {
        const std::string out = m_dir + "/cells.txt";
        const std::string cmd = "/usr/bin/python3 -c \"import sys, openpyxl\n"
                                "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
                                "print('\\n'.join(str(ws[c].value) for c in sys.argv[2].split(',')))\" '" +
                                file + "' '" + cells + "' > '" + out + "' 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << Slurp(out);
        return Slurp(out);
    }

    static std::string Slurp(const std::string& file)
    {
        std::ifstream in(file);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    static bool Exists(const std::string& file) { return ::access(file.c_str(), F_OK) == 0; }

    std::string m_dir;
    testing_support::TempDir m_temp{"qel-roundtrip"};
    const VARIANT missing = VARIANT::Missing();
};

}  // namespace

TEST_F(SpreadsheetRoundTrip, TemplateOpenedWrittenSavedAndReopened)
{
    if (!HaveOpenpyxl()) GTEST_SKIP() << "openpyxl is not installed";
    testing_support::RecordingOpener opener;  // nothing is handed to the desktop in a test
    const std::string templ = m_dir + "/savemode.xlsx";
    const std::string copy = m_dir + "/20240102030405.xlsx";

    // A workbook of the server's own making stands in for the template.
    {
        _Application app;
        ASSERT_EQ(app.CreateDispatch("Excel.Application"), TRUE);
        Workbooks books(app.get_Workbooks());
        _Workbook book(books.Add(missing));
        Worksheets sheets(book.get_Sheets());
        _Worksheet sheet(sheets.get_Item(VARIANT::I4(1)));
        Range cells(sheet.get_Cells());
        cells.put_Item(VARIANT::I4(1), VARIANT::I4(1), VARIANT::Bstr("光功率计测试报告"));
        Range c2(sheet.get_Range(VARIANT::Bstr("C2"), missing));
        c2.put_Value2(VARIANT::Bstr("kept"));
        book.SaveCopyAs(VARIANT::Bstr(templ));
        app.put_Visible(false);
        books.Close();
        app.Quit();
    }
    ASSERT_TRUE(Exists(templ));

    // Open it as the report steps do, write, save in place and save a copy.
    {
        _Application app;
        ASSERT_EQ(app.CreateDispatch("Excel.Application"), TRUE);
        Workbooks books(app.get_Workbooks());
        _Workbook book(books.Open(templ, missing, missing, missing, missing, missing, missing, missing, missing,
                                  missing, missing, missing, missing, missing, missing));
        Worksheets sheets(book.get_Worksheets());
        _Worksheet sheet(sheets.get_Item(VARIANT::I2(1)));
        Range range(sheet.get_Range(VARIANT::Bstr("A1"), VARIANT::Bstr("L150000")));
        range.Select();
        range.put_Item(VARIANT::I4(3), VARIANT::I4(2), VARIANT::Bstr("张三"));
        range.put_Item(VARIANT::I4(11), VARIANT::I4(1), VARIANT::I4(1));
        book.Save();
        book.SaveCopyAs(VARIANT::Bstr(copy));
        book.Close(missing, VARIANT::Bstr(templ), missing);
        app.put_Visible(false);
        books.Close();
        app.Quit();
    }
    ASSERT_TRUE(Exists(copy));
    EXPECT_EQ(ReadCells(templ, "A1,C2,B3,A11"), "光功率计测试报告\nkept\n张三\n1\n");

    // Reopen the copy in a new instance, add to it, save, and hand it to the user.
    {
        _Application app;
        ASSERT_EQ(app.CreateDispatch("Excel.Application"), TRUE);
        Workbooks books(app.get_Workbooks());
        _Workbook book(books.Open(copy, missing, missing, missing, missing, missing, missing, missing, missing, missing,
                                  missing, missing, missing, missing, missing));
        Worksheets sheets(book.get_Worksheets());
        _Worksheet sheet(sheets.get_Item(VARIANT::I2(1)));
        Range range(sheet.get_Range(VARIANT::Bstr("A1"), VARIANT::Bstr("L150000")));
        range.put_Item(VARIANT::I4(11), VARIANT::I4(2), VARIANT::Bstr("1310nm"));
        range.put_Item(VARIANT::I4(12), VARIANT::I4(2), VARIANT::Bstr("1550nm"));
        book.Save();
        app.put_Visible(true);
    }
    EXPECT_EQ(ReadCells(copy, "A1,C2,B3,A11,B11,B12"), "光功率计测试报告\nkept\n张三\n1\n1310nm\n1550nm\n");
    ASSERT_EQ(opener.paths.size(), 1u);
    EXPECT_EQ(opener.paths[0], copy);
}

TEST_F(SpreadsheetRoundTrip, ServerFailuresArriveAsDescribedAutomationExceptions)
{
    testing_support::RecordingOpener opener;
    _Application app;
    ASSERT_EQ(app.CreateDispatch("Excel.Application"), TRUE);
    Workbooks books(app.get_Workbooks());
    const std::string absent = m_dir + "/no-such-template.xlsx";
    try {
        _Workbook book(books.Open(absent, missing, missing, missing, missing, missing, missing, missing, missing,
                                  missing, missing, missing, missing, missing, missing));
        FAIL() << "opening a missing file succeeded";
    } catch (const COleDispatchException& e) {
        EXPECT_FALSE(e.GetErrorMessage().empty());
        EXPECT_EQ(e.m_strSource, spreadsheet::kApplicationName);
    }

    // A copy into a folder that does not exist fails, and nothing is written.
    _Workbook book(books.Add(missing));
    const std::string nowhere = m_dir + "/savefile/20240102030405.xlsx";
    EXPECT_THROW(book.SaveCopyAs(VARIANT::Bstr(nowhere)), CAutomationException);
    EXPECT_FALSE(Exists(nowhere));
    app.Quit();
}
