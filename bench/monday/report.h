#pragma once
// The Monday benchmark's figures.
#include <string>

#include "bench/monday/burst.h"
#include "bench/monday/growth.h"
#include "bench/monday/options.h"

namespace monday {

// `derivationSeconds`: one key derivation's processor time, timed in this process.
void printBurst(const std::string& engine, const Options& o, const BurstFigures& f, double derivationSeconds);
void printGrowth(const std::string& engine, const Options& o, const GrowthFigures& fresh, const GrowthFigures& grown);

}  // namespace monday
