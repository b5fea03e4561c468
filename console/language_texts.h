// The texts the console shows: the 42 texts of the language file, and the table of each language
// that says which text every caption, message and heading of the window takes.
#pragma once
#include <cstddef>
#include <span>
#include <string>

#include "core/winapi.h"

// The 42 texts of the language file, one per key, in the file's key order.
struct LanguageTextSet {
    std::string claqel, dellall, qeltype, closecom, connect, opencom, cominfo, tester, company, readfile, hour, data,
        month, year, cut, save, conok, settime, timedata, powerdbm, report, contcreat, initfail, contopen, comnotopen,
        selcomno, calok, cutok, qelno, mark, inputinfo, notarizedel, notarizecal, sellange, ref, lamda, no, rst, exit,
        settimeok, dellallok, norecord;

    static constexpr std::size_t kCount = 42;
    // The key of text i and the text itself, in key order.
    static const char* Key(std::size_t i);
    std::string& At(std::size_t i);
};

// The language byte (Item= of the language file): 0 English, 1 Chinese, 2 Italian; any other
// value names no language, and then the texts that belong to a language are not shown at all.
constexpr signed char kLanguageEnglish = 0;
constexpr signed char kLanguageChinese = 1;
constexpr signed char kLanguageItalian = 2;

// A text of a language: the text itself, or the language file's text of a key. Either is given:
// there is no empty one.
class ShownText {
public:
    constexpr ShownText(const char* text) : m_text(text) {}
    constexpr ShownText(std::string LanguageTextSet::*fileText) : m_fileText(fileText) {}
    std::string In(const LanguageTextSet& file) const { return m_fileText != nullptr ? file.*m_fileText : m_text; }

private:
    const char* m_text = nullptr;
    std::string LanguageTextSet::*m_fileText = nullptr;
};

// A column of the records table: where it is inserted (into the columns inserted before it) and
// its heading.
struct RecordsColumn {
    int insertAt;
    ShownText heading;
};

// A label of the save-or-print sheet, written into a cell (row and column counted from 1).
struct SheetLabel {
    int row;
    int column;
    ShownText text;
};

// Everything the window shows that depends on the language. Texts that are the same in every
// language, and shown also without one, are not here: they stand where they are shown.
struct LanguageTable {
    signed char language;   // its language byte
    int listIndex;          // its place in the language list
    const char* listEntry;  // and its entry there, the same in every language

    // The captions of the window's controls (console/QELDlg_language.cpp names the control of each).
    ShownText connect, cut, company, model, serialNo, testOperator, notes, year, month, day, hour, minute, upload,
        deleteSelect, deleteAll, saveOrPrint, timeSet, powerCalibrate, reset, exit, groupCom, groupUser, groupTime,
        groupCalibrate, languageLabel;
    // The caption of the open/close button: with the port closed, and open.
    ShownText openCom, closeCom;

    // The meter's replies (under "QEL").
    ShownText connected, disconnected, deletedAll, timeSetDone;
    // The port messages.
    ShownText selectPort, portCannotOpen, portNotOpen;
    // The questions of the maintenance commands (OK/Cancel under "QEL").
    ShownText confirmDeleteAll, confirmReset, confirmCalibrate;
    // The save-or-print sheet's messages.
    ShownText noData, cannotCreateApplication;

    // The records table's columns in insertion order, and the widths of the first columns.
    std::span<const RecordsColumn> columns;
    std::span<const int> columnWidths;
    // The save-or-print sheet's labels: the title and the header block's labels, written before
    // the header block is formatted, and the column headings, written after it.
    std::span<const SheetLabel> sheetLabels;
    std::span<const SheetLabel> sheetHeadings;

    // The command RESET sends: the Chinese meter has a code of its own.
    BYTE resetCommand;
};

// The table of the language a language byte names; nullptr when it names none.
const LanguageTable* LanguageOfByte(signed char language);
// The table of the language at an index of the language list; nullptr for any other index.
const LanguageTable* LanguageAtListIndex(int index);
// The languages there are, which the language list holds at the indexes 0 to kLanguageCount - 1.
constexpr int kLanguageCount = 3;
