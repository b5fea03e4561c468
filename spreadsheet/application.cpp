// The automation objects of the spreadsheet application. Each object is a small handle on shared
// state: an object keeps alive what it needs (a workbook keeps its application, a range its
// workbook), so objects stay valid for as long as a caller holds them.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/opener.h"
#include "spreadsheet/dispatch_ids.h"
#include "spreadsheet/palette.h"
#include "spreadsheet/server.h"
#include "spreadsheet/workbook.h"

namespace spreadsheet {

using namespace core;

namespace {

// A failing call with a status code and no description (bad arguments).
struct CallFailure {
    HRESULT hr;
};

[[noreturn]] void Fail(HRESULT hr) { throw CallFailure{hr}; }

std::atomic<int> g_bookCounter{0};

struct BookState {
    std::unique_ptr<Workbook> book;
    std::string path;  // empty while the workbook was never saved
    std::string name;
    bool closed = false;
};

struct AppState {
    std::vector<std::shared_ptr<BookState>> books;
    bool visible = false;
    bool userControl = false;
};

std::string AbsolutePath(const std::string& path)
{
    if (path.empty()) throw XlsxError("No file name was given.");
    if (path[0] == '/') return path;
    std::string cwd;
    if (char* here = ::getcwd(nullptr, 0)) {
        cwd = here;
        std::free(here);
    }
    return cwd + "/" + path;
}

// Argument helpers. Numbers arrive as VT_I2, VT_I4 or VT_R8, texts as VT_BSTR, flags as VT_BOOL.
bool Absent(const VARIANT& v) { return v.vt == VT_EMPTY || v.IsMissing(); }

double AsDouble(const VARIANT& v)
{
    switch (v.vt) {
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_R8: return v.dblVal;
    case VT_BOOL: return v.boolVal ? -1 : 0;
    case VT_BSTR: {
        double d = 0;
        if (ParsePlainNumber(v.bstrVal, d)) return d;
        break;
    }
    default: break;
    }
    Fail(DISP_E_TYPEMISMATCH);
}

long AsLong(const VARIANT& v)
{
    const double d = AsDouble(v);
    if (!(std::fabs(d) < 2147483648.0)) Fail(DISP_E_TYPEMISMATCH);
    return std::lround(d);
}

bool AsBool(const VARIANT& v)
{
    if (v.vt == VT_BSTR) {
        if (v.bstrVal == "True" || v.bstrVal == "TRUE" || v.bstrVal == "true") return true;
        if (v.bstrVal == "False" || v.bstrVal == "FALSE" || v.bstrVal == "false") return false;
    }
    return AsDouble(v) != 0;
}

const std::string& AsText(const VARIANT& v)
{
    if (v.vt != VT_BSTR) Fail(DISP_E_TYPEMISMATCH);
    return v.bstrVal;
}

void ArgCount(const DISPPARAMS& args, std::size_t least, std::size_t most)
{
    if (args.size() < least || args.size() > most) Fail(DISP_E_BADPARAMCOUNT);
}

bool IsGet(WORD flags) { return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0; }
bool IsPut(WORD flags) { return (flags & DISPATCH_PROPERTYPUT) != 0; }
bool IsMethod(WORD flags) { return (flags & DISPATCH_METHOD) != 0; }

// A property put of exactly one value; false when the call is no put.
bool IsPutOfOne(WORD flags, const DISPPARAMS& args)
{
    if (!IsPut(flags)) return false;
    ArgCount(args, 1, 1);
    return true;
}

// A property get (or a method call) with no arguments; false when the call is neither.
bool IsGetOfNone(WORD flags, const DISPPARAMS& args)
{
    if (!IsGet(flags) || IsPut(flags)) return false;
    ArgCount(args, 0, 0);
    return true;
}

void Return(VARIANT* result, VARIANT value)
{
    if (result) *result = std::move(value);
}

// Hands a new object to the caller as the call's result.
HRESULT Give(VARIANT* result, IDispatch* object)
{
    Return(result, VARIANT::Dispatch(object));
    return S_OK;
}

// Base of every object: runs the member and turns failures into the automation results.
class Object : public DispatchBase {
public:
    HRESULT Invoke(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result, EXCEPINFO* excep) final
    {
        try {
            return Call(id, flags, args, result);
        } catch (const CallFailure& failure) {
            return failure.hr;
        } catch (const XlsxError& error) {
            return Raise(excep, error.what());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (const std::exception& error) {
            return Raise(excep, error.what());
        }
    }

protected:
    virtual HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result) = 0;

private:
    static HRESULT Raise(EXCEPINFO* excep, const std::string& description)
    {
        if (excep) {
            excep->wCode = 0;
            excep->source = kApplicationName;
            excep->description = description;
            excep->scode = E_FAIL;
        }
        return DISP_E_EXCEPTION;
    }
};

void CheckOpen(const BookState& state)
{
    if (state.closed) throw XlsxError("The workbook \"" + state.name + "\" has been closed.");
}

// What an object stands on: the application and, below it, a workbook, a worksheet of it and a
// block of that sheet, as far as the object reaches. Holding it keeps them alive.
struct Place {
    std::shared_ptr<AppState> app;
    std::shared_ptr<BookState> book;
    Worksheet* sheet = nullptr;
    CellRect rect{};

