#pragma once
// What a large database costs the service: uploads, a reset, a prune and the signed-in page of a
// profile of one collection's size, on a database holding only the measured profiles and on one
// grown with many more (some with every kept collection). The two services take turns, so that
// a change in the shared machine's pace falls on both alike.
#include <cstdint>
#include <string>
#include <vector>

#include "bench/monday/database.h"
#include "bench/monday/options.h"

namespace monday {

struct GrowthFigures {
    std::int64_t items = 0, bytes = 0;
    double fillSeconds = 0;
    double uploadsPerSecond = 0;
    std::vector<double> roundRates;  // uploads/s of each turn
    double resetMs = 0, pruneMs = 0, pageMs = 0;  // medians
    std::size_t pageBytes = 0;
};

// Fills both databases (`grown` with about --grow-items more items) and measures them in turns.
std::pair<GrowthFigures, GrowthFigures> measureGrowth(const Options& o, const Database& fresh, const Database& grown);

}  // namespace monday
