// The journal's text form: one readable line per request that reads back exactly.
#include <random>

#include "dataservice/common/journal_format.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(JournalText, MasksPasswordsWhateverTheKeysCase) {
    EXPECT_THAT(maskPasswords({{"UID", "a"}, {"PWD", "s"}, {"pwd", "t"}, {"PWDX", "u"}}),
                ElementsAre(Pair("UID", "a"), Pair("PWD", "***"), Pair("pwd", "***"), Pair("PWDX", "u")));
}

TEST(JournalText, IsOneReadableLineThatReadsBackExactly) {
    const Params odd = {{"qIS", "a&b=c#d%e+f g"}, {"k=&", "\xC3\x9Cn\xC3\xAF"}, {"", ""},
                        {"bin", std::string("\0\x01\n\t\x7F\xFF\xC3", 7)}};
    const std::string text = encodeParams(odd);
    EXPECT_EQ(text.find_first_of(std::string("\0\n\r\t", 4)), std::string::npos);
    EXPECT_NE(text.find("qIS=a%26b%3Dc#d%25e+f g"), std::string::npos);
    EXPECT_NE(text.find("\xC3\x9Cn\xC3\xAF"), std::string::npos);  // readable, not escaped
    EXPECT_EQ(decodeParams(text), odd);
}

TEST(JournalText, RoundTripsRandomBytes) {
    std::mt19937 random(20240607);
    for (int round = 0; round < 300; ++round) {
        Params params;
        const int n = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < n; ++i) {
            std::string key, value;
            for (int k = static_cast<int>(random() % 6); k > 0; --k) key.push_back(static_cast<char>(random()));
            for (int k = static_cast<int>(random() % 20); k > 0; --k) value.push_back(static_cast<char>(random()));
            params.emplace_back(key, value);
        }
        ASSERT_EQ(decodeParams(encodeParams(params)), params) << round;
    }
}

}  // namespace
}  // namespace dataservice::testing
