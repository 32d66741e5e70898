#include "dataservice/http/message.h"

#include "dataservice/common/params.h"

namespace dataservice {

void setPath(HttpRequest& request, std::string path) {
    request.path = std::move(path);
    const std::string_view p = request.path;
    const std::size_t slash = p.rfind('/');
    if (slash == std::string_view::npos) {
        request.page = request.path;
        request.folder.clear();
        return;
    }
    request.page = p.substr(slash + 1);
    const std::size_t before = slash == 0 ? std::string_view::npos : p.rfind('/', slash - 1);
    request.folder = before == std::string_view::npos ? p.substr(0, slash) : p.substr(before + 1, slash - before - 1);
}

void setTarget(HttpRequest& request, std::string_view target) {
    const std::size_t query = target.find('?');
    // Decoded before it is split: an encoded slash separates segments as a plain one does.
    setPath(request, percentDecode(target.substr(0, query), false));
    request.rawQuery = query == std::string_view::npos ? std::string() : std::string(target.substr(query + 1));
}

}  // namespace dataservice
