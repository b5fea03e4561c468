// The automation layer itself: values and their object references, reference-counted objects,
// per-thread initialisation, the class registry and the status texts.
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/automation.h"
#include "tests/support/fake_dispatch.h"

using namespace core;

namespace {

// Runs fn on a thread of its own (a thread that has not initialised anything yet).
template <typename Fn>
void OnFreshThread(Fn fn)
{
    std::thread t(fn);
    t.join();
}

}  // namespace

// ---- VARIANT ---------------------------------------------------------------------------------

TEST(Variant, MakersSetTypeAndValue)
{
    EXPECT_EQ(VARIANT::I2(-7).vt, VT_I2);
    EXPECT_EQ(VARIANT::I2(-7).iVal, -7);
    EXPECT_EQ(VARIANT::I4(150000).vt, VT_I4);
    EXPECT_EQ(VARIANT::I4(150000).lVal, 150000);
    EXPECT_EQ(VARIANT::R8(2.5).vt, VT_R8);
    EXPECT_EQ(VARIANT::R8(2.5).dblVal, 2.5);
    EXPECT_EQ(VARIANT::Bool(true).vt, VT_BOOL);
    EXPECT_TRUE(VARIANT::Bool(true).boolVal);
    EXPECT_EQ(VARIANT::Bstr("报表 A1").vt, VT_BSTR);
    EXPECT_EQ(VARIANT::Bstr("报表 A1").bstrVal, "报表 A1");
    EXPECT_EQ(VARIANT::Error(E_FAIL).scode, E_FAIL);
    EXPECT_FALSE(VARIANT::Error(E_FAIL).IsMissing());
    VARIANT missing = VARIANT::Missing();
    EXPECT_EQ(missing.vt, VT_ERROR);
    EXPECT_EQ(missing.scode, DISP_E_PARAMNOTFOUND);
    EXPECT_TRUE(missing.IsMissing());
    EXPECT_EQ(VARIANT().vt, VT_EMPTY);
}

class VariantRefs : public ::testing::Test {
protected:
    void TearDown() override { server.ExpectBalanced(); }
    fake::Server server;
};

TEST_F(VariantRefs, DispatchTakesOverAndDestructionReleases)
{
    fake::Object* obj = server.NewObject("obj");
    {
        VARIANT v = VARIANT::Dispatch(obj);
        EXPECT_EQ(v.vt, VT_DISPATCH);
        EXPECT_EQ(v.pdispVal, obj);
        EXPECT_EQ(obj->refs, 1);  // no AddRef of its own
    }
    EXPECT_EQ(obj->refs, 0);
}

TEST_F(VariantRefs, CopiesHoldAReferenceEach)
{
    fake::Object* obj = server.NewObject("obj");
    VARIANT a = VARIANT::Dispatch(obj);
    {
        VARIANT b(a);
        EXPECT_EQ(obj->refs, 2);
        VARIANT c;
        c = b;
        EXPECT_EQ(obj->refs, 3);
        EXPECT_EQ(c.pdispVal, obj);
    }
    EXPECT_EQ(obj->refs, 1);
    a.Clear();
    EXPECT_EQ(a.vt, VT_EMPTY);
    EXPECT_EQ(a.pdispVal, nullptr);
    EXPECT_EQ(obj->refs, 0);
    a.Clear();  // clearing an empty value releases nothing more
}

TEST_F(VariantRefs, MovesTransferTheReference)
{
    fake::Object* obj = server.NewObject("obj");
    VARIANT a = VARIANT::Dispatch(obj);
    VARIANT b(std::move(a));
    EXPECT_EQ(obj->refs, 1);
    EXPECT_EQ(b.pdispVal, obj);
    EXPECT_EQ(a.vt, VT_EMPTY);  // NOLINT(bugprone-use-after-move): a moved-from value is empty
    EXPECT_EQ(a.pdispVal, nullptr);
    VARIANT c = VARIANT::I4(3);
    c = std::move(b);
    EXPECT_EQ(obj->refs, 1);
    EXPECT_EQ(c.vt, VT_DISPATCH);
}

TEST_F(VariantRefs, AssignmentReleasesTheOldObjectAndSurvivesSelfAssignment)
{
    fake::Object* first = server.NewObject("first");
    fake::Object* second = server.NewObject("second");
    VARIANT a = VARIANT::Dispatch(first);
    VARIANT b = VARIANT::Dispatch(second);
    a = b;
    EXPECT_EQ(first->refs, 0);
    EXPECT_EQ(second->refs, 2);
    a = a;  // NOLINT: self-assignment must not drop the only reference
    EXPECT_EQ(second->refs, 2);
    EXPECT_EQ(a.pdispVal, second);
    a = VARIANT::Bstr("text");
    EXPECT_EQ(second->refs, 1);
    EXPECT_EQ(a.pdispVal, nullptr);
    // Assigning a copy of the object it already holds keeps the count.
    VARIANT c(b);
    b = c;
    EXPECT_EQ(second->refs, 2);
}

