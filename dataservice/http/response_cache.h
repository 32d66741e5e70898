#pragma once
// Nearly every answer is one of a few constant replies (an upload's empty record set). The
// library's response to such a reply is made once and queued again and again: making it copies
// the body and every header, a dozen allocations and frees per request. The library counts a
// response's users, so one dropped from here stays until its last connection is done with it.
#include <microhttpd.h>

#include <mutex>
#include <vector>

#include "dataservice/http/message.h"

namespace dataservice {

class ResponseCache {
public:
    ResponseCache() = default;
    ResponseCache(const ResponseCache&) = delete;
    ResponseCache& operator=(const ResponseCache&) = delete;
    ~ResponseCache();

    // Queues `reply` on the connection, through a kept response where there is one.
    MHD_Result send(MHD_Connection* c, const HttpReply& reply);

private:
    struct Entry {
        HttpReply reply;
        MHD_Response* response;
    };
    MHD_Response* find(const HttpReply& reply);
    bool keep(const HttpReply& reply, MHD_Response* response);

    std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace dataservice
