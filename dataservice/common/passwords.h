#pragma once
// Salted password hashes (PBKDF2-HMAC-SHA256) and a short-lived memory of verified pairs.
//
// Every upload request of a run carries the password again, and a run can be thousands of
// requests long; deriving the key for each would make the check dominate the request. So a
// successful check is remembered for a few minutes, keyed by the name and an HMAC of the
// password under a secret made fresh for each process: the memory never holds the password.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

struct evp_mac_ctx_st;  // OpenSSL's keyed MAC state

namespace dataservice {

inline constexpr int kDefaultPasswordIterations = 600000;

// "pbkdf2-sha256$<iterations>$<salt, hex>$<derived key, hex>" with a fresh random salt.
std::string hashPassword(std::string_view password, int iterations = kDefaultPasswordIterations);

// Constant-time comparison of the derived key; false for a stored text of any other form.
bool verifyPassword(std::string_view password, std::string_view stored);

// The iteration count a stored hash names, or 0 when it is malformed.
int passwordIterations(std::string_view stored);

// 32 random bytes as 64 lower-case hex digits: session and form tokens.
std::string randomToken();
// SHA-256 of a token, hex: what the database keeps instead of the token.
std::string tokenDigest(std::string_view token);
// Equal texts, compared in time that does not depend on where they differ.
bool constantTimeEquals(std::string_view a, std::string_view b);

class PasswordVerifier {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit PasswordVerifier(std::chrono::seconds remember = std::chrono::minutes(5),
                              Clock clock = &std::chrono::steady_clock::now);

    // True when `password` matches `stored`, the hash on record for `name`. A remembered
    // pair counts only while the record still holds the same hash it was checked against.
    bool verify(std::string_view name, std::string_view password, const std::string& stored);

    // True only when this pair was verified against `stored` a short while ago: no derivation.
    // A pair in use is remembered longer, so a long run never meets a full check mid-way.
    bool remembered(std::string_view name, std::string_view password, const std::string& stored);
    // The hash this pair was verified against a short while ago, or nothing: lets an upload skip
    // reading the account before its transaction, which checks the hash is still on record.
    std::optional<std::string> rememberedHash(std::string_view name, std::string_view password);

    // Drops the memory of this pair: the account it was proven against has changed.
    void forget(std::string_view name, std::string_view password);

    // Costs what a verification costs, for names that have no account, so that the answer's
    // timing does not tell which names exist.
    void burn(std::string_view password, int iterations);

    // Key derivations performed so far (for tests of the memory).
    std::uint64_t derivations() const;

private:
    struct Remembered {
        std::string stored;
        std::chrono::steady_clock::time_point until;
    };
    std::string fingerprint(std::string_view name, std::string_view password) const;

    // HMAC-SHA256 keyed with a secret made for this process; each thread keeps a copy of it.
    std::unique_ptr<evp_mac_ctx_st, void (*)(evp_mac_ctx_st*)> keyed_;
    std::uint64_t id_;  // tells a thread's copy of this verifier's key from another's
    std::chrono::seconds remember_;
    Clock clock_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Remembered> remembered_;
    std::uint64_t derivations_ = 0;
};

}  // namespace dataservice
