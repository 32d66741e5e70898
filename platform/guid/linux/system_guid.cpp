// Version-4 GUIDs from the kernel's random source.
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "platform/guid/guid.h"

namespace platform {
namespace {

constexpr std::int32_t kNoRandomBytes = static_cast<std::int32_t>(0x80004005u);  // E_FAIL

bool FillFromGetrandom(std::uint8_t* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = getrandom(bytes + done, size - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FillFromUrandom(std::uint8_t* bytes, std::size_t size) {
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done == size;
}

class SystemGuidSource final : public GuidSource {
public:
    std::int32_t CoCreateGuid(Guid& guid) override {
        std::uint8_t b[16];
        if (!FillFromGetrandom(b, sizeof b) && !FillFromUrandom(b, sizeof b)) return kNoRandomBytes;
        b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4: random
        b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // the standard variant
        guid.Data1 = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
        guid.Data2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
        guid.Data3 = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
        for (int i = 0; i < 8; ++i) guid.Data4[i] = b[8 + i];
        return 0;
    }
};

}  // namespace

std::unique_ptr<GuidSource> makeSystemGuidSource() { return std::make_unique<SystemGuidSource>(); }

}  // namespace platform
