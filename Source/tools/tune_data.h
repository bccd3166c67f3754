#pragma once
// Data for fitting the evaluation. The tuning-set builders ("-mktune1", "-mktune2") search
// every position of an EPD file and write it again with labels that agree with the search;
// the converter ("-epd2bin") packs labelled EPD records into fixed-size training records,
// streamed to a temporary file that replaces the output only when the run is complete.
//
// Training record, 40 bytes, records back to back without a header:
//   offset  size  content
//   0       32    board: byte i = piece code of square 2i (low nibble), of 2i + 1 (high nibble)
//   32      1     side to move (high nibble) | castling rights K=1 Q=2 k=4 q=8 (low nibble)
//   33      1     en-passant square, 64 = none
//   34      2     result value: 1919 won, -1919 lost, 0 drawn, else from the result (below)
//   36      2     first score: "ce", or "sc" when there is no "ce"
//   38      2     second score: "sc", or "ce" when there is no "sc"
// Squares run a1 = 0 .. h8 = 63; values are signed 16-bit little-endian; all from the side to
// move's point of view.

#include <cstdint>
#include <string>

#include "core/board.h"
#include "core/score.h"
#include "tools/tool_search.h"

namespace tarn {

constexpr int TRAINING_RECORD_BYTES         = 40;
constexpr std::uint32_t TRAINING_RECORD_CAP = 180000000;
constexpr int RESULT_VALUE_WIN              = 1919;
constexpr double RESULT_CERTAIN             = 0.00001; // closer to 0 or 1 is a sure result
constexpr double RESULT_VALUE_SCALE         = -166.6666717529297;
constexpr double WIN_PROBABILITY_SLOPE      = 0.006; // per centipawn
constexpr int TUNE_NO_HASH_DEPTH            = 3;     // shallower searches run without the table
constexpr int TUNE_POLL_INTERVAL            = 256;   // searches between looks at the input
constexpr int TUNE_PROGRESS_INTERVAL        = 4096;  // records between progress lines
constexpr int TUNE_QSEARCH_GAP              = 125;   // largest quiescence gain kept (variant 2)
constexpr int TUNE_MAX_LINE_CHARS           = 253;
constexpr int TRAINING_MIN_LINE_CHARS       = 20; // line feed included
constexpr const char* TUNING_SET_FILE       = "tune_new.epd";
// The tablebase directories the tuning tools fall back on ("-tbx", and -mktune2 without a path).
constexpr const char* TBX_PATH = "C:\\Chess\\Syzygy;C:\\Chess\\Syzygy\\6-Piece";

// One training record before packing.
struct TrainingRecord {
    std::uint8_t board[64]     = {}; // piece code per square
    std::uint8_t side          = 0;
    std::uint8_t castle_rights = 0;
    std::uint8_t ep_square     = 64;
    std::int16_t result_value  = 0;
    std::int16_t score_first   = 0;
    std::int16_t score_second  = 0;
};

// p(v) = 1 / (1 + e^(-0.006 v)): the expected result of a centipawn value.
double win_probability(double centipawns);
// True when a game result (1, 0.5 or 0) is implausible beside the win probability of a score.
bool result_contradicts(double result, double probability);
// Result value of a game result 0..1 when no tablebase knows the position.
int result_value(double result);
// Output name of a conversion: the input's last ".epd" becomes ".bin"; "" without ".epd".
std::string training_file_name(const std::string& input);
// The record of a position with its two scores (side to move's view) and the game result
// (1, 0.5 or 0, side to move's view); a position the tablebases know gets their result.
TrainingRecord training_record_of(const Position& pos, int first, int second, double result);
// Writes the 40 bytes of a record.
void pack_training_record(const TrainingRecord& record, std::uint8_t* bytes);

// Builds a tuning set (variant 1 or 2) from input, searching within `limits`; output "" means
// "tune_new.epd". Lines typed meanwhile go to on_typed_line, looked at every few hundred
// searches.
void build_tuning_set(const std::string& input, const std::string& output, int variant,
                      const SearchLimits& limits, TypedLineHandler on_typed_line);
// Converts the EPD file input into training records.
void convert_training_data(const std::string& input);

} // namespace tarn
