// The GUID text and the evaluation identifier cut from it.
#include <cctype>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "platform/guid/guid.h"
#include "signin/guid_string.h"
#include "tests/support/fakes.h"

namespace {

using signin::CreateGuidString;
using signin::EvaluationId;

std::string TextOf(const platform::Guid& guid) {
    fakes::GuidSource source;
    source.guids.push_back(guid);
    return CreateGuidString(source);
}

TEST(GuidText, IsDataOneTwoThreeAndTheEightBytesInUpperCaseHex) {
    EXPECT_EQ(TextOf({0x1A2B3C4D, 0x5E6F, 0x7A8B, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}}),
              "1A2B3C4D5E6F7A8B0123456789ABCDEF");
}

TEST(GuidText, PadsEveryPieceWithZerosOnTheLeft) {
    EXPECT_EQ(TextOf({0xF00, 0xA, 0x0, {0, 1, 2, 0xF, 0x10, 0, 0, 9}}), "00000F00000A00000001020F10000009");
    EXPECT_EQ(TextOf({}), std::string(32, '0'));
    EXPECT_EQ(TextOf({0xFFFFFFFF, 0xFFFF, 0xFFFF, {255, 255, 255, 255, 255, 255, 255, 255}}), std::string(32, 'F'));
}

TEST(GuidText, IsEmptyWhenNoGuidCanBeMade) {
    fakes::GuidSource source;
    source.status = static_cast<std::int32_t>(0x80004005u);
    EXPECT_EQ(CreateGuidString(source), "");
    source.status = 1;
    EXPECT_EQ(CreateGuidString(source), "");
}

TEST(GuidText, IsEmptyWhenTheSourceThrows) {
    struct Throwing : platform::GuidSource {
        std::int32_t CoCreateGuid(platform::Guid&) override { throw std::runtime_error("no generator"); }
    } source;
    EXPECT_EQ(CreateGuidString(source), "");
}

TEST(EvaluationIdentifier, TakesCharactersThreeToSevenOfTheGuidText) {
    EXPECT_EQ(EvaluationId(TextOf({0x1A2B3C4D, 0, 0, {}})), "Eval2B3C4");
    // Fewer than eight digits in Data1: the five come from the zero-padded text.
    EXPECT_EQ(TextOf({0xF00, 0, 0, {}}).substr(0, 8), "00000F00");
    EXPECT_EQ(EvaluationId(TextOf({0xF00, 0, 0, {}})), "Eval000F0");
}

TEST(EvaluationIdentifier, IsEvalAloneOrShortForShortTexts) {
    EXPECT_EQ(EvaluationId(""), "Eval");
    EXPECT_EQ(EvaluationId("AB"), "Eval");
    EXPECT_EQ(EvaluationId("ABC"), "EvalC");
    EXPECT_EQ(EvaluationId("ABCDEF"), "EvalCDEF");
}

TEST(GuidText, IsThirtyTwoUpperCaseHexDigitsForAnyGuid) {
    std::mt19937 bits(20261209);
    for (int i = 0; i < 200; ++i) {
        platform::Guid guid{static_cast<std::uint32_t>(bits()), static_cast<std::uint16_t>(bits()),
                            static_cast<std::uint16_t>(bits()), {}};
        for (auto& b : guid.Data4) b = static_cast<std::uint8_t>(bits());
        const std::string text = TextOf(guid);
        ASSERT_EQ(text.size(), 32u);
        for (char c : text) EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(c)) && !std::islower(c));
    }
}

}  // namespace
