#pragma once
// The profile page's sign-in: the form and its token, the session cookie, and what a signed-in
// browser sees. A GET shows the form or the profile; a POST signs in or out.
#include <cstdint>
#include <optional>
#include <string>

#include "dataservice/common/params.h"
#include "dataservice/http/message.h"
#include "dataservice/auth/password_check.h"
#include "dataservice/store/store.h"

namespace dataservice::profile {

class ProfilePage {
public:
    ProfilePage(Store& store, PasswordCheck& passwords, std::int64_t sessionSeconds)
        : store_(store), passwords_(passwords), sessionSeconds_(sessionSeconds) {}

    // A GET or POST of the page; any other method is the caller's to refuse.
    HttpReply answer(const HttpRequest& request);

private:
    HttpReply signedInView(const Profile& profile, const Session& session, const Params& query);
    // The profile a sign-in with `name` and `password` opens, or nothing (a failure counted).
    std::optional<std::int64_t> signIn(const std::string& name, const std::string& password, const std::string& address);

    Store& store_;
    PasswordCheck& passwords_;
    std::int64_t sessionSeconds_;
};

}  // namespace dataservice::profile
