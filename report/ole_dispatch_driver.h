// A wrapper that owns one reference of an automation object and calls it by dispatch id.
#pragma once
#include <string>
#include <type_traits>

#include "core/automation.h"
#include "core/winapi.h"
#include "report/automation_exception.h"

class COleDispatchDriver {
public:
    COleDispatchDriver() = default;
    // Takes over the reference: no AddRef here, one Release when this wrapper lets go. Not
    // explicit, so an object a call returns goes straight into a wrapper.
    COleDispatchDriver(platform::IDispatch* dispatch) : m_lpDispatch(dispatch) {}
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
    void AttachDispatch(platform::IDispatch* dispatch);
    // Gives the held reference to the caller; the wrapper is empty afterwards.
    platform::IDispatch* DetachDispatch();
    void ReleaseDispatch();

    // One Invoke call; returns its result. Throws COleDispatchException when the server
    // describes a failure (DISP_E_EXCEPTION), COleException for any other failing status (also
    // for a call on an empty wrapper).
    platform::VARIANT InvokeHelper(platform::DISPID id, platform::WORD flags, const platform::DISPPARAMS& args) const;

    template <typename... Args>
        requires(std::is_convertible_v<Args, platform::VARIANT> && ...)
    platform::VARIANT InvokeHelper(platform::DISPID id, platform::WORD flags, const Args&... args) const
    {
        return InvokeHelper(id, flags, platform::DISPPARAMS{platform::VARIANT(args)...});
    }

    // As InvokeHelper, for a member whose result is an object: returns that reference, which
    // the caller owns (nullptr when the server returned a null object). A result that is no
    // object is a type mismatch (COleException).
    platform::IDispatch* InvokeForObject(platform::DISPID id, platform::WORD flags,
                                         const platform::DISPPARAMS& args) const;

    platform::IDispatch* m_lpDispatch = nullptr;
};

// Argument values.
// The value of a left-out optional argument (VT_ERROR holding DISP_E_PARAMNOTFOUND).
inline platform::VARIANT VariantMissing() { return platform::VARIANT::Missing(); }
// A text argument (VT_BSTR) from the program's UTF-8 text, kept as it is.
inline platform::VARIANT VariantText(const std::string& text) { return platform::VARIANT::Bstr(text); }
inline platform::VARIANT VariantLong(std::int32_t value) { return platform::VARIANT::I4(value); }
inline platform::VARIANT VariantShort(std::int16_t value) { return platform::VARIANT::I2(value); }
inline platform::VARIANT VariantBool(bool value) { return platform::VARIANT::Bool(value); }
