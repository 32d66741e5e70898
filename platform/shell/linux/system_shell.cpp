// Handing an address to the desktop's default handler: xdg-open, spawned without a shell.
//
// The handler may run for as long as the browser does, and the collector usually ends right after
// the hand-off, so it must neither be waited for nor left behind as a zombie. An intermediate child
// spawns it and exits at once: the handler is then owned by init, and the only wait here is for
// the intermediate, which reports whether the spawn worked through its exit status.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/common/errors.h"
#include "platform/shell/shell.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kOpener = "xdg-open";

bool isOpenVerb(const std::string& verb) {
    if (verb.empty()) return true;
    static const char open[] = "open";
    if (verb.size() != sizeof open - 1) return false;
    for (std::size_t i = 0; i < verb.size(); ++i)
        if ((verb[i] | 0x20) != open[i]) return false;
    return true;
}

// Runs in the intermediate child, so it only calls what is safe after fork in a threaded process.
[[noreturn]] void spawnAndExit(char* const argv[]) {
    posix_spawnattr_t attr;
    int status = posix_spawnattr_init(&attr);
    if (status == 0) {
        // A session of its own, so that the handler outlives the collector's terminal; and no
        // signal mask or ignored signal inherited from this process.
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGCHLD);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        pid_t handler = 0;
        status = posix_spawnp(&handler, argv[0], nullptr, &attr, argv, environ);
    }
    _exit(status > 0 && status < 256 ? status : status == 0 ? 0 : 1);
}

class SystemShell final : public Shell {
public:
    void Execute(const std::string& address, const std::string& verb, WindowHandle) override {
        if (!isOpenVerb(verb)) throw PlatformError("the verb \"" + verb + "\" is not supported");
        // The address is one argument to the opener; one that starts with '-' would be read as an option.
        if (address.empty() || address.front() == '-' || address.find('\0') != std::string::npos)
            throw PlatformError("\"" + address + "\" cannot be handed to " + kOpener);

        std::string opener = kOpener, argument = address;
        std::vector<char*> argv = {opener.data(), argument.data(), nullptr};

        const pid_t child = fork();
        if (child < 0) throw PlatformError(std::string("cannot start ") + kOpener + ": " + std::strerror(errno));
        if (child == 0) spawnAndExit(argv.data());

        int status = 0;
        pid_t waited;
        do {
            waited = waitpid(child, &status, 0);
        } while (waited < 0 && errno == EINTR);
        if (waited < 0) throw PlatformError(std::string("cannot start ") + kOpener + ": " + std::strerror(errno));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            const int error = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
            throw PlatformError(std::string("cannot start ") + kOpener +
                                (error ? std::string(": ") + std::strerror(error) : std::string()));
        }
    }
};

}  // namespace

std::unique_ptr<Shell> makeSystemShell() { return std::make_unique<SystemShell>(); }

}  // namespace platform
