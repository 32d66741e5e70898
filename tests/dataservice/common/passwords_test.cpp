// Password hashes and the short-lived memory of verified pairs.
#include <atomic>
#include <thread>
#include <vector>

#include "dataservice/common/passwords.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(PasswordHash, IsSaltedAndNeverHoldsThePassword) {
    const std::string a = hashPassword("hunter2", 1000), b = hashPassword("hunter2", 1000);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.find("hunter2"), std::string::npos);
    EXPECT_EQ(a.rfind("pbkdf2-sha256$1000$", 0), 0u);
    EXPECT_EQ(passwordIterations(a), 1000);
    EXPECT_EQ(passwordIterations(hashPassword("x")), kDefaultPasswordIterations);
}

TEST(PasswordHash, VerifiesOnlyTheSamePassword) {
    const std::string stored = hashPassword("s\xC3\xBCper secret", 1000);
    EXPECT_TRUE(verifyPassword("s\xC3\xBCper secret", stored));
    EXPECT_FALSE(verifyPassword("s\xC3\xBCper secreT", stored));
    EXPECT_FALSE(verifyPassword("", stored));
    EXPECT_TRUE(verifyPassword("", hashPassword("", 1000)));
}

TEST(PasswordHash, RefusesStoredTextsOfAnyOtherForm) {
    for (const char* bad : {"", "hunter2", "pbkdf2-sha256$1000$zz$00", "pbkdf2-sha256$0$00$00", "md5$1$00$00",
                            "pbkdf2-sha256$1000$$", "pbkdf2-sha256$x$00$00", "pbkdf2-sha256$1000$000$00"})
        EXPECT_FALSE(verifyPassword("hunter2", bad)) << bad;
}

class FakeClock {
public:
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    PasswordVerifier::Clock fn() {
        return [this] { return now; };
    }
};

TEST(PasswordMemory, DerivesOnceForARunOfRequests) {
    FakeClock clock;
    PasswordVerifier v(std::chrono::minutes(5), clock.fn());
    const std::string stored = hashPassword("pw", 1000);
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_EQ(v.derivations(), 1u);
}

TEST(PasswordMemory, NeverRemembersAWrongPasswordOrLendsOneToAnotherName) {
    FakeClock clock;
    PasswordVerifier v(std::chrono::minutes(5), clock.fn());
    const std::string stored = hashPassword("pw", 1000);
    EXPECT_FALSE(v.verify("ann", "wrong", stored));
    EXPECT_FALSE(v.verify("ann", "wrong", stored));
    EXPECT_EQ(v.derivations(), 2u);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_FALSE(v.verify("bob", "pw", hashPassword("other", 1000)));
}

TEST(PasswordMemory, ForgetsAfterItsTimeAndWhenTheStoredHashChanges) {
    FakeClock clock;
    PasswordVerifier v(std::chrono::minutes(5), clock.fn());
    const std::string stored = hashPassword("pw", 1000);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    clock.now += std::chrono::minutes(4);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_EQ(v.derivations(), 1u);
    clock.now += std::chrono::minutes(2);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    EXPECT_EQ(v.derivations(), 2u);
    // The account was made again with another password: the old pair no longer counts.
    EXPECT_FALSE(v.verify("ann", "pw", hashPassword("new", 1000)));
}

// A run longer than the memory's time keeps its pair while it uploads; an account made again
// elsewhere makes the pages forget it.
TEST(PasswordMemory, APairInUseStaysRememberedUntilForgotten) {
    FakeClock clock;
    PasswordVerifier v(std::chrono::minutes(5), clock.fn());
    const std::string stored = hashPassword("pw", 1000);
    ASSERT_TRUE(v.verify("ann", "pw", stored));
    for (int i = 0; i < 6; ++i) {
        clock.now += std::chrono::minutes(4);
        EXPECT_EQ(v.rememberedHash("ann", "pw"), stored) << "after " << 4 * (i + 1) << " minutes";
    }
    EXPECT_TRUE(v.remembered("ann", "pw", stored));
    v.forget("ann", "pw");
    EXPECT_FALSE(v.rememberedHash("ann", "pw"));
    EXPECT_EQ(v.derivations(), 1u);
}

// Each thread keeps its own copy of a verifier's keyed state: two verifiers used in turns from
// several threads each recognise their own remembered pairs, request after request.
TEST(PasswordMemory, VerifiersUsedInTurnsOnSeveralThreadsKeepTheirOwnKeys) {
    FakeClock clock;
    const std::string stored = hashPassword("pw", 1000);
    PasswordVerifier first(std::chrono::minutes(5), clock.fn());
    PasswordVerifier second(std::chrono::minutes(5), clock.fn());
    ASSERT_TRUE(first.verify("ann", "pw", stored));
    ASSERT_TRUE(second.verify("bob", "pw", stored));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (!first.remembered("ann", "pw", stored) || !second.remembered("bob", "pw", stored)) ++wrong;
                if (first.remembered("bob", "pw", stored) || second.remembered("ann", "pw", stored) ||
                    first.remembered("ann", "pW", stored))
                    ++wrong;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(first.derivations() + second.derivations(), 2u);
}

}  // namespace
}  // namespace dataservice::testing
