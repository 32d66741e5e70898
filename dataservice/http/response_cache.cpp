#include "dataservice/http/response_cache.h"

#include <algorithm>

#include "platform/common/text.h"

namespace dataservice {
namespace {

constexpr std::size_t kKept = 8;

MHD_Response* makeResponse(const HttpReply& reply) {
    MHD_Response* response =
        MHD_create_response_from_buffer(reply.body.size(), const_cast<char*>(reply.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!response) return nullptr;
    if (!reply.contentType.empty()) MHD_add_response_header(response, "Content-Type", reply.contentType.c_str());
    for (const auto& [name, value] : reply.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
    return response;
}

bool sameReply(const HttpReply& a, const HttpReply& b) {
    return a.status == b.status && a.body == b.body && a.contentType == b.contentType && a.headers == b.headers;
}

// Small and the same for everyone: a reply that sets a cookie belongs to one client.
bool keepable(const HttpReply& reply) {
    if (reply.body.size() > 4096) return false;
    for (const auto& [name, value] : reply.headers)
        if (text::EqualsNoCase(name, "Set-Cookie")) return false;
    return true;
}

}  // namespace

ResponseCache::~ResponseCache() {
    for (Entry& e : entries_) MHD_destroy_response(e.response);
}

MHD_Result ResponseCache::send(MHD_Connection* c, const HttpReply& reply) {
    {
        // Queued under the lock: the connection takes its own reference to a kept response
        // before another loop's keep() can drop the cache's.
        std::lock_guard lock(mutex_);
        if (MHD_Response* kept = find(reply)) return MHD_queue_response(c, static_cast<unsigned>(reply.status), kept);
    }
    MHD_Response* response = makeResponse(reply);
    if (!response) return MHD_NO;
    const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(reply.status), response);
    if (!keepable(reply) || !keep(reply, response)) MHD_destroy_response(response);
    return queued;
}

// Under the lock: the reply's response, moved to the front, where the constant replies stay.
MHD_Response* ResponseCache::find(const HttpReply& reply) {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (sameReply(entries_[i].reply, reply)) {
            std::rotate(entries_.begin(), entries_.begin() + static_cast<std::ptrdiff_t>(i),
                        entries_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            return entries_.front().response;
        }
    return nullptr;
}

bool ResponseCache::keep(const HttpReply& reply, MHD_Response* response) {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_)
        if (sameReply(e.reply, reply)) return false;  // another thread kept it meanwhile
    if (entries_.size() == kKept) {
        MHD_destroy_response(entries_.back().response);
        entries_.pop_back();
    }
    entries_.insert(entries_.begin(), Entry{reply, response});
    return true;
}

}  // namespace dataservice
