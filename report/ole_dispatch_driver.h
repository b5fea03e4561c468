// A wrapper that owns one reference of an automation object and calls it by dispatch id.
#pragma once
#include <concepts>
#include <string>

#include "core/automation.h"
#include "core/winapi.h"
#include "report/automation_exception.h"

class COleDispatchDriver {
public:
    COleDispatchDriver() = default;
    // Takes over the reference: no AddRef here, one Release when this wrapper lets go. Not
    // explicit, so an object a call returns goes straight into a wrapper.
    COleDispatchDriver(core::IDispatch* dispatch) : m_lpDispatch(dispatch) {}
    // Copies hold the same object, each with a reference of its own.
    COleDispatchDriver(const COleDispatchDriver& other);
    COleDispatchDriver(COleDispatchDriver&& other) noexcept;
    COleDispatchDriver& operator=(const COleDispatchDriver& other);
    COleDispatchDriver& operator=(COleDispatchDriver&& other) noexcept;
    ~COleDispatchDriver();

    // Creates a new object of the ProgID (releasing the one held before). FALSE when it cannot be
    // created; never throws an automation exception.
    BOOL CreateDispatch(const std::string& progId);
    // Puts a reference in place of the one held (taking it over; the old one is released).
    void AttachDispatch(core::IDispatch* dispatch);
    // Gives the held reference to the caller; the wrapper is empty afterwards.
    core::IDispatch* DetachDispatch();
    void ReleaseDispatch();

    // One Invoke call; returns its result. Throws COleDispatchException when the server
    // describes a failure (DISP_E_EXCEPTION), COleException for any other failing status (also
    // for a call on an empty wrapper).
    core::VARIANT InvokeHelper(core::DISPID id, core::WORD flags, const core::DISPPARAMS& args) const;

    template <std::convertible_to<core::VARIANT>... Args>
    core::VARIANT InvokeHelper(core::DISPID id, core::WORD flags, const Args&... args) const
    {
        return InvokeHelper(id, flags, core::DISPPARAMS{core::VARIANT(args)...});
    }

    // As InvokeHelper, for a member whose result is an object: returns that reference, which
    // the caller owns (nullptr when the server returned a null object). A result that is no
    // object is a type mismatch (COleException).
    core::IDispatch* InvokeForObject(core::DISPID id, core::WORD flags, const core::DISPPARAMS& args) const;

    core::IDispatch* m_lpDispatch = nullptr;
};
