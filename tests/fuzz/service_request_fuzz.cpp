// Whole requests at the pages: a page path, its query, a form body and a Cookie header, cut
// from one input at NUL bytes. Whatever arrives, the pages answer with a known status, never
// throw, keep no password in the journal, and the profile page shows no one's inventory
// without a session.
#include <memory>
#include <string>
#include <vector>

#include "dataservice/pages/site.h"
#include "dataservice/store/store.h"
#include "dataservice/common/params.h"
#include "dataservice/common/markup.h"
#include "tests/fuzz/fuzz_target.h"

using vantrel::fuzz::require;

namespace {

struct World {
    World() : store(":memory:", dataservice::StoreOptions{1}) {
        store.profiles().addAccount("alice", "pw");
        store.profiles().registerEvaluation("Eval2B3C4");
        const auto id = store.profiles().subscriber("alice")->id;
        store.inventory().add(id, "Software", "secret-inventory-item");
        store.inventory().add(store.profiles().evaluation("Eval2B3C4")->id, "Software", "secret-inventory-item");
    }
    dataservice::Store store;
    dataservice::Pages pages{store};
};

}  // namespace

VANTREL_FUZZ_TARGET(request) {
    static World world;
    std::vector<std::string> parts(5);
    std::size_t part = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && part + 1 < parts.size()) {
            ++part;
            continue;
        }
        parts[part].push_back(static_cast<char>(data[i]));
    }
    static const char* const kMethods[] = {"GET", "POST", "HEAD", "PUT"};
    dataservice::HttpRequest request;
    request.method = kMethods[parts[0].empty() ? 0 : static_cast<unsigned char>(parts[0][0]) % 4];
    dataservice::setPath(request, parts[1].empty() || parts[1][0] != '/' ? "/" + parts[1] : parts[1]);
    request.rawQuery = parts[2];
    request.body = parts[3];
    request.cookies = parts[4];
    request.clientAddress = "192.0.2.1";

    const dataservice::HttpReply reply =
        request.method == "HEAD" ? world.pages.head(request) : world.pages.handle(request);
    const int status = reply.status;
    require(status == 200 || status == 303 || status == 400 || status == 403 || status == 404 || status == 405 ||
            status == 429 || status == 503);  // refused by the sign-in limits, or busy: said as such
    if (request.method == "HEAD") require(reply.body.empty());
    // No session can come from bytes alone: no inventory is ever listed. (The name asked for
    // may be echoed into the sign-in form, escaped, so the check is for a listed item.)
    require(reply.body.find("<li>secret-inventory-item") == std::string::npos);
    for (const auto& [name, value] : reply.headers) require(value.find_first_of("\r\n") == std::string::npos);
}
