#include "report/excel.h"

using core::DISPATCH_METHOD;
using core::DISPATCH_PROPERTYGET;
using core::DISPATCH_PROPERTYPUT;
using core::VARIANT;
namespace id = excel_dispid;

// _Application

LPDISPATCH _Application::get_Workbooks()
{
    return InvokeForObject(id::Application_Workbooks, DISPATCH_PROPERTYGET, {});
}

void _Application::put_Visible(bool newValue)
{
    InvokeHelper(id::Application_Visible, DISPATCH_PROPERTYPUT, VARIANT::Bool(newValue));
}

void _Application::Quit() { InvokeHelper(id::Application_Quit, DISPATCH_METHOD, {}); }

void _Application::put_UserControl(bool newValue)
{
    InvokeHelper(id::Application_UserControl, DISPATCH_PROPERTYPUT, VARIANT::Bool(newValue));
}

// Workbooks

LPDISPATCH Workbooks::Open(const std::string& Filename, const VARIANT& Option1, const VARIANT& Option2,
                           const VARIANT& Option3, const VARIANT& Option4, const VARIANT& Option5,
                           const VARIANT& Option6, const VARIANT& Option7, const VARIANT& Option8,
                           const VARIANT& Option9, const VARIANT& Option10, const VARIANT& Option11,
                           const VARIANT& Option12, const VARIANT& Option13, const VARIANT& Option14)
{
    return InvokeForObject(id::Workbooks_Open, DISPATCH_METHOD,
                           {VARIANT::Bstr(Filename), Option1, Option2, Option3, Option4, Option5, Option6, Option7,
                            Option8, Option9, Option10, Option11, Option12, Option13, Option14});
}

LPDISPATCH Workbooks::Add(const VARIANT& Template)
{
    return InvokeForObject(id::Workbooks_Add, DISPATCH_METHOD, {Template});
}

void Workbooks::Close() { InvokeHelper(id::Workbooks_Close, DISPATCH_METHOD, {}); }

// _Workbook

LPDISPATCH _Workbook::get_Worksheets() { return InvokeForObject(id::Workbook_Worksheets, DISPATCH_PROPERTYGET, {}); }

LPDISPATCH _Workbook::get_Sheets() { return InvokeForObject(id::Workbook_Sheets, DISPATCH_PROPERTYGET, {}); }

void _Workbook::Save() { InvokeHelper(id::Workbook_Save, DISPATCH_METHOD, {}); }

VARIANT _Workbook::SaveCopyAs(const VARIANT& Filename)
{
    return InvokeHelper(id::Workbook_SaveCopyAs, DISPATCH_METHOD, Filename);
}

void _Workbook::Close(const VARIANT& SaveChanges, const VARIANT& Filename, const VARIANT& RouteWorkbook)
{
    InvokeHelper(id::Workbook_Close, DISPATCH_METHOD, SaveChanges, Filename, RouteWorkbook);
}

// Worksheets

LPDISPATCH Worksheets::get_Item(const VARIANT& Index)
{
    return InvokeForObject(id::Worksheets_Item, DISPATCH_PROPERTYGET, {Index});
}

// _Worksheet

LPDISPATCH _Worksheet::get_Range(const VARIANT& Cell1, const VARIANT& Cell2)
{
    return InvokeForObject(id::Worksheet_Range, DISPATCH_PROPERTYGET, {Cell1, Cell2});
}

LPDISPATCH _Worksheet::get_Cells() { return InvokeForObject(id::Worksheet_Cells, DISPATCH_PROPERTYGET, {}); }

LPDISPATCH _Worksheet::get_UsedRange() { return InvokeForObject(id::Worksheet_UsedRange, DISPATCH_PROPERTYGET, {}); }

// Range

VARIANT Range::Select() { return InvokeHelper(id::Range_Select, DISPATCH_METHOD, {}); }

void Range::put_Item(const VARIANT& RowIndex, const VARIANT& ColumnIndex, const VARIANT& newValue)
{
    InvokeHelper(id::Range_Item, DISPATCH_PROPERTYPUT, RowIndex, ColumnIndex, newValue);
}

void Range::put_ColumnWidth(const VARIANT& newValue)
{
    InvokeHelper(id::Range_ColumnWidth, DISPATCH_PROPERTYPUT, newValue);
}

void Range::Merge(const VARIANT& Across) { InvokeHelper(id::Range_Merge, DISPATCH_METHOD, Across); }

void Range::put_WrapText(const VARIANT& newValue) { InvokeHelper(id::Range_WrapText, DISPATCH_PROPERTYPUT, newValue); }

void Range::put_HorizontalAlignment(const VARIANT& newValue)
{
    InvokeHelper(id::Range_HorizontalAlignment, DISPATCH_PROPERTYPUT, newValue);
}

void Range::put_VerticalAlignment(const VARIANT& newValue)
{
    InvokeHelper(id::Range_VerticalAlignment, DISPATCH_PROPERTYPUT, newValue);
}

LPDISPATCH Range::get_Interior() { return InvokeForObject(id::Range_Interior, DISPATCH_PROPERTYGET, {}); }

void Range::put_Value2(const VARIANT& newValue) { InvokeHelper(id::Range_Value2, DISPATCH_PROPERTYPUT, newValue); }

void Range::put_NumberFormat(const VARIANT& newValue)
{
    InvokeHelper(id::Range_NumberFormat, DISPATCH_PROPERTYPUT, newValue);
}

// Interior

void Interior::put_ColorIndex(const VARIANT& newValue)
{
    InvokeHelper(id::Interior_ColorIndex, DISPATCH_PROPERTYPUT, newValue);
}
