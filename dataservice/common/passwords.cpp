#include "dataservice/common/passwords.h"
#include "platform/common/text.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace dataservice {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kMaxRemembered = 4096;

std::string toHex(const unsigned char* data, std::size_t n) {
    return text::ToHex(std::string_view(reinterpret_cast<const char*>(data), n));
}

bool fromHex(std::string_view hex, std::vector<unsigned char>& out) {
    if (hex.size() % 2 != 0) return false;
    out.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const auto byte = text::ParseWhole<unsigned char>(hex.substr(i, 2), 16);
        if (!byte) return false;
        out.push_back(*byte);
    }
    return true;
}

std::vector<unsigned char> derive(std::string_view password, const std::vector<unsigned char>& salt,
                                  int iterations, std::size_t length) {
    std::vector<unsigned char> key(length);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(key.size()), key.data()) != 1)
        throw std::runtime_error("key derivation failed");
    return key;
}

struct Parsed {
    int iterations = 0;
    std::vector<unsigned char> salt, key;
};

bool parse(std::string_view stored, Parsed& p) {
    const std::size_t a = stored.find('$');
    if (a == std::string_view::npos || stored.substr(0, a) != kScheme) return false;
    const std::size_t b = stored.find('$', a + 1);
    if (b == std::string_view::npos) return false;
    const std::size_t c = stored.find('$', b + 1);
    if (c == std::string_view::npos) return false;
    const std::string_view count = stored.substr(a + 1, b - a - 1);
    const auto n = count.size() > 9 ? std::nullopt : text::ParseWhole<int>(count);
    if (!n || *n < 1) return false;
    p.iterations = *n;
    return fromHex(stored.substr(b + 1, c - b - 1), p.salt) && fromHex(stored.substr(c + 1), p.key) &&
           !p.salt.empty() && !p.key.empty();
}

}  // namespace

std::string hashPassword(std::string_view password, int iterations) {
    if (iterations < 1) throw std::invalid_argument("iteration count must be positive");
    std::vector<unsigned char> salt(kSaltBytes);
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1)
        throw std::runtime_error("no random salt available");
    const auto key = derive(password, salt, iterations, kKeyBytes);
    return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + toHex(salt.data(), salt.size()) +
           "$" + toHex(key.data(), key.size());
}

bool verifyPassword(std::string_view password, std::string_view stored) {
    Parsed p;
    if (!parse(stored, p)) return false;
    const auto key = derive(password, p.salt, p.iterations, p.key.size());
    return CRYPTO_memcmp(key.data(), p.key.data(), key.size()) == 0;
}

int passwordIterations(std::string_view stored) {
    Parsed p;
    return parse(stored, p) ? p.iterations : 0;
}

std::string randomToken() {
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random token available");
    return toHex(bytes, sizeof bytes);
}

std::string tokenDigest(std::string_view token) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(token.data(), token.size(), digest, &len, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("digest failed");
    return toHex(digest, len);
}

bool constantTimeEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

PasswordVerifier::PasswordVerifier(std::chrono::seconds remember, Clock clock)
    : keyed_(nullptr, &EVP_MAC_CTX_free), remember_(remember), clock_(std::move(clock)) {
    static std::atomic<std::uint64_t> verifiers{0};
    id_ = ++verifiers;
    unsigned char secret[32];
    if (RAND_bytes(secret, sizeof secret) != 1) throw std::runtime_error("no random secret available");
    EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (hmac) keyed_.reset(EVP_MAC_CTX_new(hmac));
    EVP_MAC_free(hmac);
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    const bool keyed = keyed_ && EVP_MAC_init(keyed_.get(), secret, sizeof secret, params) == 1;
    OPENSSL_cleanse(secret, sizeof secret);
    if (!keyed) throw std::runtime_error("HMAC is not available");
}

