#pragma once
// The process-wide Network that the network evaluation reads: its dimensions and one block of
// 16-bit weights, loaded from a file, from the copy built into the program ("embedded"), or
// made empty for the training tools ("new"). A load reads into a fresh buffer and replaces the
// network in force only when the whole network was good, so a bad file never leaves the engine
// with a broken or missing network; every stored weight is scaled by a little over 0.18.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace tarn {

// Network file, little-endian; the built-in network has the same layout:
//   offset  width        field
//   0       u16          network id (kept, never compared)
//   2       u16          format version (kept, never compared)
//   4       u16          n_inputs: board-feature inputs, four colour blocks
//   6       u16          n_material_inputs: 32, 36 or 40 select an encoding, others add none
//   8       u16          hidden1: hidden layer size, a multiple of 16
//   10      u16          hidden2: second hidden layer size; only 0 is supported
//   12      u16          n_buckets: output buckets
//   14      i32          weight count; read but not trusted, the dimensions decide it
//   18      i16 x count  W1 (inputs x hidden1), W2 (max(8, hidden2) x hidden1),
//                        W3 (max(8, n_buckets) x hidden2), tail (8; tail[1] is the bias)
constexpr int NN_HEADER_BYTES  = 18;
constexpr int NN_HEADER_FIELDS = 7;
constexpr int NN_OUTPUT_ROWS   = 8; // W2 and W3 hold at least this many rows
constexpr int NN_TAIL_VALUES   = 8;
constexpr int NN_BIAS_INDEX    = 1; // tail value added to every hidden unit

// Dimensions of the standard network ("new", and the built-in one).
constexpr std::uint16_t NN_STANDARD_ID       = 564;
constexpr std::uint16_t NN_STANDARD_VERSION  = 1;
constexpr int NN_STANDARD_INPUTS             = 1536;
constexpr int NN_STANDARD_MATERIAL_INPUTS    = 36;
constexpr int NN_STANDARD_HIDDEN1            = 896;
constexpr int NN_STANDARD_BUCKETS            = 7;
constexpr std::int32_t NN_STANDARD_WEIGHTS   = 1415688;
constexpr std::size_t NN_STANDARD_FILE_BYTES = 2831394;
static_assert(NN_HEADER_BYTES == 2 * NN_HEADER_FIELDS + 4);
static_assert((NN_STANDARD_INPUTS + NN_STANDARD_MATERIAL_INPUTS + NN_OUTPUT_ROWS) *
                      NN_STANDARD_HIDDEN1 +
                  NN_TAIL_VALUES ==
              NN_STANDARD_WEIGHTS);
static_assert(NN_HEADER_BYTES + 2 * std::size_t{NN_STANDARD_WEIGHTS} == NN_STANDARD_FILE_BYTES);

// Input layout: four colour blocks of 64-square slots (king, pawn, knight, bishop, rook,
// queen), with a seventh slot for passed pawns when there are NN_PASSER_INPUTS inputs.
constexpr int NN_PIECE_SLOTS   = 6;
constexpr int NN_PASSER_SLOT   = 6;
constexpr int NN_PASSER_INPUTS = 1792;
constexpr int NN_MAX_INPUTS    = 1840; // board and material inputs together, at most
constexpr int NN_HIDDEN_STEP   = 16;   // hidden1 is a multiple of this (vector width)
// Built-in weights beyond this size are reported when loaded.
constexpr int NN_EMBEDDED_WEIGHT_LIMIT = 30010;

// Names NN_File gives to the two sources that are not files.
constexpr const char* NN_EMBEDDED_NAME = "embedded";
constexpr const char* NN_NEW_NAME      = "new";

// Releases a buffer from nn_allocate.
struct NnBufferFree {
    void operator()(std::int16_t* p) const;
};
// 16-bit values aligned for the widest vector loads.
using NnBuffer = std::unique_ptr<std::int16_t[], NnBufferFree>;

// The network in force. The block starts point into `weights`.
struct Network {
    std::uint16_t id               = 0;
    std::uint16_t version          = 0;
    std::int32_t n_inputs          = 0;
    std::int32_t n_material_inputs = 0;
    std::int32_t inputs_total      = 0; // n_inputs + n_material_inputs
    std::int32_t n_buckets         = 0;
    std::int32_t hidden1           = 0;
    std::int32_t hidden2           = 0;
    std::int32_t count             = 0; // weights in the buffer
    std::int32_t size_w1           = 0;
    std::int32_t size_w2           = 0;
    std::int32_t size_w3           = 0;
    NnBuffer weights               = nullptr; // null while no network is in force
    const std::int16_t* w1         = nullptr; // row f: the hidden1 weights of input f
    const std::int16_t* w2         = nullptr; // row b: the output weights of bucket b
    const std::int16_t* w3         = nullptr;
    const std::int16_t* tail       = nullptr;
    std::uint32_t generation       = 0; // changes with every replacement of the network
};

extern Network network;

// What a load did. Only NN_LOADED replaced the network in force; the others left it alone,
// except NN_NOT_EMBEDDED, which removes it so the hand-crafted evaluation takes over.
enum NnLoadResult {
    NN_LOADED,
    NN_NOT_EMBEDDED, // "embedded" in a build that carries no network
    NN_CANT_OPEN,    // "info string can't open %s"
    NN_CANT_LOAD,    // truncated, or dimensions this engine cannot evaluate
    NN_NO_MEMORY,    // "allocating memory for net failed!"
};

// --- set-up ---

// Loads the network that name stands for (a file path, NN_EMBEDDED_NAME or NN_NEW_NAME, as
// the NN_File option gives them) and prints what happened. Must not run while a search does:
// the search threads read the network without a lock.
NnLoadResult load_network(const char* name);
// Drops the network in force; the evaluation entry then uses the hand-crafted evaluation.
void nn_unload();
// A zeroed buffer of `values` 16-bit values, or null when memory is short.
NnBuffer nn_allocate(std::size_t values);

// --- queries ---

// True when a network is in force.
inline bool nn_ready() {
    return network.weights != nullptr;
}
// True when this build carries a network of its own.
bool nn_has_embedded();
// A stored weight as the evaluation uses it: w times a little over 0.18, truncated toward 0.
std::int16_t nn_scale_weight(int stored);

} // namespace tarn
