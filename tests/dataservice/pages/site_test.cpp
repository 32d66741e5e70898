// The site as one handler: every request is answered exactly once, whatever its reply does.
#include <chrono>
#include <future>
#include <thread>

#include "dataservice/pages/site.h"
#include "tests/dataservice/harness.h"

namespace dataservice::testing {
namespace {

using namespace std::chrono_literals;

class AnsweredOnce : public ::testing::TestWithParam<const char*> {};

// A reply that throws (a connection gone while it was handed back, say) must not make the
// request's error path answer it a second time.
TEST_P(AnsweredOnce, EvenWhenItsReplyThrows) {
    ScratchDir dir;
    Store store(dir.file("s.db"), StoreOptions{kTestIterations});
    Pages pages(store);
    HttpRequest request;
    setTarget(request, GetParam());
    std::atomic<int> calls{0};
    std::promise<void> first;
    EXPECT_NO_THROW(pages.handle(request, [&](HttpReply) {
        if (++calls == 1) {
            first.set_value();
            throw std::runtime_error("the connection has gone");
        }
    }));
    ASSERT_EQ(first.get_future().wait_for(5s), std::future_status::ready);
    std::this_thread::sleep_for(100ms);  // room for a second answer, were there one
    EXPECT_EQ(calls.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(Pages, AnsweredOnce,
                         ::testing::Values("/profile/profile.css", "/nosuch.asp", "/vantrel/getversion.asp?Major=1",
                                           "/vantrel/getversion.asp?Major=1&Minor=1&Rev=11", "/profile/hwsw.asp"));

}  // namespace
}  // namespace dataservice::testing
