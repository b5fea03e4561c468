// The spreadsheet application behind the ProgID "Excel.Application": an in-process automation
// server whose objects (application, workbooks, workbook, sheets, worksheet, range, interior)
// answer their members by dispatch id (spreadsheet/dispatch_ids.h) and work on real .xlsx files.
//
// A failing call returns DISP_E_EXCEPTION with the source kApplicationName and a description that
// names the file: a missing file or folder, a file that cannot be read or written, a file that is
// no valid .xlsx, a workbook locked by a desktop spreadsheet (its ".~lock.NAME#" file beside it).
// A locked workbook can be opened (reading changes nothing) but not saved over. Nothing is written
// on a failure. Bad arguments give DISP_E_BADPARAMCOUNT, DISP_E_TYPEMISMATCH or DISP_E_BADINDEX,
// unknown members DISP_E_MEMBERNOTFOUND.
#pragma once
#include <string>

#include "core/automation.h"

namespace spreadsheet {

// The source named in the exception information of a failing call.
inline constexpr const char* kApplicationName = "Spreadsheet";

// Registers "Excel.Application" with core::RegisterClassObject; each CreateInstance makes a
// new application instance.
void RegisterServer();

// A new application instance (one reference for the caller).
core::IDispatch* CreateApplication();

// The per-user folder (mode 0700) where a new, unsaved workbook is written as BookN.xlsx when
// the application is made visible: $XDG_RUNTIME_DIR/qel, else /tmp/qel-<uid>. Created on demand;
// throws XlsxError when it cannot be made safely.
std::string HandOverFolder();

}  // namespace spreadsheet
