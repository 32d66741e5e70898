#pragma once
// What the HTTP listener hands its requests to.
#include <functional>
#include <string>

#include "dataservice/http/message.h"

namespace dataservice {

class RequestHandler {
public:
    using Reply = std::function<void(HttpReply)>;
    virtual ~RequestHandler() = default;
    // Answers through `reply` exactly once, at once or later from another thread. Never throws.
    virtual void handle(const HttpRequest& request, Reply reply) = 0;
    // What a HEAD gets: the status and type a GET would have, no body, nothing run or stored.
    virtual HttpReply head(const HttpRequest& request) = 0;
    // The methods the request's address takes, e.g. "GET, HEAD". Asked before its headers and
    // body are read: only what its target gives (path, page, folder, query) is set.
    virtual std::string allowedMethods(const HttpRequest& request) const = 0;
};

}  // namespace dataservice