std::string PasswordVerifier::fingerprint(std::string_view name, std::string_view password) const {
    // Name, a separator that cannot be confused with a length, then the password. Keying once
    // spares each request the key schedule and the lookups; each thread copies the keyed state
    // once and then only resets its copy to the key, where a copy per request would cost a
    // dozen allocations.
    struct Copy {
        std::uint64_t of = 0;
        std::unique_ptr<EVP_MAC_CTX, void (*)(EVP_MAC_CTX*)> mac{nullptr, &EVP_MAC_CTX_free};
    };
    thread_local Copy copy;
    if (copy.of != id_ || !copy.mac) {
        copy.mac.reset(EVP_MAC_CTX_dup(keyed_.get()));
        copy.of = copy.mac ? id_ : 0;
    } else if (EVP_MAC_init(copy.mac.get(), nullptr, 0, nullptr) != 1) {
        copy.of = 0;
        throw std::runtime_error("HMAC failed");
    }
    EVP_MAC_CTX* mac = copy.mac.get();
    const std::string length = std::to_string(name.size()) + ":";
    unsigned char out[EVP_MAX_MD_SIZE];
    std::size_t len = 0;
    if (!mac || EVP_MAC_update(mac, reinterpret_cast<const unsigned char*>(length.data()), length.size()) != 1 ||
        EVP_MAC_update(mac, reinterpret_cast<const unsigned char*>(name.data()), name.size()) != 1 ||
        EVP_MAC_update(mac, reinterpret_cast<const unsigned char*>(password.data()), password.size()) != 1 ||
        EVP_MAC_final(mac, out, &len, sizeof out) != 1) {
        copy.of = 0;  // its state is unknown now: copied afresh next time
        throw std::runtime_error("HMAC failed");
    }
    return std::string(name) + '\0' + std::string(reinterpret_cast<const char*>(out), len);
}

bool PasswordVerifier::verify(std::string_view name, std::string_view password, const std::string& stored) {
    const std::string key = fingerprint(name, password);
    const auto now = clock_();
    {
        std::lock_guard lock(mutex_);
        const auto it = remembered_.find(key);
        if (it != remembered_.end()) {
            if (it->second.until > now && it->second.stored == stored) return true;
            remembered_.erase(it);
        }
        ++derivations_;
    }
    // The slow part runs outside the lock, so other connections are not held up.
    if (!verifyPassword(password, stored)) return false;
    std::lock_guard lock(mutex_);
    if (remembered_.size() >= kMaxRemembered) {
        std::erase_if(remembered_, [&](const auto& e) { return e.second.until <= now; });
        if (remembered_.size() >= kMaxRemembered) remembered_.clear();
    }
    remembered_[key] = Remembered{stored, now + remember_};
    return true;
}

bool PasswordVerifier::remembered(std::string_view name, std::string_view password, const std::string& stored) {
    const std::string key = fingerprint(name, password);
    const auto now = clock_();
    std::lock_guard lock(mutex_);
    const auto it = remembered_.find(key);
    if (it == remembered_.end() || it->second.until <= now || it->second.stored != stored) return false;
    it->second.until = now + remember_;
    return true;
}

std::optional<std::string> PasswordVerifier::rememberedHash(std::string_view name, std::string_view password) {
    const std::string key = fingerprint(name, password);
    const auto now = clock_();
    std::lock_guard lock(mutex_);
    const auto it = remembered_.find(key);
    if (it == remembered_.end() || it->second.until <= now) return std::nullopt;
    it->second.until = now + remember_;
    return it->second.stored;
}

void PasswordVerifier::forget(std::string_view name, std::string_view password) {
    const std::string key = fingerprint(name, password);
    std::lock_guard lock(mutex_);
    remembered_.erase(key);
}

void PasswordVerifier::burn(std::string_view password, int iterations) {
    {
        std::lock_guard lock(mutex_);
        ++derivations_;
    }
    const std::vector<unsigned char> salt(kSaltBytes, 0);
    derive(password, salt, iterations < 1 ? 1 : iterations, kKeyBytes);
}

std::uint64_t PasswordVerifier::derivations() const {
    std::lock_guard lock(mutex_);
    return derivations_;
}

}  // namespace dataservice
