#include "report/ole_dispatch_driver.h"

#include <utility>

using core::DISPID;
using core::DISPPARAMS;
using core::HRESULT;
using core::IDispatch;
using core::VARIANT;
using core::WORD;

COleDispatchDriver::COleDispatchDriver(const COleDispatchDriver& other) : m_lpDispatch(other.m_lpDispatch)
{
    if (m_lpDispatch) m_lpDispatch->AddRef();
}

COleDispatchDriver::COleDispatchDriver(COleDispatchDriver&& other) noexcept
    : m_lpDispatch(std::exchange(other.m_lpDispatch, nullptr))
{}

COleDispatchDriver& COleDispatchDriver::operator=(const COleDispatchDriver& other)
{
    if (this != &other) {
        // AddRef first: both wrappers may already hold the same object.
        if (other.m_lpDispatch) other.m_lpDispatch->AddRef();
        AttachDispatch(other.m_lpDispatch);
    }
    return *this;
}

COleDispatchDriver& COleDispatchDriver::operator=(COleDispatchDriver&& other) noexcept
{
    if (this != &other) AttachDispatch(std::exchange(other.m_lpDispatch, nullptr));
    return *this;
}

COleDispatchDriver::~COleDispatchDriver() { ReleaseDispatch(); }

BOOL COleDispatchDriver::CreateDispatch(const std::string& progId)
{
    ReleaseDispatch();
    IDispatch* created = nullptr;
    const HRESULT hr = core::CreateInstance(progId, &created);
    if (core::FAILED(hr) || !created) return FALSE;
    m_lpDispatch = created;
    return TRUE;
}

void COleDispatchDriver::AttachDispatch(IDispatch* dispatch)
{
    IDispatch* old = std::exchange(m_lpDispatch, dispatch);
    if (old) old->Release();
}

IDispatch* COleDispatchDriver::DetachDispatch() { return std::exchange(m_lpDispatch, nullptr); }

void COleDispatchDriver::ReleaseDispatch()
{
    if (IDispatch* old = std::exchange(m_lpDispatch, nullptr)) old->Release();
}

VARIANT COleDispatchDriver::InvokeHelper(DISPID id, WORD flags, const DISPPARAMS& args) const
{
    if (!m_lpDispatch) throw COleException(core::E_POINTER);
    VARIANT result;
    core::EXCEPINFO excep;
    const HRESULT hr = m_lpDispatch->Invoke(id, flags, args, &result, &excep);
    if (core::FAILED(hr)) {
        result.Clear();  // whatever the server left there is not handed out
        if (hr == core::DISP_E_EXCEPTION) throw COleDispatchException(excep);
        throw COleException(hr);
    }
    return result;
}

IDispatch* COleDispatchDriver::InvokeForObject(DISPID id, WORD flags, const DISPPARAMS& args) const
{
    VARIANT result = InvokeHelper(id, flags, args);
    if (result.vt != core::VT_DISPATCH) throw COleException(core::DISP_E_TYPEMISMATCH);
    return result.DetachDispatch();
}