TEST_F(VariantRefs, DetachDispatchHandsTheReferenceOver)
{
    fake::Object* obj = server.NewObject("obj");
    VARIANT v = VARIANT::Dispatch(obj);
    IDispatch* got = v.DetachDispatch();
    EXPECT_EQ(got, obj);
    EXPECT_EQ(obj->refs, 1);
    EXPECT_EQ(v.vt, VT_EMPTY);
    EXPECT_EQ(v.DetachDispatch(), nullptr);
    got->Release();
    VARIANT text = VARIANT::Bstr("x");
    EXPECT_EQ(text.DetachDispatch(), nullptr);
    EXPECT_EQ(text.vt, VT_BSTR);  // a value without an object is left alone
}

TEST_F(VariantRefs, NullDispatchIsSafeToCopyAndClear)
{
    VARIANT v = VARIANT::Dispatch(nullptr);
    VARIANT c(v);
    c = v;
    EXPECT_EQ(c.vt, VT_DISPATCH);
    EXPECT_EQ(c.DetachDispatch(), nullptr);
}

namespace {

// An object that owns a value of its own, gone with its last reference.
class Holder : public DispatchBase {
public:
    explicit Holder(VARIANT value) : kept(std::move(value)) {}
    HRESULT Invoke(DISPID, WORD, const DISPPARAMS&, VARIANT*, EXCEPINFO*) override { return E_NOTIMPL; }
    VARIANT kept;
};

}  // namespace

TEST_F(VariantRefs, AssigningAValueOwnedByTheObjectItReplacesTakesTheValue)
{
    fake::Object* inner = server.NewObject("inner");
    auto* holder = new Holder(VARIANT::Dispatch(inner));
    VARIANT a = VARIANT::Dispatch(holder);  // the holder's only reference
    a = holder->kept;                       // dropping the holder also drops the value assigned
    EXPECT_EQ(a.vt, VT_DISPATCH);
    EXPECT_EQ(a.pdispVal, inner);
    EXPECT_EQ(inner->refs, 1);
    VARIANT text = VARIANT::Dispatch(new Holder(VARIANT::Bstr("kept text")));
    text = static_cast<Holder*>(text.pdispVal)->kept;
    EXPECT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(text.bstrVal, "kept text");
}

// ---- DispatchBase ----------------------------------------------------------------------------

namespace {

class Counted : public DispatchBase {
public:
    explicit Counted(std::atomic<int>& deaths) : m_deaths(deaths) {}
    ~Counted() override { ++m_deaths; }
    HRESULT Invoke(DISPID, WORD, const DISPPARAMS&, VARIANT*, EXCEPINFO*) override { return E_NOTIMPL; }

private:
    std::atomic<int>& m_deaths;
};

}  // namespace

TEST(DispatchBase, StartsAtOneAndDeletesAtZero)
{
    std::atomic<int> deaths{0};
    IDispatch* obj = new Counted(deaths);
    EXPECT_EQ(obj->AddRef(), 2u);
    EXPECT_EQ(obj->Release(), 1u);
    EXPECT_EQ(deaths.load(), 0);
    EXPECT_EQ(obj->Release(), 0u);
    EXPECT_EQ(deaths.load(), 1);
}

