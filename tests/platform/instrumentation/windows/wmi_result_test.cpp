// The instances of a query over an enumerator of the test's own, standing for a provider that
// hangs: the wait for an instance is bounded, and the time-out ends the enumeration.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/common/errors.h"
#include "platform/instrumentation/windows/wmi_result.h"

namespace {

// Answers every Next with `status` and no instance, noting the wait it was given.
class Enumerator final : public IEnumWbemClassObject {
public:
    explicit Enumerator(HRESULT status) : status_(status) {}
    long lastWait = 0;
    int calls = 0;
    LONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }  // on the test's stack
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Next(LONG wait, ULONG, IWbemClassObject** objects, ULONG* returned) override {
        ++calls;
        lastWait = wait;
        *objects = nullptr;
        *returned = 0;
        return status_;
    }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override { return E_NOTIMPL; }

private:
    HRESULT status_;
};

TEST(WmiResult, AHungProviderFailsOnceWithinTheBoundAndThenTheEnumerationIsOver) {
    Enumerator hung(WBEM_S_TIMEDOUT);
    hung.AddRef();  // the result's own reference
    {
        auto result = platform::instr::makeWmiResult(&hung);
        EXPECT_THROW(result->Next(), platform::PlatformError);
        EXPECT_EQ(hung.lastWait, platform::instr::kNextInstanceMs);
        EXPECT_EQ(result->Next(), nullptr);
        EXPECT_EQ(result->Next(), nullptr);
        EXPECT_EQ(hung.calls, 1);  // no second wait on a provider already given up
        EXPECT_EQ(hung.references, 1);
    }
    EXPECT_EQ(hung.references, 1);
}

TEST(WmiResult, TheEndOfTheInstancesIsNoFailure) {
    Enumerator done(WBEM_S_FALSE);
    done.AddRef();
    auto result = platform::instr::makeWmiResult(&done, 250);
    EXPECT_EQ(result->Next(), nullptr);
    EXPECT_EQ(done.lastWait, 250);
}

}  // namespace
