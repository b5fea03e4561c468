// Wrappers of the spreadsheet application's automation interfaces. Each member makes exactly one
// Invoke call with the member's fixed dispatch id and kind; arguments travel as VARIANT values.
// A member that returns an object returns a bare reference that the caller owns and puts into a
// wrapper at once, for example:
//     _Application app;
//     if (!app.CreateDispatch(kApplicationProgId)) ...;
//     Workbooks books(app.get_Workbooks());
// A call the application rejects throws COleDispatchException or COleException.
#pragma once
#include <string>

#include "report/ole_dispatch_driver.h"

using LPDISPATCH = core::IDispatch*;

// The ProgID that starts a new instance of the spreadsheet application.
inline constexpr char kApplicationProgId[] = "Excel.Application";

class _Application : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    LPDISPATCH get_Workbooks();
    void put_Visible(bool newValue);
    void Quit();
    void put_UserControl(bool newValue);
};

class Workbooks : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    // The file name goes to the application as text (VT_BSTR); the 14 optional arguments that
    // follow it in the published signature are passed as given (usually all missing).
    LPDISPATCH Open(const std::string& Filename, const core::VARIANT& Option1, const core::VARIANT& Option2,
                    const core::VARIANT& Option3, const core::VARIANT& Option4, const core::VARIANT& Option5,
                    const core::VARIANT& Option6, const core::VARIANT& Option7, const core::VARIANT& Option8,
                    const core::VARIANT& Option9, const core::VARIANT& Option10, const core::VARIANT& Option11,
                    const core::VARIANT& Option12, const core::VARIANT& Option13, const core::VARIANT& Option14);
    LPDISPATCH Add(const core::VARIANT& Template);
    void Close();
};

class _Workbook : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    LPDISPATCH get_Worksheets();
    LPDISPATCH get_Sheets();
    void Save();
    // The server's result: the path of the file the copy went to (VT_BSTR), where it says.
    core::VARIANT SaveCopyAs(const core::VARIANT& Filename);
    void Close(const core::VARIANT& SaveChanges, const core::VARIANT& Filename, const core::VARIANT& RouteWorkbook);
};

class Worksheets : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    LPDISPATCH get_Item(const core::VARIANT& Index);
};

class _Worksheet : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    LPDISPATCH get_Range(const core::VARIANT& Cell1, const core::VARIANT& Cell2);
    LPDISPATCH get_Cells();
    LPDISPATCH get_UsedRange();
};

class Range : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    core::VARIANT Select();
    // The new value is the last argument of the property put.
    void put_Item(const core::VARIANT& RowIndex, const core::VARIANT& ColumnIndex, const core::VARIANT& newValue);
    void put_ColumnWidth(const core::VARIANT& newValue);
    void Merge(const core::VARIANT& Across);
    void put_WrapText(const core::VARIANT& newValue);
    void put_HorizontalAlignment(const core::VARIANT& newValue);
    void put_VerticalAlignment(const core::VARIANT& newValue);
    LPDISPATCH get_Interior();
    void put_Value2(const core::VARIANT& newValue);
    void put_NumberFormat(const core::VARIANT& newValue);
};

class Interior : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    void put_ColorIndex(const core::VARIANT& newValue);
};

// Dispatch ids of the members above.
namespace excel_dispid {
constexpr core::DISPID Application_Workbooks = 0x23C;
constexpr core::DISPID Application_Visible = 0x22E;
constexpr core::DISPID Application_Quit = 0x12E;
constexpr core::DISPID Application_UserControl = 0x4BA;
constexpr core::DISPID Workbooks_Open = 0x783;
constexpr core::DISPID Workbooks_Add = 0xB5;
constexpr core::DISPID Workbooks_Close = 0x115;
constexpr core::DISPID Workbook_Worksheets = 0x1EE;
constexpr core::DISPID Workbook_Sheets = 0x1E5;
constexpr core::DISPID Workbook_Save = 0x11B;
constexpr core::DISPID Workbook_SaveCopyAs = 0xAF;
constexpr core::DISPID Workbook_Close = 0x115;
constexpr core::DISPID Worksheets_Item = 0xAA;
constexpr core::DISPID Worksheet_Range = 0xC5;
constexpr core::DISPID Worksheet_Cells = 0xEE;
constexpr core::DISPID Worksheet_UsedRange = 0x19C;
constexpr core::DISPID Range_Select = 0xEB;
constexpr core::DISPID Range_Item = 0xAA;
constexpr core::DISPID Range_ColumnWidth = 0xF2;
constexpr core::DISPID Range_Merge = 0x234;
constexpr core::DISPID Range_WrapText = 0x114;
constexpr core::DISPID Range_HorizontalAlignment = 0x88;
constexpr core::DISPID Range_VerticalAlignment = 0x89;
constexpr core::DISPID Range_Interior = 0x81;
constexpr core::DISPID Range_Value2 = 0x56C;
constexpr core::DISPID Range_NumberFormat = 0xC1;
constexpr core::DISPID Interior_ColorIndex = 0x61;
}  // namespace excel_dispid
