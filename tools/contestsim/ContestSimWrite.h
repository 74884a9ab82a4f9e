// A simulated contest as the committee would receive it: one log file per
// station that sent one (Cabrillo 3.0, or ADIF .adi for some), written
// through the model's writers, and the truth beside them as CSV. The columns
// of the truth are described in docs/contest-sim.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "contestsim/ContestSim.h"

namespace yol::contestsim {

// The station's log file name: its call with '/' as '_', then ".log"
// (Cabrillo) or ".adi".
std::string SimFileName(const SimStation& station);

// The score the station's own program would claim for the lines of its log
// (the YOL scoring, as the statistics window counts it).
std::int64_t SimClaimedScore(const ContestSim& sim, std::size_t station, const std::vector<SimLine>& lines);

// Writes station `s`'s log (its `lines` as ContestSim::Log gave them) into
// `out`, opened binary. Returns each line's line number in the file, 0 for
// the lines left out.
std::vector<std::size_t> WriteSimLog(const ContestSim& sim, std::size_t s, const std::vector<SimLine>& lines,
                                     std::ostream& out);

// The truth CSV: its header line, and the rows of one station (the station's
// row, then one per line of `lines`; none for a station that sent no log).
void WriteTruthHeader(std::ostream& out);
void WriteTruthRows(const ContestSim& sim, std::size_t s, const std::vector<SimLine>& lines,
                    const std::vector<std::size_t>& places, std::ostream& out);

struct SimWritten {
    std::size_t logs = 0;       // files written (checklogs included)
    std::size_t lines = 0;      // contact lines in them
    std::size_t truthRows = 0;
};

// The whole contest into `dir`: the logs in dir/logs/, the truth in
// dir/truth.csv. One station at a time, so that memory holds one log.
// Throws std::runtime_error naming the file that cannot be written, or
// dir/logs when it already holds files (nothing is written then).
SimWritten WriteContest(const ContestSim& sim, const std::filesystem::path& dir);

}  // namespace yol::contestsim
