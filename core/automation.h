// A small automation layer: reference-counted dispatch objects that are invoked by dispatch id
// with VARIANT-like values, class objects registered under a ProgID, and per-thread
// initialisation. The report code drives the spreadsheet application through it; the spreadsheet
// server in spreadsheet/ implements the objects.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace core {

using HRESULT = std::int32_t;
using DISPID = std::int32_t;
using WORD = std::uint16_t;
using ULONG = std::uint32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009);
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000B);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;

enum VARTYPE : std::uint16_t {
    VT_EMPTY = 0,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
};

class IDispatch;

// A value passed to or returned from a dispatch call. Texts are UTF-8. A VT_DISPATCH value holds
// one reference of its object (copies add one, destruction releases one).
class VARIANT {
public:
    VARIANT() = default;
    VARIANT(const VARIANT& other);
    VARIANT(VARIANT&& other) noexcept;
    VARIANT& operator=(const VARIANT& other);
    VARIANT& operator=(VARIANT&& other) noexcept;
    ~VARIANT();

    static VARIANT I2(std::int16_t v);
    static VARIANT I4(std::int32_t v);
    static VARIANT R8(double v);
    static VARIANT Bool(bool v);
    static VARIANT Bstr(std::string text);
    static VARIANT Error(HRESULT code);
    static VARIANT Missing() { return Error(DISP_E_PARAMNOTFOUND); }
    // Takes over one reference of obj (does not add one).
    static VARIANT Dispatch(IDispatch* obj);

    VARTYPE vt = VT_EMPTY;
    std::int16_t iVal = 0;
    std::int32_t lVal = 0;
    double dblVal = 0.0;
    bool boolVal = false;
    HRESULT scode = 0;
    std::string bstrVal;
    IDispatch* pdispVal = nullptr;

    bool IsMissing() const { return vt == VT_ERROR && scode == DISP_E_PARAMNOTFOUND; }
    void Clear();
    // Gives up the held object reference to the caller (nullptr when none).
    IDispatch* DetachDispatch();
};

// Exception information filled by a server whose call fails with DISP_E_EXCEPTION.
struct EXCEPINFO {
    WORD wCode = 0;
    std::string source;
    std::string description;
    HRESULT scode = 0;
};

// Arguments in the order the caller lists them; for a property put the new value is last.
using DISPPARAMS = std::vector<VARIANT>;

class IDispatch {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // result may be nullptr; excep is filled when the call returns DISP_E_EXCEPTION.
    virtual HRESULT Invoke(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result, EXCEPINFO* excep) = 0;

protected:
    virtual ~IDispatch() = default;
};

// Base with a thread-safe reference count; starts at 1 for its creator.
class DispatchBase : public IDispatch {
public:
    ULONG AddRef() override;
    ULONG Release() override;

protected:
    DispatchBase() = default;

private:
    std::atomic<ULONG> m_refs{1};
};

// Per-thread initialisation: the first call on a thread returns S_OK, later ones S_FALSE; a
// non-null reserved argument gives E_INVALIDARG. CoUninitialize undoes one call.
HRESULT CoInitialize(void* reserved);
void CoUninitialize();
bool IsComInitialized();

// Creates a new object of a class: out receives one reference.
using ClassFactory = std::function<HRESULT(IDispatch** out)>;
void RegisterClassObject(const std::string& progId, ClassFactory factory);
void RevokeClassObject(const std::string& progId);
// CO_E_NOTINITIALIZED before CoInitialize on the calling thread; REGDB_E_CLASSNOTREG for an
// unknown ProgID; else the factory's result.
HRESULT CreateInstance(const std::string& progId, IDispatch** out);

// The system's text for a status code; empty when there is none.
std::string StatusText(HRESULT hr);

}  // namespace core