    Place Book(std::shared_ptr<BookState> b) const { return {app, std::move(b), nullptr, {}}; }
    Place Sheet(Worksheet* s) const { return {app, book, s, {}}; }
    Place Block(const CellRect& r) const { return {app, book, sheet, r}; }
};

// An object below the application.
class PlacedObject : public Object {
public:
    explicit PlacedObject(Place place) : m_at(std::move(place)) {}

protected:
    void CheckOpen() const { spreadsheet::CheckOpen(*m_at.book); }

    Place m_at;
};

// Writes the workbook and hands it to the desktop's spreadsheet.
void HandOver(BookState& state)
{
    std::string path = state.path;
    if (path.empty()) {
        const std::string folder = HandOverFolder();
        path = folder + "/" + state.name + ".xlsx";
        // The name is reserved by creating its file: a book of this or of another running program
        // (still open on the desktop, or just handed over) keeps its file, and the next name is taken.
        for (;;) {
            if (::access(LockFileFor(path).c_str(), F_OK) != 0) {
                int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                if (fd >= 0) {
                    ::close(fd);
                    break;
                }
                if (errno != EEXIST)
                    throw XlsxError("The workbook \"" + path + "\" cannot be written: " + std::strerror(errno) + ".");
            }
            state.name = "Book" + std::to_string(++g_bookCounter);
            path = folder + "/" + state.name + ".xlsx";
        }
        try {
            state.book->SaveTo(path);
        } catch (...) {
            ::unlink(path.c_str());
            throw;
        }
    }
    // The workbook stays saved: the message names its file, so that it can be opened by hand.
    std::string why;
    if (!Opener().Open(path, &why))
        throw XlsxError("The workbook was saved as \"" + path + "\", but no application could open it: " + why +
                        ". Open the file by hand.");
}

class RangeObject;

class InteriorObject : public PlacedObject {
public:
    using PlacedObject::PlacedObject;

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT*) override
    {
        if (id != dispid::kColorIndex || !IsPutOfOne(flags, args)) return DISP_E_MEMBERNOTFOUND;
        const long index = AsLong(args[0]);
        CheckOpen();
        std::string rgb;
        if (index != kColorIndexNone && index != kColorIndexAutomatic) {
            const auto color = PaletteColor(static_cast<int>(index));
            if (!color)
                throw XlsxError("The colour index " + std::to_string(index) + " is not in the palette (1 to 56).");
            char buf[8];
            std::snprintf(buf, sizeof buf, "%06X", static_cast<unsigned>(*color));
            rgb = buf;
        }
        m_at.sheet->ApplyStyle(m_at.rect, {StyleChange::Kind::Fill, rgb});
        return S_OK;
    }
};

class RangeObject : public PlacedObject {
public:
    using PlacedObject::PlacedObject;
    const CellRect& Rect() const { return m_at.rect; }
    const Worksheet* Sheet() const { return m_at.sheet; }

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result) override
    {
        switch (id) {
        case dispid::kSelect:
            if (!IsMethod(flags)) break;
            ArgCount(args, 0, 1);
            CheckOpen();
            m_at.sheet->Select(m_at.rect);
            Return(result, VARIANT::Bool(true));
            return S_OK;
        case dispid::kItem:
            if (IsPut(flags)) return PutItem(args);
            if (IsGet(flags)) return GetItem(args, result);
            break;
        case dispid::kColumnWidth:
            if (!IsPutOfOne(flags, args)) break;
            {
                const double width = AsDouble(args[0]);
                CheckOpen();
                m_at.sheet->SetColumnWidth(m_at.rect.col1, m_at.rect.col2, width);
            }
            return S_OK;
        case dispid::kMerge:
            if (!IsMethod(flags)) break;
            ArgCount(args, 0, 1);
            {
                const bool across = !args.empty() && !Absent(args[0]) && AsBool(args[0]);
                CheckOpen();
                m_at.sheet->Merge(m_at.rect, across);
            }
            return S_OK;
        case dispid::kWrapText:
            if (!IsPutOfOne(flags, args)) break;
            return Style(StyleChange::Kind::Wrap, AsBool(args[0]) ? "1" : "0");
        case dispid::kHorizontalAlignment:
            if (!IsPutOfOne(flags, args)) break;
            return Style(StyleChange::Kind::Horizontal, Horizontal(AsLong(args[0])));
        case dispid::kVerticalAlignment:
            if (!IsPutOfOne(flags, args)) break;
            return Style(StyleChange::Kind::Vertical, Vertical(AsLong(args[0])));
        case dispid::kNumberFormat:
            if (!IsPutOfOne(flags, args)) break;
            return Style(StyleChange::Kind::NumberFormat, AsText(args[0]));
        case dispid::kInterior:
            if (!IsGetOfNone(flags, args)) break;
            CheckOpen();
            return Give(result, new InteriorObject(m_at));
        case dispid::kValue2:
            if (!IsPutOfOne(flags, args)) break;
            CheckValue(args[0]);
            CheckOpen();
            if (m_at.rect.CellCount() > 2'000'000)
                throw XlsxError("The range " + RangeName(m_at.rect) + " is too large to fill cell by cell.");
            for (int r = m_at.rect.row1; r <= m_at.rect.row2; ++r)
                for (int c = m_at.rect.col1; c <= m_at.rect.col2; ++c) PutValue(r, c, args[0]);
            return S_OK;
        default: break;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    // Row and column are counted from the range's top-left cell; a single index runs along the
    // range's rows.
    void CellAt(const DISPPARAMS& args, std::size_t indexCount, int& row, int& col) const
    {
        if (indexCount == 2) {
            row = m_at.rect.row1 + static_cast<int>(AsLong(args[0])) - 1;
            col = m_at.rect.col1 + static_cast<int>(AsLong(args[1])) - 1;
        } else {
            const long index = AsLong(args[0]) - 1;
            if (index < 0) Fail(DISP_E_BADINDEX);
            row = m_at.rect.row1 + static_cast<int>(index / m_at.rect.Columns());
            col = m_at.rect.col1 + static_cast<int>(index % m_at.rect.Columns());
        }
        if (row < 1 || row > kMaxRows || col < 1 || col > kMaxColumns) Fail(DISP_E_BADINDEX);
    }

    HRESULT PutItem(const DISPPARAMS& args)
    {
        ArgCount(args, 2, 3);
        int row = 0, col = 0;
        CellAt(args, args.size() - 1, row, col);
        CheckValue(args.back());
        CheckOpen();
        PutValue(row, col, args.back());
        return S_OK;
    }

    HRESULT GetItem(const DISPPARAMS& args, VARIANT* result)
    {
        ArgCount(args, 1, 2);
        int row = 0, col = 0;
        CellAt(args, args.size(), row, col);
        CheckOpen();
        return Give(result, new RangeObject(m_at.Block({row, col, row, col})));
    }

    static void CheckValue(const VARIANT& v)
    {
        switch (v.vt) {
        case VT_EMPTY:
        case VT_I2:
        case VT_I4:
        case VT_R8:
        case VT_BOOL:
        case VT_BSTR: return;
        default: Fail(DISP_E_TYPEMISMATCH);
        }
    }

    void PutValue(int row, int col, const VARIANT& v)
    {
        switch (v.vt) {
        case VT_EMPTY: m_at.sheet->ClearValue(row, col); break;
        case VT_I2: m_at.sheet->SetNumber(row, col, v.iVal); break;
        case VT_I4: m_at.sheet->SetNumber(row, col, v.lVal); break;
        case VT_R8: m_at.sheet->SetNumber(row, col, v.dblVal); break;
        case VT_BOOL: m_at.sheet->SetBool(row, col, v.boolVal); break;
        case VT_BSTR: m_at.sheet->SetValueFromText(row, col, v.bstrVal); break;
        default: Fail(DISP_E_TYPEMISMATCH);
        }
    }

    HRESULT Style(StyleChange::Kind kind, std::string value)
    {
        CheckOpen();
        m_at.sheet->ApplyStyle(m_at.rect, {kind, std::move(value)});
        return S_OK;
    }

    static std::string Horizontal(long code)
    {
        switch (code) {
        case dispid::kAlignGeneral: return "";
        case dispid::kAlignLeft: return "left";
        case dispid::kAlignCenter: return "center";
        case dispid::kAlignRight: return "right";
        case dispid::kAlignFill: return "fill";
        case dispid::kAlignJustify: return "justify";
        case dispid::kAlignCenterAcrossSelection: return "centerContinuous";
        case dispid::kAlignDistributed: return "distributed";
        default: throw XlsxError("The horizontal alignment code " + std::to_string(code) + " is unknown.");
        }
    }

    static std::string Vertical(long code)
    {
        switch (code) {
        case dispid::kAlignTop: return "top";
        case dispid::kAlignCenter: return "center";
        case dispid::kAlignBottom: return "";
        case dispid::kAlignJustify: return "justify";
        case dispid::kAlignDistributed: return "distributed";
        default: throw XlsxError("The vertical alignment code " + std::to_string(code) + " is unknown.");
        }
    }
};

class WorksheetObject : public PlacedObject {
public:
    using PlacedObject::PlacedObject;

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result) override
    {
        if (!IsGet(flags) || IsPut(flags)) return DISP_E_MEMBERNOTFOUND;
        switch (id) {
        case dispid::kRange: {
            ArgCount(args, 1, 2);
            CellRect rect = Corner(args[0]);
            if (args.size() == 2 && !Absent(args[1])) {
                const CellRect other = Corner(args[1]);
                rect = {std::min(rect.row1, other.row1), std::min(rect.col1, other.col1),
                        std::max(rect.row2, other.row2), std::max(rect.col2, other.col2)};
            }
            return GiveRange(result, rect);
        }
        case dispid::kCells: ArgCount(args, 0, 0); return GiveRange(result, {1, 1, kMaxRows, kMaxColumns});
        case dispid::kUsedRange:
            ArgCount(args, 0, 0);
            CheckOpen();
            return GiveRange(result, m_at.sheet->UsedRange());
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    CellRect Corner(const VARIANT& v) const
    {
        if (v.vt == VT_DISPATCH) {
            const auto* range = dynamic_cast<const RangeObject*>(v.pdispVal);
            if (!range || range->Sheet() != m_at.sheet) Fail(DISP_E_TYPEMISMATCH);
            return range->Rect();
        }
        CellRect rect;
        if (!ParseRangeRef(AsText(v), rect)) throw XlsxError("\"" + v.bstrVal + "\" is not a cell reference.");
        return rect;
    }

    HRESULT GiveRange(VARIANT* result, const CellRect& rect)
    {
        CheckOpen();
        return Give(result, new RangeObject(m_at.Block(rect)));
    }
};

class SheetsObject : public PlacedObject {
public:
    SheetsObject(Place place, bool worksheetsOnly) : PlacedObject(std::move(place)), m_worksheetsOnly(worksheetsOnly) {}

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result) override
    {
        if (id != dispid::kItem || !IsGet(flags) || IsPut(flags)) return DISP_E_MEMBERNOTFOUND;
        ArgCount(args, 1, 1);
        CheckOpen();
        Workbook& book = *m_at.book->book;
        std::vector<std::size_t> members;
        for (std::size_t i = 0; i < book.SheetCount(); ++i)
            if (!m_worksheetsOnly || book.SheetAt(i)) members.push_back(i);
        std::size_t chosen = members.size();
        if (args[0].vt == VT_BSTR) {
            for (std::size_t k = 0; k < members.size(); ++k)
                if (strcasecmp(book.SheetName(members[k]).c_str(), args[0].bstrVal.c_str()) == 0) chosen = k;
        } else {
            const long index = AsLong(args[0]);
            if (index >= 1 && static_cast<std::size_t>(index) <= members.size())
                chosen = static_cast<std::size_t>(index - 1);
        }
        if (chosen >= members.size()) return DISP_E_BADINDEX;
        Worksheet* sheet = book.SheetAt(members[chosen]);
        if (!sheet)
            throw XlsxError("The sheet \"" + book.SheetName(members[chosen]) + "\" is a chart sheet, not a worksheet.");
        return Give(result, new WorksheetObject(m_at.Sheet(sheet)));
    }

private:
    bool m_worksheetsOnly;
};

void CloseBook(AppState& app, const std::shared_ptr<BookState>& book)
{
    book->closed = true;
    std::erase(app.books, book);
}

class WorkbookObject : public PlacedObject {
public:
    using PlacedObject::PlacedObject;

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result) override
    {
        switch (id) {
        case dispid::kWorksheets:
        case dispid::kSheets:
            if (!IsGetOfNone(flags, args)) break;
            CheckOpen();
            return Give(result, new SheetsObject(m_at, id == dispid::kWorksheets));
        case dispid::kSave:
            if (!IsMethod(flags)) break;
            ArgCount(args, 0, 0);
            CheckOpen();
            Save();
            return S_OK;
        case dispid::kSaveCopyAs:
            if (!IsMethod(flags)) break;
            ArgCount(args, 1, 1);
            {
                // A copy goes to a new file: a file of that name already there is never
                // replaced, the copy takes the next free numbered name instead. The result names
                // the file written.
                const std::string path = AbsolutePath(AsText(args[0]));
                CheckOpen();
                const std::string saved = m_at.book->book->SaveAsNew(path);
                Return(result, VARIANT::Bstr(saved));
            }
            return S_OK;
        case dispid::kClose:
            if (!IsMethod(flags)) break;
            return Close(args);
        default: break;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    void Save()
    {
        if (m_at.book->path.empty())
            throw XlsxError("The workbook \"" + m_at.book->name +
                            "\" has never been saved: it has no file to save to.");
        m_at.book->book->SaveTo(m_at.book->path);
        m_at.book->book->ClearModified();
    }

    HRESULT Close(const DISPPARAMS& args)
    {
        ArgCount(args, 0, 3);
        const bool save = !args.empty() && !Absent(args[0]) && AsBool(args[0]);
        std::string fileName;
        if (args.size() >= 2 && !Absent(args[1])) fileName = AsText(args[1]);
        CheckOpen();
        // Nothing is saved unless the caller asks; a changed workbook is closed without asking.
        if (save && m_at.book->book->Modified()) {
            if (m_at.book->path.empty()) {
                if (fileName.empty())
                    throw XlsxError("The workbook \"" + m_at.book->name + "\" has no file name to be saved under.");
                const std::string path = AbsolutePath(fileName);
                m_at.book->book->SaveTo(path);
            } else {
                Save();
            }
        }
        CloseBook(*m_at.app, m_at.book);
        return S_OK;
    }
};

class WorkbooksObject : public PlacedObject {
public:
    using PlacedObject::PlacedObject;

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result) override
    {
        if (!IsMethod(flags)) return DISP_E_MEMBERNOTFOUND;
        switch (id) {
        case dispid::kOpen: {
            ArgCount(args, 1, 15);
            const std::string path = AbsolutePath(AsText(args[0]));
            for (const auto& open : m_at.app->books)
                if (open->path == path) return GiveBook(result, open);
            auto state = std::make_shared<BookState>();
            state->book = Workbook::Load(path);
            state->path = path;
            state->name = FileName(path);
            m_at.app->books.push_back(state);
            return GiveBook(result, state);
        }
        case dispid::kAdd: {
            ArgCount(args, 0, 1);
            auto state = std::make_shared<BookState>();
            if (!args.empty() && args[0].vt == VT_BSTR) {
                state->book = Workbook::Load(AbsolutePath(args[0].bstrVal));  // a copy of the template
            } else if (args.empty() || Absent(args[0]) || args[0].vt == VT_I2 || args[0].vt == VT_I4) {
                state->book = Workbook::CreateNew();
            } else {
                Fail(DISP_E_TYPEMISMATCH);
            }
            state->name = "Book" + std::to_string(++g_bookCounter);
            m_at.app->books.push_back(state);
            return GiveBook(result, state);
        }
        case dispid::kClose:
            ArgCount(args, 0, 0);
            while (!m_at.app->books.empty()) CloseBook(*m_at.app, m_at.app->books.back());
            return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    HRESULT GiveBook(VARIANT* result, std::shared_ptr<BookState> state)
    {
        return Give(result, new WorkbookObject(m_at.Book(std::move(state))));
    }
};

class ApplicationObject : public Object {
public:
    ApplicationObject() : m_app(std::make_shared<AppState>()) {}

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result) override
    {
        switch (id) {
        case dispid::kWorkbooks:
            if (!IsGetOfNone(flags, args)) break;
            return Give(result, new WorkbooksObject(Place{m_app, nullptr, nullptr, {}}));
        case dispid::kVisible:
            if (IsPutOfOne(flags, args)) {
                const bool visible = AsBool(args[0]);
                if (visible && !m_app->visible) {
                    for (const auto& book : m_app->books) HandOver(*book);
                }
                m_app->visible = visible;
                return S_OK;
            }
            if (!IsGetOfNone(flags, args)) break;
            Return(result, VARIANT::Bool(m_app->visible));
            return S_OK;
        case dispid::kUserControl:
            if (IsPutOfOne(flags, args)) {
                m_app->userControl = AsBool(args[0]);
                return S_OK;
            }
            if (!IsGetOfNone(flags, args)) break;
            Return(result, VARIANT::Bool(m_app->userControl));
            return S_OK;
        case dispid::kQuit:
            if (!IsMethod(flags)) break;
            ArgCount(args, 0, 0);
            // Everything is closed without saving.
            while (!m_app->books.empty()) CloseBook(*m_app, m_app->books.back());
            m_app->visible = false;
            return S_OK;
        default: break;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::shared_ptr<AppState> m_app;
};

}  // namespace

std::string HandOverFolder()
{
    std::string folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
        folder = std::string(runtime) + "/qel";
    else
        folder = "/tmp/qel-" + std::to_string(::geteuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw XlsxError("The folder \"" + folder + "\" cannot be made: " + std::strerror(errno) + ".");
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        throw XlsxError("The folder \"" + folder + "\" is not a private folder of this user.");
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        throw XlsxError("The folder \"" + folder + "\" cannot be made private.");
    return folder;
}

IDispatch* CreateApplication() { return new ApplicationObject; }

void RegisterServer()
{
    RegisterClassObject("Excel.Application", [](IDispatch** out) -> HRESULT {
        if (!out) return E_POINTER;
        *out = CreateApplication();
        return S_OK;
    });
}

}  // namespace spreadsheet
