// The helper that starts the data service for the tests and benchmarks, against stand-in
// programs that misbehave the ways a broken build of the service could: it must give up within
// its bounds, say what the program printed, and leave no process behind.
#include <signal.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/dataservice_process.h"
#include "tests/support/scratch_dir.h"

namespace {

using namespace std::chrono_literals;

// A stand-in for the service's binary: a shell script that ignores its command line.
std::string StandIn(const ScratchDir& dir, const std::string& body) {
    const std::string path = dir.write("service", "#!/bin/sh\n" + body + "\n").string();
    ::chmod(path.c_str(), 0755);
    return path;
}

bool Alive(pid_t pid) { return pid > 0 && ::kill(pid, 0) == 0; }

struct Refusal {
    const char* name;
    const char* script;
    const char* said;  // what the error must quote
};

class RefusedStart : public ::testing::TestWithParam<Refusal> {};

TEST_P(RefusedStart, ThrowsWithWhatTheProgramPrinted) {
    ScratchDir dir;
    process::ServiceOptions options;
    options.binary = StandIn(dir, GetParam().script);
    options.env = {"VANTREL_GREETING=hello from the environment"};
    options.startLimit = 500ms;
    options.stopLimit = 500ms;
    process::DataService service(dir.file("service.db"), options);
    try {
        service.start();
        ADD_FAILURE() << "started";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().said), std::string::npos) << e.what();
    }
    EXPECT_FALSE(service.running());
}

INSTANTIATE_TEST_SUITE_P(
    Programs, RefusedStart,
    ::testing::Values(Refusal{"OtherLine", "echo \"$VANTREL_GREETING\"; exec sleep 30", "hello from the environment"},
                      Refusal{"Silent", "exec sleep 30", "it printed: "},
                      Refusal{"NotLocal", "echo 'listening on http://192.0.2.1:8080/'; exec sleep 30", "192.0.2.1"},
                      Refusal{"Ended", "exit 3", "it printed: "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataServiceProcess, StopKillsAServerThatIgnoresTerminationAfterItsBound) {
    ScratchDir dir;
    process::ServiceOptions options;
    options.binary =
        StandIn(dir, "trap '' TERM\necho 'listening on http://127.0.0.1:4321/'\nwhile :; do sleep 0.1; done");
    options.stopLimit = 300ms;
    process::DataService service(dir.file("service.db"), options);
    ASSERT_NO_THROW(service.start());
    EXPECT_EQ(service.port(), 4321);
    EXPECT_EQ(service.address(), "http://127.0.0.1:4321/");
    const pid_t pid = service.pid();
    ASSERT_TRUE(Alive(pid));
    EXPECT_EQ(service.stop(), -1);  // killed, not ended by itself
    EXPECT_FALSE(Alive(pid));
}

TEST(DataServiceProcess, RunGivesBothStreamsTheInputAndTheExitStatus) {
    const process::Outcome o = process::run({"/bin/sh", "-c", "read line; echo \"out $line\"; echo err >&2; exit 4"},
                                            "given\n");
    EXPECT_EQ(o.status, 4);
    EXPECT_EQ(o.out, "out given\n");
    EXPECT_EQ(o.err, "err\n");
}

}  // namespace
