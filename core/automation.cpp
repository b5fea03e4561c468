#include "core/automation.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <new>
#include <utility>

namespace core {

// ---- VARIANT ---------------------------------------------------------------------------------

VARIANT::VARIANT(const VARIANT& other)
    : vt(other.vt), iVal(other.iVal), lVal(other.lVal), dblVal(other.dblVal), boolVal(other.boolVal),
      scode(other.scode), bstrVal(other.bstrVal), pdispVal(other.pdispVal)
{
    if (vt == VT_DISPATCH && pdispVal) pdispVal->AddRef();
}

VARIANT::VARIANT(VARIANT&& other) noexcept { *this = std::move(other); }

VARIANT& VARIANT::operator=(const VARIANT& other)
{
    if (this == &other) return *this;
    // The copy takes the new reference before the old one is dropped: both may name the same
    // object.
    VARIANT copy(other);
    return *this = std::move(copy);
}

VARIANT& VARIANT::operator=(VARIANT&& other) noexcept
{
    if (this == &other) return *this;
    Clear();
    vt = other.vt;
    iVal = other.iVal;
    lVal = other.lVal;
    dblVal = other.dblVal;
    boolVal = other.boolVal;
    scode = other.scode;
    bstrVal = std::move(other.bstrVal);
    pdispVal = other.pdispVal;
    // The reference (if any) now belongs to this value.
    other.pdispVal = nullptr;
    other.Clear();
    return *this;
}

VARIANT::~VARIANT() { Clear(); }

void VARIANT::Clear()
{
    IDispatch* held = (vt == VT_DISPATCH) ? pdispVal : nullptr;
    vt = VT_EMPTY;
    iVal = 0;
    lVal = 0;
    dblVal = 0.0;
    boolVal = false;
    scode = 0;
    bstrVal.clear();
    pdispVal = nullptr;
    // Released last, so a destructor that reenters sees this value already empty.
    if (held) held->Release();
}

IDispatch* VARIANT::DetachDispatch()
{
    if (vt != VT_DISPATCH) return nullptr;
    IDispatch* obj = pdispVal;
    pdispVal = nullptr;  // the caller owns the reference now; Clear must not release it
    Clear();
    return obj;
}

namespace {

// A value of type `type` that holds `value` in `field`, every other field empty.
template <typename Field, typename Value>
VARIANT Holding(VARTYPE type, Field VARIANT::*field, Value&& value)
{
    VARIANT r;
    r.vt = type;
    r.*field = std::forward<Value>(value);
    return r;
}

}  // namespace

VARIANT VARIANT::I2(std::int16_t v) { return Holding(VT_I2, &VARIANT::iVal, v); }
VARIANT VARIANT::I4(std::int32_t v) { return Holding(VT_I4, &VARIANT::lVal, v); }
VARIANT VARIANT::R8(double v) { return Holding(VT_R8, &VARIANT::dblVal, v); }
VARIANT VARIANT::Bool(bool v) { return Holding(VT_BOOL, &VARIANT::boolVal, v); }
VARIANT VARIANT::Bstr(std::string text) { return Holding(VT_BSTR, &VARIANT::bstrVal, std::move(text)); }
VARIANT VARIANT::Error(HRESULT code) { return Holding(VT_ERROR, &VARIANT::scode, code); }
VARIANT VARIANT::Dispatch(IDispatch* obj) { return Holding(VT_DISPATCH, &VARIANT::pdispVal, obj); }

// ---- DispatchBase ----------------------------------------------------------------------------

ULONG DispatchBase::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG DispatchBase::Release()
{
    const ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

// ---- Per-thread initialisation ----------------------------------------------------------------

namespace {

thread_local unsigned t_initCount = 0;

}  // namespace

HRESULT CoInitialize(void* reserved)
{
    if (reserved != nullptr) return E_INVALIDARG;
    ++t_initCount;
    return t_initCount == 1 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_initCount > 0) --t_initCount;
}

bool IsComInitialized() { return t_initCount > 0; }

// ---- Class objects ---------------------------------------------------------------------------

namespace {

// ProgIDs compare without regard to ASCII case.
struct LessNoCase {
    bool operator()(const std::string& a, const std::string& b) const
    {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
        });
    }
};

struct ClassRegistry {
    std::mutex mutex;
    std::map<std::string, ClassFactory, LessNoCase> factories;
};

ClassRegistry& Classes()
{
    static ClassRegistry registry;
    return registry;
}

}  // namespace

void RegisterClassObject(const std::string& progId, ClassFactory factory)
{
    ClassRegistry& reg = Classes();
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (factory)
        reg.factories[progId] = std::move(factory);
    else
        reg.factories.erase(progId);
}

void RevokeClassObject(const std::string& progId)
{
    ClassRegistry& reg = Classes();
    std::lock_guard<std::mutex> lock(reg.mutex);
    reg.factories.erase(progId);
}

HRESULT CreateInstance(const std::string& progId, IDispatch** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsComInitialized()) return CO_E_NOTINITIALIZED;

    ClassFactory factory;
    {
        ClassRegistry& reg = Classes();
        std::lock_guard<std::mutex> lock(reg.mutex);
        auto it = reg.factories.find(progId);
        if (it == reg.factories.end()) return REGDB_E_CLASSNOTREG;
        factory = it->second;  // a copy: the factory runs without the lock held
    }

    IDispatch* obj = nullptr;
    HRESULT hr;
    try {
        hr = factory(&obj);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = CO_E_SERVER_EXEC_FAILURE;
    }
    if (FAILED(hr)) {
        // A failing factory must not hand anything out; drop what it may have left behind.
        if (obj) obj->Release();
        return hr;
    }
    if (!obj) return E_FAIL;  // success without an object is no success for the caller
    *out = obj;
    return hr;
}

// ---- Status texts ----------------------------------------------------------------------------

std::string StatusText(HRESULT hr)
{
    switch (hr) {
    case S_OK: return "The operation completed successfully.";
    case S_FALSE: return "The operation completed; nothing needed to be done.";
    case E_NOTIMPL: return "This operation is not implemented.";
    case E_NOINTERFACE: return "The object does not support this interface.";
    case E_POINTER: return "An invalid pointer was used.";
    case E_FAIL: return "The operation failed for an unspecified reason.";
    case E_OUTOFMEMORY: return "Not enough memory is available to complete this operation.";
    case E_INVALIDARG: return "One or more arguments are not valid.";
    case DISP_E_UNKNOWNINTERFACE: return "The interface identifier is not known.";
    case DISP_E_MEMBERNOTFOUND: return "The object has no member with this identifier.";
    case DISP_E_PARAMNOTFOUND: return "A required argument was not supplied.";
    case DISP_E_TYPEMISMATCH: return "An argument has the wrong type.";
    case DISP_E_EXCEPTION: return "The automation server reported an error.";
    case DISP_E_BADINDEX: return "The index is out of range.";
    case DISP_E_BADPARAMCOUNT: return "The number of arguments is not valid for this member.";
    case CO_E_NOTINITIALIZED: return "The automation layer has not been initialised on this thread.";
    case REGDB_E_CLASSNOTREG: return "The requested application is not registered.";
    case CO_E_SERVER_EXEC_FAILURE: return "The automation server could not be started.";
    default: return std::string();
    }
}

}  // namespace core
