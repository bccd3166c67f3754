#include "trainer/train_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/platform.h"
#include "core/see.h"
#include "eval/hce.h"
#include "eval/nn.h"
#include "eval/nn_file.h"
#include "frontend/startup.h"
#include "search/thread_data.h"

namespace tarn {

namespace {

constexpr const char* WHITE_PIECE_LETTERS = " PNBRQK";
constexpr const char* BLACK_PIECE_LETTERS = " pnbrqk";
constexpr const char* CASTLE_LETTERS      = "KQkq";
constexpr int SIDE_BYTE                   = 32;
constexpr int EP_BYTE                     = 33;
constexpr int RESULT_BYTES                = 34;
constexpr int FIRST_SCORE_BYTES           = 36;
constexpr int SECOND_SCORE_BYTES          = 38;

std::int16_t read_i16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

bool is_piece_code(int code) {
    return code == 0 || (type_of(code) >= PAWN && type_of(code) <= KING);
}

// True when the pieces could come from a game: the engine's material counters hold 4 bits a
// type, so a record with more pieces than a game allows must not reach them.
bool plausible_material(const TrainingRecord& record) {
    int pieces[2] = {0, 0}, pawns[2] = {0, 0};
    for (const std::uint8_t code : record.board) {
        if (code == 0)
            continue;
        ++pieces[colour_of(code)];
        pawns[colour_of(code)] += type_of(code) == PAWN ? 1 : 0;
    }
    for (const int c : {WHITE, BLACK})
        if (pieces[c] > TRAIN_MAX_SIDE_PIECES || pawns[c] > TRAIN_MAX_SIDE_PAWNS)
            return false;
    return true;
}

} // namespace

bool train_prepare_engine() {
    init_engine_tables();
    if (network.n_inputs == NN_STANDARD_INPUTS &&
        network.n_material_inputs == NN_STANDARD_MATERIAL_INPUTS)
        return true;
    return load_network(NN_NEW_NAME) == NN_LOADED;
}

bool decode_training_record(const std::uint8_t* bytes, TrainingRecord& out) {
    for (int i = 0; i < 32; ++i) {
        out.board[2 * i]     = static_cast<std::uint8_t>(bytes[i] & 15);
        out.board[2 * i + 1] = static_cast<std::uint8_t>(bytes[i] >> 4);
    }
    for (const std::uint8_t code : out.board)
        if (!is_piece_code(code))
            return false;
    out.side          = static_cast<std::uint8_t>(bytes[SIDE_BYTE] >> 4);
    out.castle_rights = static_cast<std::uint8_t>(bytes[SIDE_BYTE] & 15);
    out.ep_square     = bytes[EP_BYTE];
    out.result_value  = read_i16(bytes + RESULT_BYTES);
    out.score_first   = read_i16(bytes + FIRST_SCORE_BYTES);
    out.score_second  = read_i16(bytes + SECOND_SCORE_BYTES);
    return out.side <= BLACK && out.ep_square <= NO_SQUARE &&
           std::abs(out.result_value) <= RESULT_VALUE_WIN;
}

std::string training_record_fen(const TrainingRecord& record) {
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const int code = record.board[rank * 8 + file];
            if (code == 0) {
                ++empty;
                continue;
            }
            if (empty > 0)
                fen += static_cast<char>('0' + empty);
            empty = 0;
            const char* letters =
                colour_of(code) == WHITE ? WHITE_PIECE_LETTERS : BLACK_PIECE_LETTERS;
            fen += letters[type_of(code)];
        }
        if (empty > 0)
            fen += static_cast<char>('0' + empty);
        if (rank > 0)
            fen += '/';
    }
    fen += record.side == WHITE ? " w " : " b ";
    const std::size_t castling_at = fen.size();
    for (int r = 0; r < 4; ++r)
        if (record.castle_rights & (1 << r))
            fen += CASTLE_LETTERS[r];
    if (fen.size() == castling_at)
        fen += '-';
    fen += ' ';
    fen += record.ep_square < NO_SQUARE ? SQUARE_NAMES[record.ep_square] : "-";
    return fen;
}

double result_probability(int value) {
    if (value >= RESULT_VALUE_WIN)
        return 1.0;
    if (value <= -RESULT_VALUE_WIN)
        return 0.0;
    // result_value writes RESULT_VALUE_SCALE * ln(1 / r - 1); this is its inverse.
    return 1.0 / (1.0 + std::exp(value / RESULT_VALUE_SCALE));
}

double training_target(int score, int result, double lambda) {
    return lambda * win_probability(score) + (1.0 - lambda) * result_probability(result);
}

