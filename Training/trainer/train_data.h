#pragma once
// Training positions: 40-byte training records decoded through the engine's own FEN reader,
// turned once into the engine's own feature lists and buckets (nn_features, nn_bucket), and
// kept in memory as one flat index array with a start per position. Using the engine's feature
// code, never a copy of it, is what keeps training and inference from drifting apart.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/board.h"
#include "search/thread_data.h"
#include "tools/tune_data.h"

namespace tarn {

// Positions are read this many records at a time.
constexpr int TRAIN_READ_RECORDS = 4096;
// Pieces a side can have in a legal game; more means a damaged record.
constexpr int TRAIN_MAX_SIDE_PIECES = 16;
constexpr int TRAIN_MAX_SIDE_PAWNS  = 8;

// Every position of a training run, one entry per position in each column.
struct TrainingSet {
    std::vector<std::uint16_t> features;     // all feature lists back to back
    std::vector<std::uint32_t> starts = {0}; // list of i: features[starts[i] .. starts[i + 1])
    std::vector<std::uint8_t> buckets;       // output bucket 0..6
    std::vector<std::int16_t> scores;        // search score, centipawns, side to move's view
    std::vector<std::int16_t> results;       // result value, -1919..1919
};

// What became of one record.
enum RecordVerdict {
    RECORD_KEPT,
    RECORD_IN_CHECK, // side to move in check: the engine never evaluates these
    RECORD_UNUSABLE, // no valid position (kings, pawns on the back ranks, piece counts)
    RECORD_DAMAGED,  // bytes that are no record (piece code, side, e.p. square, result)
};

using RecordVisitor = std::function<void(const std::uint8_t*)>;

// What reading the input files found.
struct LoadCounts {
    std::uint64_t records       = 0; // whole records read
    std::uint64_t kept          = 0;
    std::uint64_t in_check      = 0;
    std::uint64_t unusable      = 0;
    std::uint64_t damaged       = 0;
    std::uint64_t not_quiet     = 0; // left out because a capture wins material
    std::uint64_t over_capacity = 0; // records beyond what one set can index
};

// --- set-up ---

// Builds the engine's tables and puts a network with the standard dimensions in force, which
// the feature code reads. Prints the loader's line.
bool train_prepare_engine();

// --- queries ---

// Reads the 40 bytes of a record; false when they cannot be one (invalid piece code, side or
// en-passant square).
bool decode_training_record(const std::uint8_t* bytes, TrainingRecord& out);
// FEN of a decoded record, for the engine's FEN reader.
std::string training_record_fen(const TrainingRecord& record);
// True when the side to move can win material with a capture (by static exchange): the
// position's score then reflects an exchange that the static evaluation never sees.
bool capture_wins_material(const Position& pos);
// Win probability of a result value: 1 and 0 for +-1919, the inverse of result_value between.
double result_probability(int value);
// Target of the network's win probability: lambda * p(score) + (1 - lambda) * result.
double training_target(int score, int result, double lambda);
// Number of positions in a set.
inline std::size_t set_size(const TrainingSet& set) {
    return set.buckets.size();
}

// Decodes a record and sets td's position from it; the position is valid only when the
// verdict is RECORD_KEPT.
RecordVerdict record_position(const std::uint8_t* bytes, ThreadData& td, TrainingRecord& record);
// Calls visit with each whole record of a file, at most limit of them; a torn tail is reported
// and skipped. False when the file cannot be opened.
bool for_each_record(const std::string& path, std::uint64_t limit, const RecordVisitor& visit);

// --- changes ---

void count_verdict(LoadCounts& counts, RecordVerdict verdict);

// Appends a position (features and bucket from the engine) with its labels.
void add_position(TrainingSet& set, const Position& pos, int score, int result);
// How records become labelled positions.
struct LoadSettings {
    bool first_score = false; // label with the game's own score, not the relabelling search's
    bool quiet_only  = false; // leave out positions where a capture wins material
    bool hce_labels  = false; // label with the hand-crafted evaluation (score and result)
};

// Appends the usable records of every file; false with a message in `error` when a file
// cannot be read. Torn tails and bad records are counted, not fatal. The record's second score
// is the relabelling search's when there was one (else the same as the first), so it is the
// default label. With hce_labels the records' labels are ignored: the hand-crafted static
// evaluation gives the score, and the result is its win probability, so that every blend of
// score and result teaches that evaluation. Positions from any source (random moves from game
// positions) can then be labelled in a few microseconds each.
bool load_training_files(const std::vector<std::string>& paths, TrainingSet& set,
                         LoadCounts& counts, std::string& error, const LoadSettings& how = {});

} // namespace tarn
