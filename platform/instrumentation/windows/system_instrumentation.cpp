// The instrumentation service through COM: the local ROOT\CIMV2 namespace, each query sent as
// WQL as it is written, instances read in the order the service gives them. Values become the
// texts the Linux backend gives for the same columns: text as UTF-8, numbers in decimal, null as
// null.
#include <cstdio>
#include <memory>
#include <string>

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include "platform/common/errors.h"
#include "platform/common/windows/wide.h"
#include "platform/instrumentation/instrumentation.h"
#include "platform/instrumentation/query.h"
#include "platform/instrumentation/windows/variant_text.h"
#include "platform/instrumentation/windows/wmi_result.h"

namespace platform {
namespace {

// A COM interface pointer released on every way out.
template <typename T>
class Com {
public:
    Com() = default;
    explicit Com(T* p) : p_(p) {}
    ~Com() { reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    Com(Com&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** put() {
        reset();
        return &p_;
    }
    T* release() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    void reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const std::string& text) : b_(SysAllocString(win::Widen(text).c_str())) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return b_; }

private:
    BSTR b_;
};

void Check(HRESULT status, const char* what) {
    if (FAILED(status)) throw PlatformError(std::string(what) + " failed: " + win::Hex(static_cast<unsigned long>(status)));
}

// COM for this thread, for as long as the process lives.
void InitialiseCom() {
    static const HRESULT status = [] {
        HRESULT s = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(s) && s != RPC_E_CHANGED_MODE) return s;
        // Default authentication, impersonation for the calls to the service; already set is fine.
        const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                                      RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        if (FAILED(security) && security != RPC_E_TOO_LATE) return security;
        return S_OK;
    }();
    Check(status, "starting COM");
}

class WmiInstance final : public Instance {
public:
    explicit WmiInstance(IWbemClassObject* object) : object_(object) {}
    PropertyValue Get(const std::string& property) const override {
        VARIANT value;
        VariantInit(&value);
        const HRESULT status = object_->Get(win::Widen(property).c_str(), 0, &value, nullptr, nullptr);
        if (status == static_cast<HRESULT>(WBEM_E_NOT_FOUND)) throw PlatformError("no property " + property);
        Check(status, "reading a property");
        PropertyValue text;
        try {
            text = instr::VariantText(value);
        } catch (...) {
            VariantClear(&value);
            throw;
        }
        VariantClear(&value);
        return text;
    }

private:
    Com<IWbemClassObject> object_;
};

class WmiResult final : public QueryResult {
public:
    WmiResult(IEnumWbemClassObject* instances, long waitMs) : instances_(instances), waitMs_(waitMs) {}
    std::unique_ptr<Instance> Next() override {
        if (!instances_.get()) return nullptr;
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        const HRESULT status = instances_->Next(waitMs_, 1, &object, &returned);
        if (status == WBEM_S_TIMEDOUT && returned == 0) {
            // The provider may still answer later; asking again would only wait again.
            instances_.reset();
            throw PlatformError("no instance came within " + std::to_string(waitMs_) + " ms");
        }
        Check(status, "moving to the next instance");
        if (status == WBEM_S_FALSE || returned == 0) return nullptr;
        return std::make_unique<WmiInstance>(object);
    }

private:
    Com<IEnumWbemClassObject> instances_;
    long waitMs_;
};

class WmiServices final : public InstrumentationServices {
public:
    explicit WmiServices(IWbemServices* services) : services_(services) {}
    std::unique_ptr<QueryResult> ExecQuery(const std::string& query) override {
        Com<IEnumWbemClassObject> instances;
        Check(services_->ExecQuery(Bstr("WQL"), Bstr(query),
                                   WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, instances.put()),
              "the query");
        return instr::makeWmiResult(instances.release());
    }

private:
    Com<IWbemServices> services_;
};

class WindowsInstrumentation final : public Instrumentation {
public:
    std::unique_ptr<InstrumentationServices> Connect(const std::string& moniker) override {
        if (!instr::isLocalCimv2Moniker(moniker)) throw PlatformError("Invalid namespace: " + moniker);
        InitialiseCom();
        Com<IWbemLocator> locator;
        Check(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               reinterpret_cast<void**>(locator.put())),
              "making the locator");
        IWbemServices* services = nullptr;
        Check(locator->ConnectServer(Bstr("ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services),
              "connecting to ROOT\\CIMV2");
        Com<IWbemServices> held(services);
        Check(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
              "setting the proxy's security");
        return std::make_unique<WmiServices>(held.release());
    }
};

}  // namespace

std::unique_ptr<QueryResult> instr::makeWmiResult(IEnumWbemClassObject* instances, long waitMs) {
    return std::make_unique<WmiResult>(instances, waitMs);
}

std::unique_ptr<Instrumentation> makeSystemInstrumentation() { return std::make_unique<WindowsInstrumentation>(); }

}  // namespace platform
