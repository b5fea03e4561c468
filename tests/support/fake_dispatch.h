// A recording automation server for the report tests: every Invoke is logged with its id, kind
// and arguments; objects count their references without deleting themselves, so a missing or an
// extra Release shows up as a count instead of a leak or a crash.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/automation.h"

namespace fake {

using namespace core;

struct Call {
    std::string object;  // name of the object that was called
    DISPID id;
    WORD flags;
    DISPPARAMS args;
};

class Server;

class Object : public IDispatch {
public:
    Object(Server& server, std::string name) : name(std::move(name)), m_server(server) {}
    ~Object() override = default;

    ULONG AddRef() override { return ++refs; }
    ULONG Release() override;
    HRESULT Invoke(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result, EXCEPINFO* excep) override;

    int refs = 1;
    std::string name;

private:
    Server& m_server;
};

// What the next calls answer.
struct Answer {
    HRESULT hr = S_OK;
    bool object = false;              // the result is a new object
    bool nullObject = false;          // the result is VT_DISPATCH holding nullptr
    VARIANT value;                    // the result when it is no object
    EXCEPINFO excep;                  // filled in when hr is DISP_E_EXCEPTION
    bool objectAlongFailure = false;  // leaves an object in the result although the call fails
};

class Server {
public:
    // Objects stay allocated until the server goes, whatever their count says.
    Object* NewObject(const std::string& name)
    {
        objects.push_back(std::make_unique<Object>(*this, name));
        return objects.back().get();
    }

    // Every object has been released exactly as often as it was referenced.
    void ExpectBalanced() const
    {
        for (const auto& o : objects) EXPECT_EQ(o->refs, 0) << "references left on " << o->name;
        EXPECT_EQ(overReleases, 0) << "objects released below zero";
    }

    std::vector<Call> calls;
    std::vector<std::unique_ptr<Object>> objects;
    Answer answer;
    int overReleases = 0;
};

inline ULONG Object::Release()
{
    if (refs <= 0) {
        ++m_server.overReleases;
        return 0;
    }
    return --refs;
}

inline HRESULT Object::Invoke(DISPID id, WORD flags, const DISPPARAMS& args, VARIANT* result, EXCEPINFO* excep)
{
    m_server.calls.push_back({name, id, flags, args});
    const Answer& a = m_server.answer;
    if (a.objectAlongFailure && result) *result = VARIANT::Dispatch(m_server.NewObject(name + ".partial"));
    if (FAILED(a.hr)) {
        if (a.hr == DISP_E_EXCEPTION && excep) *excep = a.excep;
        return a.hr;
    }
    if (result) {
        if (a.object)
            *result = VARIANT::Dispatch(m_server.NewObject(name + ".result"));
        else if (a.nullObject)
            *result = VARIANT::Dispatch(nullptr);
        else
            *result = a.value;
    }
    return a.hr;
}

// Equal type and the value that belongs to the type.
inline ::testing::AssertionResult SameVariant(const VARIANT& expected, const VARIANT& actual)
{
    if (expected.vt != actual.vt)
        return ::testing::AssertionFailure() << "type " << actual.vt << ", expected " << expected.vt;
    bool same = true;
    switch (expected.vt) {
    case VT_I2: same = expected.iVal == actual.iVal; break;
    case VT_I4: same = expected.lVal == actual.lVal; break;
    case VT_R8: same = expected.dblVal == actual.dblVal; break;
    case VT_BOOL: same = expected.boolVal == actual.boolVal; break;
    case VT_BSTR: same = expected.bstrVal == actual.bstrVal; break;
    case VT_ERROR: same = expected.scode == actual.scode; break;
    case VT_DISPATCH: same = expected.pdispVal == actual.pdispVal; break;
    default: break;
    }
    if (!same) return ::testing::AssertionFailure() << "value differs (type " << actual.vt << ")";
    return ::testing::AssertionSuccess();
}

}  // namespace fake
