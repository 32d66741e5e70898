#pragma once
// The signed-in profile page over HTTP, as a browser gets it: the sign-in form's token, the
// sign-in, then the page.
#include <cstddef>
#include <string>

namespace monday {

struct PageTimes {
    double medianMs = 0;
    std::size_t bytes = 0;
};

// Signs in as `name` and fetches the page `repeats` times. Throws when the sign-in fails.
PageTimes signedInPage(int port, const std::string& name, const std::string& password, int repeats);

}  // namespace monday
