// Dispatch ids of the members the spreadsheet application answers, and the constants they take.
#pragma once
#include "core/automation.h"

namespace spreadsheet::dispid {

using core::DISPID;

// Application
constexpr DISPID kWorkbooks = 0x23C;    // property get
constexpr DISPID kVisible = 0x22E;      // property get/put
constexpr DISPID kQuit = 0x12E;         // method
constexpr DISPID kUserControl = 0x4BA;  // property get/put
// Workbooks
constexpr DISPID kOpen = 0x783;   // method: Filename + 14 optional
constexpr DISPID kAdd = 0xB5;     // method: Template optional
constexpr DISPID kClose = 0x115;  // method (Workbooks and Workbook)
// Workbook
constexpr DISPID kWorksheets = 0x1EE;  // property get
constexpr DISPID kSheets = 0x1E5;      // property get
constexpr DISPID kSave = 0x11B;        // method
constexpr DISPID kSaveCopyAs = 0xAF;   // method: Filename
// Worksheets / Sheets and Range
constexpr DISPID kItem = 0xAA;  // property get (collections, range), put (range)
// Worksheet
constexpr DISPID kRange = 0xC5;       // property get: Cell1, Cell2 optional
constexpr DISPID kCells = 0xEE;       // property get
constexpr DISPID kUsedRange = 0x19C;  // property get
// Range
constexpr DISPID kSelect = 0xEB;               // method
constexpr DISPID kColumnWidth = 0xF2;          // property put
constexpr DISPID kMerge = 0x234;               // method: Across optional
constexpr DISPID kWrapText = 0x114;            // property put
constexpr DISPID kHorizontalAlignment = 0x88;  // property put
constexpr DISPID kVerticalAlignment = 0x89;    // property put
constexpr DISPID kInterior = 0x81;             // property get
constexpr DISPID kValue2 = 0x56C;              // property put
constexpr DISPID kNumberFormat = 0xC1;         // property put
// Interior
constexpr DISPID kColorIndex = 0x61;  // property put

// Alignment codes.
constexpr int kAlignGeneral = 1;
constexpr int kAlignLeft = -4131;
constexpr int kAlignCenter = -4108;
constexpr int kAlignRight = -4152;
constexpr int kAlignFill = 5;
constexpr int kAlignJustify = -4130;
constexpr int kAlignCenterAcrossSelection = 7;
constexpr int kAlignDistributed = -4117;
constexpr int kAlignTop = -4160;
constexpr int kAlignBottom = -4107;

}  // namespace spreadsheet::dispid