TEST(DispatchBase, ConcurrentReferencesDeleteExactlyOnce)
{
    std::atomic<int> deaths{0};
    IDispatch* obj = new Counted(deaths);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([obj] {
            for (int i = 0; i < 20000; ++i) {
                obj->AddRef();
                obj->Release();
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(deaths.load(), 0);
    obj->Release();
    EXPECT_EQ(deaths.load(), 1);
}

// ---- Per-thread initialisation ----------------------------------------------------------------

TEST(CoInitialize, FirstCallOkLaterCallsFalseAndUninitializeUndoesOne)
{
    OnFreshThread([] {
        EXPECT_FALSE(IsComInitialized());
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_TRUE(IsComInitialized());
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        EXPECT_TRUE(IsComInitialized());
        CoUninitialize();
        EXPECT_FALSE(IsComInitialized());
        CoUninitialize();  // one too many does not go below zero
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        CoUninitialize();
    });
}

TEST(CoInitialize, ReservedArgumentIsRejectedAndNotCounted)
{
    OnFreshThread([] {
        int reserved = 0;
        EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
        EXPECT_FALSE(IsComInitialized());
        EXPECT_EQ(CoInitialize(nullptr), S_OK);
        EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        EXPECT_FALSE(IsComInitialized());
    });
}

TEST(CoInitialize, ThreadsCountSeparately)
{
    OnFreshThread([] {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        HRESULT other = E_FAIL;
        bool otherSawInit = true;
        OnFreshThread([&] {
            otherSawInit = IsComInitialized();
            other = CoInitialize(nullptr);
            CoUninitialize();
        });
        EXPECT_FALSE(otherSawInit);
        EXPECT_EQ(other, S_OK);           // its own first call
        EXPECT_TRUE(IsComInitialized());  // the other thread's uninitialise did not touch ours
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
}

// ---- Class registry --------------------------------------------------------------------------

class ClassRegistry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override
    {
        RevokeClassObject(kProgId);
        CoUninitialize();
        server.ExpectBalanced();
    }
    static constexpr const char* kProgId = "QelTest.Registry";
    fake::Server server;
};

TEST_F(ClassRegistry, CreatesFromTheRegisteredFactoryUntilRevoked)
{
    int made = 0;
    RegisterClassObject(kProgId, [&](IDispatch** out) {
        ++made;
        *out = server.NewObject("made");
        return S_OK;
    });
    IDispatch* obj = nullptr;
    ASSERT_EQ(CreateInstance(kProgId, &obj), S_OK);
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(static_cast<fake::Object*>(obj)->refs, 1);
    obj->Release();

    // ProgIDs are not case-sensitive.
    ASSERT_EQ(CreateInstance("qeltest.REGISTRY", &obj), S_OK);
    obj->Release();

    RevokeClassObject(kProgId);
    obj = reinterpret_cast<IDispatch*>(0x1);
    EXPECT_EQ(CreateInstance(kProgId, &obj), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(made, 2);
}

TEST_F(ClassRegistry, UnknownProgIdAndMissingOutput)
{
    IDispatch* obj = reinterpret_cast<IDispatch*>(0x1);
    EXPECT_EQ(CreateInstance("QelTest.NobodyRegisteredThis", &obj), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(CreateInstance(kProgId, nullptr), E_POINTER);
}

TEST_F(ClassRegistry, NotInitialisedOnTheCallingThread)
{
    RegisterClassObject(kProgId, [&](IDispatch** out) {
        *out = server.NewObject("never");
        return S_OK;
    });
    HRESULT hr = S_OK;
    IDispatch* obj = reinterpret_cast<IDispatch*>(0x1);
    OnFreshThread([&] { hr = CreateInstance(kProgId, &obj); });
    EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
    EXPECT_EQ(obj, nullptr);
    EXPECT_TRUE(server.objects.empty());
}

TEST_F(ClassRegistry, FactoryFailuresReachTheCallerWithNothingLeaked)
{
    struct Case {
        const char* name;
        HRESULT factoryResult;
        bool leavesObject;
        bool throws;
        HRESULT expected;
    };
    const Case cases[] = {
        {"failure passes through", CO_E_SERVER_EXEC_FAILURE, false, false, CO_E_SERVER_EXEC_FAILURE},
        {"failure with an object left behind", E_OUTOFMEMORY, true, false, E_OUTOFMEMORY},
        {"success without an object", S_OK, false, false, E_FAIL},
        {"factory that throws", S_OK, false, true, CO_E_SERVER_EXEC_FAILURE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegisterClassObject(kProgId, [&](IDispatch** out) -> HRESULT {
            if (c.throws) throw std::runtime_error("server start failed");
            if (c.leavesObject) *out = server.NewObject(c.name);
            return c.factoryResult;
        });
        IDispatch* obj = reinterpret_cast<IDispatch*>(0x1);
        EXPECT_EQ(CreateInstance(kProgId, &obj), c.expected);
        EXPECT_EQ(obj, nullptr);
    }
}

TEST_F(ClassRegistry, ConcurrentRegistrationAndCreation)
{
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([t, &answered] {
            const std::string id = "QelTest.Concurrent" + std::to_string(t % 2);
            CoInitialize(nullptr);
            for (int i = 0; i < 500; ++i) {
                if (t < 2) {
                    RegisterClassObject(id, [](IDispatch** out) {
                        *out = nullptr;
                        return E_NOTIMPL;
                    });
                } else {
                    IDispatch* obj = nullptr;
                    HRESULT hr = CreateInstance(id, &obj);
                    if (hr == E_NOTIMPL || hr == REGDB_E_CLASSNOTREG) ++answered;
                    EXPECT_EQ(obj, nullptr);
                }
            }
            CoUninitialize();
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(answered.load(), 4 * 500);  // every call got the factory's or the not-registered answer
    RevokeClassObject("QelTest.Concurrent0");
    RevokeClassObject("QelTest.Concurrent1");
}

// ---- Status texts ----------------------------------------------------------------------------

TEST(StatusText, EveryKnownCodeHasItsOwnTextAndUnknownCodesNone)
{
    const HRESULT known[] = {S_OK,
                             S_FALSE,
                             E_NOTIMPL,
                             E_NOINTERFACE,
                             E_POINTER,
                             E_FAIL,
                             E_OUTOFMEMORY,
                             E_INVALIDARG,
                             DISP_E_UNKNOWNINTERFACE,
                             DISP_E_MEMBERNOTFOUND,
                             DISP_E_PARAMNOTFOUND,
                             DISP_E_TYPEMISMATCH,
                             DISP_E_EXCEPTION,
                             DISP_E_BADINDEX,
                             DISP_E_BADPARAMCOUNT,
                             CO_E_NOTINITIALIZED,
                             REGDB_E_CLASSNOTREG,
                             CO_E_SERVER_EXEC_FAILURE};
    std::set<std::string> texts;
    for (HRESULT hr : known) {
        const std::string text = StatusText(hr);
        EXPECT_FALSE(text.empty()) << std::hex << hr;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(known));
    EXPECT_EQ(StatusText(static_cast<HRESULT>(0x80041234)), "");
    EXPECT_EQ(StatusText(42), "");
}
