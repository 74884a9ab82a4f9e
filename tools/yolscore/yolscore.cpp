// Prints the statistics report of a contest log through the scoring core
// alone, as the module would show it after a recalculation. See kUsage in
// ScorerRun.cpp, or run with --help.
#include <cstdio>
#include <string>
#include <vector>

#include "Scorer.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    return yol::score::RunScorer(args, stdout, stderr);
}
