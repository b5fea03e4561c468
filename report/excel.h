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

using LPDISPATCH = platform::IDispatch*;

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
    LPDISPATCH Open(const std::string& Filename, const platform::VARIANT& Option1, const platform::VARIANT& Option2,
                    const platform::VARIANT& Option3, const platform::VARIANT& Option4,
                    const platform::VARIANT& Option5, const platform::VARIANT& Option6,
                    const platform::VARIANT& Option7, const platform::VARIANT& Option8,
                    const platform::VARIANT& Option9, const platform::VARIANT& Option10,
                    const platform::VARIANT& Option11, const platform::VARIANT& Option12,
                    const platform::VARIANT& Option13, const platform::VARIANT& Option14);
    LPDISPATCH Add(const platform::VARIANT& Template);
    void Close();
};

class _Workbook : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    LPDISPATCH get_Worksheets();
    LPDISPATCH get_Sheets();
    void Save();
    void SaveCopyAs(const platform::VARIANT& Filename);
    void Close(const platform::VARIANT& SaveChanges, const platform::VARIANT& Filename,
               const platform::VARIANT& RouteWorkbook);
};

class Worksheets : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    LPDISPATCH get_Item(const platform::VARIANT& Index);
};

class _Worksheet : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    LPDISPATCH get_Range(const platform::VARIANT& Cell1, const platform::VARIANT& Cell2);
    LPDISPATCH get_Cells();
    LPDISPATCH get_UsedRange();
};

class Range : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    platform::VARIANT Select();
    // The new value is the last argument of the property put.
    void put_Item(const platform::VARIANT& RowIndex, const platform::VARIANT& ColumnIndex,
                  const platform::VARIANT& newValue);
    void put_ColumnWidth(const platform::VARIANT& newValue);
    void Merge(const platform::VARIANT& Across);
    void put_WrapText(const platform::VARIANT& newValue);
    void put_HorizontalAlignment(const platform::VARIANT& newValue);
    void put_VerticalAlignment(const platform::VARIANT& newValue);
    LPDISPATCH get_Interior();
    void put_Value2(const platform::VARIANT& newValue);
    void put_NumberFormat(const platform::VARIANT& newValue);
};

class Interior : public COleDispatchDriver {
public:
    using COleDispatchDriver::COleDispatchDriver;

    void put_ColorIndex(const platform::VARIANT& newValue);
};

// Dispatch ids of the members above.
namespace excel_dispid {
constexpr platform::DISPID Application_Workbooks = 0x23C;
constexpr platform::DISPID Application_Visible = 0x22E;
constexpr platform::DISPID Application_Quit = 0x12E;
constexpr platform::DISPID Application_UserControl = 0x4BA;
constexpr platform::DISPID Workbooks_Open = 0x783;
constexpr platform::DISPID Workbooks_Add = 0xB5;
constexpr platform::DISPID Workbooks_Close = 0x115;
constexpr platform::DISPID Workbook_Worksheets = 0x1EE;
constexpr platform::DISPID Workbook_Sheets = 0x1E5;
constexpr platform::DISPID Workbook_Save = 0x11B;
constexpr platform::DISPID Workbook_SaveCopyAs = 0xAF;
constexpr platform::DISPID Workbook_Close = 0x115;
constexpr platform::DISPID Worksheets_Item = 0xAA;
constexpr platform::DISPID Worksheet_Range = 0xC5;
constexpr platform::DISPID Worksheet_Cells = 0xEE;
constexpr platform::DISPID Worksheet_UsedRange = 0x19C;
constexpr platform::DISPID Range_Select = 0xEB;
constexpr platform::DISPID Range_Item = 0xAA;
constexpr platform::DISPID Range_ColumnWidth = 0xF2;
constexpr platform::DISPID Range_Merge = 0x234;
constexpr platform::DISPID Range_WrapText = 0x114;
constexpr platform::DISPID Range_HorizontalAlignment = 0x88;
constexpr platform::DISPID Range_VerticalAlignment = 0x89;
constexpr platform::DISPID Range_Interior = 0x81;
constexpr platform::DISPID Range_Value2 = 0x56C;
constexpr platform::DISPID Range_NumberFormat = 0xC1;
constexpr platform::DISPID Interior_ColorIndex = 0x61;
}  // namespace excel_dispid
