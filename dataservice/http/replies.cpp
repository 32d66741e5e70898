#include "dataservice/http/replies.h"

namespace dataservice {

void addSecurityHeaders(HttpReply& reply) {
    reply.headers.emplace_back("Content-Security-Policy",
                               "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                               "form-action 'self'; frame-ancestors 'none'; base-uri 'none'");
    reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
    reply.headers.emplace_back("X-Frame-Options", "DENY");
    reply.headers.emplace_back("Referrer-Policy", "no-referrer");
    reply.headers.emplace_back("Cache-Control", "no-store");
}

HttpReply textReply(int status, std::string_view text) {
    HttpReply reply{status, std::string(kPlainTextType), std::string(text) + "\n", {}};
    addSecurityHeaders(reply);
    return reply;
}

HttpReply comeBackLater(int status, std::string_view text, long long retryAfterSeconds) {
    HttpReply reply = textReply(status, text);
    reply.headers.emplace_back("Retry-After", std::to_string(retryAfterSeconds < 1 ? 1 : retryAfterSeconds));
    return reply;
}

HttpReply methodNotAllowed(std::string_view allow) {
    HttpReply reply = textReply(405, "method not allowed");
    reply.headers.emplace_back("Allow", std::string(allow));
    return reply;
}

}  // namespace dataservice
