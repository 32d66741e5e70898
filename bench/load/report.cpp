#include "bench/load/report.h"

#include <cstdio>

namespace load {

void printLoad(const std::string& what, LoadResult& r) {
    std::printf("%-44s %7.0f uploads/s  p50 %6.2f ms  p99 %6.2f ms  max %7.1f ms  failed %llu", what.c_str(),
                r.rate(), r.percentileMs(0.50), r.percentileMs(0.99), r.percentileMs(1.0),
                static_cast<unsigned long long>(r.failed));
    if (r.timeouts) std::printf(" (%llu timed out)", static_cast<unsigned long long>(r.timeouts));
    if (r.silentConnections)
        std::printf(", %d of %d connections never answered", r.silentConnections, r.connections);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace load
