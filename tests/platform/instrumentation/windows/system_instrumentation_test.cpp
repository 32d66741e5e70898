// The instrumentation backend against the system's own service (Wine's, under Wine): the run's
// seven queries as they are written, instances in order, properties as texts or null; and the
// VARIANT conversion, value by value.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "inventory/texts.h"
#include "platform/common/errors.h"
#include "platform/instrumentation/instrumentation.h"
#include "platform/instrumentation/query.h"

// After the project's headers: the system's macros take some of their names.
#include <windows.h>
#include <oleauto.h>

#include "platform/instrumentation/windows/variant_text.h"

namespace {

using ::testing::HasSubstr;

class Queries : public ::testing::TestWithParam<inventory::CategoryQuery> {
protected:
    std::unique_ptr<platform::Instrumentation> instrumentation = platform::makeSystemInstrumentation();
};

TEST_P(Queries, EveryInstanceGivesEverySelectedPropertyAndRefusesOthers) {
    const auto services = instrumentation->Connect(inventory::kMoniker);
    const auto result = services->ExecQuery(GetParam().query);
    const auto parsed = platform::instr::parseQuery(GetParam().query);
    int instances = 0;
    while (auto instance = result->Next()) {
        ++instances;
        for (const std::string& property : parsed.properties) EXPECT_NO_THROW(instance->Get(property)) << property;
        EXPECT_THROW(instance->Get("NoSuchProperty"), platform::PlatformError);
    }
    // Every machine has one computer system, one BIOS and one operating system.
    const auto category = GetParam().category;
    if (category == inventory::Category::MakeAndModel || category == inventory::Category::Bios ||
        category == inventory::Category::OperatingSystem) {
        EXPECT_EQ(instances, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(TheRunsSeven, Queries, ::testing::ValuesIn(inventory::kCategories),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(Instrumentation, TheOperatingSystemsNameCarriesItsPathsAfterABar) {
    const auto services = platform::makeSystemInstrumentation()->Connect(inventory::kMoniker);
    const auto os = services->ExecQuery("select Name, CSDVersion from win32_OperatingSystem")->Next();
    ASSERT_NE(os, nullptr);
    const auto name = os->Get("Name");
    ASSERT_TRUE(name.has_value());
    EXPECT_THAT(*name, HasSubstr("Windows"));
    EXPECT_THAT(*name, HasSubstr("|"));
}

TEST(Instrumentation, AnotherNamespaceOrABrokenQueryIsAFailure) {
    const auto instrumentation = platform::makeSystemInstrumentation();
    EXPECT_THROW(instrumentation->Connect("winmgmts:\\\\.\\root\\default"), platform::PlatformError);
    const auto services = instrumentation->Connect("WINMGMTS:\\\\.\\ROOT\\CIMV2");
    EXPECT_THROW(
        {
            auto result = services->ExecQuery("select from where");
            while (result->Next()) {
            }
        },
        platform::PlatformError);
}

struct VariantCase {
    const char* name;
    VARIANT (*make)();
    platform::PropertyValue text;
};

std::ostream& operator<<(std::ostream& os, const VariantCase& c) { return os << c.name; }

template <VARTYPE vt, typename F>
VARIANT Make(F fill) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    fill(v);
    return v;
}

const VariantCase kVariants[] = {
    {"Null", [] { return Make<VT_NULL>([](VARIANT&) {}); }, std::nullopt},
    {"Empty", [] { return Make<VT_EMPTY>([](VARIANT&) {}); }, std::nullopt},
    {"Text", [] { return Make<VT_BSTR>([](VARIANT& v) { v.bstrVal = SysAllocString(L"Caf\u00e9 |x"); }); },
     std::string("Caf\xC3\xA9 |x")},
    {"EmptyText", [] { return Make<VT_BSTR>([](VARIANT& v) { v.bstrVal = nullptr; }); }, std::string()},
    {"True", [] { return Make<VT_BOOL>([](VARIANT& v) { v.boolVal = VARIANT_TRUE; }); }, std::string("True")},
    {"False", [] { return Make<VT_BOOL>([](VARIANT& v) { v.boolVal = VARIANT_FALSE; }); }, std::string("False")},
    {"Negative", [] { return Make<VT_I4>([](VARIANT& v) { v.lVal = -42; }); }, std::string("-42")},
    {"Unsigned", [] { return Make<VT_UI4>([](VARIANT& v) { v.ulVal = 4294967295u; }); }, std::string("4294967295")},
    {"Big", [] { return Make<VT_UI8>([](VARIANT& v) { v.ullVal = 17179869184ull; }); }, std::string("17179869184")},
    {"Byte", [] { return Make<VT_UI1>([](VARIANT& v) { v.bVal = 200; }); }, std::string("200")},
    {"Double", [] { return Make<VT_R8>([](VARIANT& v) { v.dblVal = 0.1; }); }, std::string("0.1")},
};

class VariantTexts : public ::testing::TestWithParam<VariantCase> {};

TEST_P(VariantTexts, BecomeTheLinuxBackendsTexts) {
    VARIANT v = GetParam().make();
    EXPECT_EQ(platform::instr::VariantText(v), GetParam().text);
    VariantClear(&v);
}

INSTANTIATE_TEST_SUITE_P(Values, VariantTexts, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VariantText, AnArrayIsNotAText) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    EXPECT_THROW(platform::instr::VariantText(v), platform::PlatformError);
    VariantClear(&v);
}

}  // namespace
