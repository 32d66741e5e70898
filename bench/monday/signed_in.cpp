#include "bench/monday/signed_in.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "bench/load/workloads.h"

namespace monday {
namespace {

// The value of the cookie `name` the reply sets, with its name ("name=value"); empty for none.
std::string setCookie(const httplib::Result& res, const std::string& name) {
    for (std::size_t i = 0; res && i < res->get_header_value_count("Set-Cookie"); ++i) {
        const std::string c = res->get_header_value("Set-Cookie", i);
        if (c.rfind(name + "=", 0) == 0) return c.substr(0, c.find(';'));
    }
    return {};
}

std::string signIn(httplib::Client& client, const std::string& name, const std::string& password) {
    const std::string form = setCookie(client.Get("/profile/hwsw.asp"), "vantrel_form");
    const std::string token = form.substr(form.find('=') + 1);
    const auto signedIn = client.Post("/profile/hwsw.asp", httplib::Headers{{"Cookie", form}},
                                      "action=signin&form=" + token + "&UID=" + load::urlEncode(name) +
                                          "&PWD=" + load::urlEncode(password),
                                      "application/x-www-form-urlencoded");
    std::string session = setCookie(signedIn, "vantrel_session");
    if (session.empty()) throw std::runtime_error("the sign-in as " + name + " failed");
    return session;
}

}  // namespace

PageTimes signedInPage(int port, const std::string& name, const std::string& password, int repeats) {
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(60, 0);
    const std::string session = signIn(client, name, password);
    std::vector<double> took;
    PageTimes t;
    for (int k = 0; k < repeats; ++k) {
        const auto began = std::chrono::steady_clock::now();
        const auto res = client.Get("/profile/hwsw.asp", httplib::Headers{{"Cookie", session}});
        if (!res || res->status != 200) throw std::runtime_error("no signed-in page");
        took.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count());
        t.bytes = res->body.size();
    }
    std::sort(took.begin(), took.end());
    t.medianMs = took[took.size() / 2];
    return t;
}

}  // namespace monday
