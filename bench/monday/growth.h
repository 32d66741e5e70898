#pragma once
// What a large database costs the service: uploads, a reset, a prune and the signed-in page of a
// profile of one collection's size, on a database holding only the measured profiles and on one
// grown with many more (some with every kept collection).
#include <cstdint>
#include <string>

#include "bench/monday/database.h"
#include "bench/monday/options.h"

namespace monday {

struct GrowthFigures {
    std::int64_t items = 0, bytes = 0;
    double fillSeconds = 0;
    double uploadsPerSecond = 0;
    double resetMs = 0, pruneMs = 0, pageMs = 0;  // medians
    std::size_t pageBytes = 0;
};

// Fills `db` with about `growItems` items besides the measured profiles, then measures.
GrowthFigures measureGrowth(const Options& o, const Database& db, int growItems);

}  // namespace monday