void add_position(TrainingSet& set, const Position& pos, int score, int result) {
    std::uint16_t list[NN_MAX_FEATURES];
    std::uint16_t opposite_wings = 0;
    const int n                  = nn_features(pos, list, opposite_wings);
    set.features.insert(set.features.end(), list, list + n);
    set.starts.push_back(static_cast<std::uint32_t>(set.features.size()));
    set.buckets.push_back(static_cast<std::uint8_t>(nn_bucket(pos)));
    set.scores.push_back(static_cast<std::int16_t>(score));
    set.results.push_back(static_cast<std::int16_t>(result));
}

RecordVerdict record_position(const std::uint8_t* bytes, ThreadData& td, TrainingRecord& record) {
    if (!decode_training_record(bytes, record))
        return RECORD_DAMAGED;
    if (!plausible_material(record))
        return RECORD_UNUSABLE;
    const std::string fen = training_record_fen(record);
    Position& pos         = td.board.pos;
    if (parse_fen(pos, fen.c_str()) != FEN_OK || !position_is_searchable(pos))
        return RECORD_UNUSABLE;
    if (checker_of(pos, pos.side) != NO_SQUARE)
        return RECORD_IN_CHECK;
    return RECORD_KEPT;
}

bool for_each_record(const std::string& path, std::uint64_t limit, const RecordVisitor& visit) {
    if (platform_is_directory(path.c_str()))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::vector<char> chunk(static_cast<std::size_t>(TRAIN_READ_RECORDS) * TRAINING_RECORD_BYTES);
    std::uint8_t bytes[TRAINING_RECORD_BYTES];
    std::uint64_t seen = 0;
    for (;;) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const std::size_t got = static_cast<std::size_t>(in.gcount());
        const std::size_t n   = got / TRAINING_RECORD_BYTES;
        for (std::size_t r = 0; r < n; ++r) {
            if (seen++ >= limit)
                return true;
            for (int b = 0; b < TRAINING_RECORD_BYTES; ++b)
                bytes[b] = static_cast<std::uint8_t>(chunk[r * TRAINING_RECORD_BYTES + b]);
            visit(bytes);
        }
        if (got < chunk.size()) {
            if (got % TRAINING_RECORD_BYTES != 0)
                std::printf("%s ends with %zu bytes that are no whole record, ignored\n",
                            path.c_str(), got % TRAINING_RECORD_BYTES);
            return true;
        }
    }
}

bool capture_wins_material(const Position& pos) {
    const int side   = pos.side;
    Bitboard targets = pos.pieces[make_code(side ^ 1, 0)] & ~pieces_of(pos, side ^ 1, KING);
    while (targets)
        if (see(pos, side, NO_SQUARE, pop_lsb(targets)) > 0)
            return true;
    return false;
}

void count_verdict(LoadCounts& counts, RecordVerdict verdict) {
    ++counts.records;
    switch (verdict) {
    case RECORD_KEPT:
        ++counts.kept;
        break;
    case RECORD_IN_CHECK:
        ++counts.in_check;
        break;
    case RECORD_UNUSABLE:
        ++counts.unusable;
        break;
    case RECORD_DAMAGED:
        ++counts.damaged;
        break;
    }
}

bool load_training_files(const std::vector<std::string>& paths, TrainingSet& set,
                         LoadCounts& counts, std::string& error, const LoadSettings& how) {
    ThreadData* td = thread_data_create();
    if (!td) {
        error = "out of memory for the decoding thread";
        return false;
    }
    bool ok = true;
    for (const std::string& path : paths) {
        const auto visit = [&](const std::uint8_t* bytes) {
            // Positions are indexed by 32 bits, features included.
            if (set.features.size() > UINT32_MAX - NN_MAX_FEATURES) {
                ++counts.over_capacity;
                return;
            }
            TrainingRecord record;
            const RecordVerdict verdict = record_position(bytes, *td, record);
            if (verdict == RECORD_KEPT && how.quiet_only && capture_wins_material(td->board.pos)) {
                ++counts.records;
                ++counts.not_quiet;
                return;
            }
            count_verdict(counts, verdict);
            if (verdict != RECORD_KEPT)
                return;
            if (how.hce_labels) {
                // Ply 1: computed afresh, never from the evaluation cache.
                const int score =
                    std::clamp(hce_evaluate(td->board.pos, td->eval, td->board.pos.side, 1),
                               -NN_SCORE_LIMIT, NN_SCORE_LIMIT);
                add_position(set, td->board.pos, score, result_value(win_probability(score)));
                return;
            }
            add_position(set, td->board.pos,
                         how.first_score ? record.score_first : record.score_second,
                         record.result_value);
        };
        if (!for_each_record(path, UINT64_MAX, visit)) {
            error = "can't open " + path;
            if (platform_is_directory(path.c_str()))
                error += ": it is a directory (name its record files)";
            ok = false;
            break;
        }
    }
    thread_data_destroy(td);
    return ok;
}

} // namespace tarn
