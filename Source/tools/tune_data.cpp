#include "tools/tune_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/tt.h"
#include "tb/tb_probe.h"
#include "tools/epd.h"
#include "tools/tool_search.h"

namespace tarn {

namespace {

constexpr int CE_ABSENT           = -9999;  // tuning sets: "ce" of a record without one
constexpr int SCORE_ABSENT        = -10000; // conversion: "ce" or "sc" of a record without one
constexpr float TUNE_NOISE        = 99999.0f;
constexpr int WRITE_CHUNK_RECORDS = 65536;

// Where a tuning-set run writes and what it has counted.
struct TuneRun {
    std::FILE* out = nullptr;
    int variant    = 1;
    int searches   = 0;
    int written    = 0;
};

// The labels of one record as a tuning set reads and rewrites them.
struct TuneLabels {
    bool has_ce   = false;
    bool has_gr   = false;
    int ce        = CE_ABSENT;
    int best      = 0;   // search score, side to move's view
    double result = 0.0; // game result, or the win probability of "ce" without one
};

bool same_file(const std::string& a, const std::string& b) {
    std::error_code error;
    return a == b || std::filesystem::equivalent(a, b, error);
}

// "-mktune2" labels positions the tablebases know by their true result. A path the user gave
// (switch or configuration file) is kept; otherwise the usual location is tried.
void prepare_tuning_tablebases() {
    const char* path = live_options.SyzygyPath;
    if (!path[0] || std::strcmp(path, "<empty>") == 0)
        copy_option_text(live_options.SyzygyPath, OPTION_PATH_CHARS, TBX_PATH);
    // The search then reports root results that correct the labels.
    tb_init(live_options.SyzygyPath);
}

// The search score corrected by the root's tablebase result.
int tablebase_corrected(int score) {
    switch (search_results.root_tb_result) {
    case TB_WIN:
        return std::max(score, TB_WIN_SCORE);
    case TB_LOSS:
        return std::min(score, -TB_WIN_SCORE);
    case TB_DRAW:
        return 0;
    default:
        return score;
    }
}

// Variant 1: the record's labels moved to the quiet position at the end of the principal
// variation; an odd number of moves hands them to the other side.
void write_variation_end(std::FILE* out, TuneLabels labels) {
    Position& pos = main_thread->board.pos;
    int made      = 0;
    for (int i = 1; i < PV_LENGTH && search_results.pv[i]; ++i) {
        if (!tt_move_is_valid(pos, search_results.pv[i]))
            break;
        make_game_move(pos, search_results.pv[i]);
        ++made;
    }
    if (made % 2) {
        labels.ce     = -labels.ce;
        labels.best   = -labels.best;
        labels.result = 1.0 - labels.result;
    }
    const std::string fen = write_fen(pos, false);
    if (labels.has_ce && labels.has_gr)
        std::fprintf(out, "%s ce %d; gr %0.1f;\n", fen.c_str(), labels.ce, labels.result);
    else if (labels.has_gr)
        std::fprintf(out, "%s sc %d; gr %0.1f;\n", fen.c_str(), labels.best, labels.result);
    else if (labels.has_ce)
        std::fprintf(out, "%s ce %d;\n", fen.c_str(), labels.ce);
    else
        std::fprintf(out, "%s sc %d;\n", fen.c_str(), labels.best);
}

// Variant 2: the record's own position with the search score added.
void write_search_label(std::FILE* out, const std::string& position, const TuneLabels& labels) {
    const char* p = position.c_str();
    if (labels.has_ce && labels.has_gr)
        std::fprintf(out, "%s ce %d; sc %d; gr %0.1f;\n", p, labels.ce, labels.best, labels.result);
    else if (labels.has_gr)
        std::fprintf(out, "%s sc %d; gr %0.1f;\n", p, labels.best, labels.result);
    else
        std::fprintf(out, "%s sc %d;\n", p, labels.best);
}

// Searches and writes one record of a tuning set, unless its labels contradict each other or
// the search.
void tune_record(const std::string& line, int number, const SearchLimits& limits, TuneRun& run) {
    const EpdRecord record = parse_epd_record(line);
    TuneLabels labels;
    labels.has_ce = !record.ce.empty();
    labels.has_gr = !record.gr.empty();
    if ((labels.has_ce && !epd_int(record.ce, labels.ce)) ||
        (labels.has_gr && !epd_result(record.gr, labels.result))) {
        print_format("info string line %d has an unreadable ce or gr, skipped", number);
        return;
    }
    const double p0 = win_probability(labels.ce);
    if (!labels.has_gr)
        labels.result = p0;
    if (labels.has_ce && labels.has_gr && result_contradicts(labels.result, p0))
        return;
    Position& pos = main_thread->board.pos;
    if (!set_epd_position(pos, record.position)) {
        print_format("info string line %d has no valid position, skipped", number);
        return;
    }
    if (run.variant == 2 && checker_of(pos, pos.side) != NO_SQUARE)
        return;
    search_tool_position(limits, nullptr);
    ++run.searches;
    labels.best = tablebase_corrected(search_results.best_score);
    if (labels.has_gr && result_contradicts(labels.result, win_probability(labels.best)))
        return;
    if (run.variant == 1) {
        write_variation_end(run.out, labels);
    } else {
        if (std::abs(search_results.root_qsearch - search_results.root_eval) > TUNE_QSEARCH_GAP)
            return;
        write_search_label(run.out, record.position, labels);
    }
    std::fflush(run.out);
    if (run.written % TUNE_PROGRESS_INTERVAL == 0)
        print_direct(" n= %d\n", run.written);
    ++run.written;
}

// The training record of one line; false (with a message for bad input) when it has none.
bool make_training_record(const std::string& line, int number, TrainingRecord& out) {
    const EpdRecord record = parse_epd_record(line);
    int ce = SCORE_ABSENT, sc = SCORE_ABSENT;
    double result = -1.0;
    if ((!record.ce.empty() && !epd_int(record.ce, ce)) ||
        (!record.sc.empty() && !epd_int(record.sc, sc)) ||
        (!record.gr.empty() && !epd_result(record.gr, result))) {
        print_format("info string line %d has an unreadable ce, sc or gr, skipped", number);
        return false;
    }
    if (ce == SCORE_ABSENT && sc == SCORE_ABSENT)
        return false;
    const int first  = ce != SCORE_ABSENT ? ce : sc;
    const int second = sc != SCORE_ABSENT ? sc : ce;
    if (std::max(std::abs(first), std::abs(second)) > INT16_MAX) {
        print_format("info string line %d has a score beyond 16 bits, skipped", number);
        return false;
    }
    if (result < 0.0)
        result = win_probability(first);
    Position& pos = main_thread->board.pos;
    if (!set_epd_position(pos, record.position)) {
        print_format("info string line %d has no valid position, skipped", number);
        return false;
    }
    out = training_record_of(pos, first, second, result);
    return true;
}

bool write_bytes(std::FILE* out, const std::vector<std::uint8_t>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

void put_int16(std::uint8_t* at, std::int16_t value) {
    const auto bits = static_cast<std::uint16_t>(value);
    at[0]           = static_cast<std::uint8_t>(bits & 0xFF);
    at[1]           = static_cast<std::uint8_t>(bits >> 8);
}

} // namespace

double win_probability(double centipawns) {
    return 1.0 / (1.0 + std::exp(-WIN_PROBABILITY_SLOPE * centipawns));
}

bool result_contradicts(double result, double probability) {
    return (result == 1.0 && probability < 0.25) || (result == 0.0 && probability > 0.75) ||
           (result == 0.5 && (probability < 0.15 || probability > 0.85));
}

int result_value(double result) {
    if (result < RESULT_CERTAIN)
        return -RESULT_VALUE_WIN;
    if (result > 1.0 - RESULT_CERTAIN)
        return RESULT_VALUE_WIN;
    return static_cast<int>(RESULT_VALUE_SCALE * std::log(1.0 / result - 1.0));
}

std::string training_file_name(const std::string& input) {
    const std::size_t at = input.rfind(".epd");
    if (at == std::string::npos)
        return "";
    return input.substr(0, at) + ".bin" + input.substr(at + 4);
}

void pack_training_record(const TrainingRecord& record, std::uint8_t* bytes) {
    for (int i = 0; i < 32; ++i)
        bytes[i] = static_cast<std::uint8_t>((record.board[2 * i] & 15) |
                                             ((record.board[2 * i + 1] & 15) << 4));
    bytes[32] = static_cast<std::uint8_t>((record.side << 4) | (record.castle_rights & 15));
    bytes[33] = record.ep_square;
    put_int16(bytes + 34, record.result_value);
    put_int16(bytes + 36, record.score_first);
    put_int16(bytes + 38, record.score_second);
}

TrainingRecord training_record_of(const Position& pos, int first, int second, double result) {
    TrainingRecord out;
    std::memcpy(out.board, pos.board, sizeof out.board);
    out.side          = pos.side;
    out.castle_rights = pos.castle_rights;
    out.ep_square     = pos.ep_square;
    // A position the tablebases know gets its true result; cursed wins and blessed losses,
    // like positions beyond the tables, keep the game's.
    switch (tb_probe_node(pos, TB_ROOT_PROBE_DEPTH)) {
    case TB_WIN:
        out.result_value = RESULT_VALUE_WIN;
        break;
    case TB_LOSS:
        out.result_value = -RESULT_VALUE_WIN;
        break;
    case TB_DRAW:
        out.result_value = 0;
        break;
    default:
        out.result_value = static_cast<std::int16_t>(result_value(result));
    }
    out.score_first  = static_cast<std::int16_t>(first);
    out.score_second = static_cast<std::int16_t>(second);
    return out;
}

void build_tuning_set(const std::string& input, const std::string& output, int variant,
                      const SearchLimits& limits, TypedLineHandler on_typed_line) {
    const std::string out_name = output.empty() ? TUNING_SET_FILE : output;
    if (same_file(input, out_name)) {
        print_format("info string %s is the input file, nothing done", out_name.c_str());
        return;
    }
    std::ifstream in;
    if (!open_tool_input(in, input))
        return;
    StagedFile staged;
    if (!open_tool_output(staged, out_name, false))
        return;
    TuneRun run;
    run.variant = variant;
    run.out     = staged.file;
    print_format("Creating file %s", out_name.c_str());
    run_settings.noise = TUNE_NOISE;
    if (limits.max_depth < TUNE_NO_HASH_DEPTH)
        search_state.use_hash = 0;
    if (variant == 2)
        prepare_tuning_tablebases();
    std::string line;
    for (int number = 1; read_text_line(in, line); ++number) {
        if (line.empty() || is_epd_remark(line))
            continue;
        if (static_cast<int>(line.size()) > TUNE_MAX_LINE_CHARS) {
            print_format("info string line %d is too long, skipped", number);
            continue;
        }
        const int searches = run.searches;
        tune_record(line, number, limits, run);
        // Typed commands are looked at only now and then, so that short searches stay cheap.
        if (run.searches != searches && run.searches % TUNE_POLL_INTERVAL == TUNE_POLL_INTERVAL - 1)
            poll_tool_input(on_typed_line);
        if (run_settings.quit)
            break;
    }
    close_tool_output(staged);
}

void convert_training_data(const std::string& input) {
    tb_init(live_options.SyzygyPath);
    const std::string out_name = training_file_name(input);
    if (out_name.empty()) {
        print_format("info string %s is not an .epd file, nothing done", input.c_str());
        return;
    }
    std::ifstream in;
    if (!open_tool_input(in, input))
        return;
    // Records go to a side file that replaces the output only once all of them are written.
    StagedFile staged;
    if (!open_tool_output(staged, out_name, true))
        return;
    std::FILE* out = staged.file;
    std::vector<std::uint8_t> chunk;
    chunk.reserve(std::size_t{WRITE_CHUNK_RECORDS} * TRAINING_RECORD_BYTES);
    print_direct("allocated %.0f Mbytes for training data.\n",
                 chunk.capacity() / (1024.0 * 1024.0));
    print_direct("reading positions from file %s.\n", input.c_str());
    std::uint32_t count = 0;
    bool written        = true;
    std::string line;
    for (int number = 1; count < TRAINING_RECORD_CAP && read_text_line(in, line); ++number) {
        const int chars = static_cast<int>(line.size()) + 1;
        if (is_epd_remark(line) || chars < TRAINING_MIN_LINE_CHARS)
            continue;
        if (chars - 1 > TUNE_MAX_LINE_CHARS) {
            print_format("info string line %d is too long, skipped", number);
            continue;
        }
        TrainingRecord record;
        if (!make_training_record(line, number, record))
            continue;
        chunk.resize(chunk.size() + TRAINING_RECORD_BYTES);
        pack_training_record(record, chunk.data() + chunk.size() - TRAINING_RECORD_BYTES);
        ++count;
        if (chunk.size() == chunk.capacity()) {
            written = written && write_bytes(out, chunk);
            chunk.clear();
        }
    }
    written = write_bytes(out, chunk) && written;
    print_direct("read %.0f positions.\n\n", static_cast<double>(count));
    if (!written) {
        staged_discard(staged);
        print_format("info string can't write %s", out_name.c_str());
        return;
    }
    if (!close_tool_output(staged))
        return;
    print_direct("stored %d positions in %s.\n\n", static_cast<int>(count), out_name.c_str());
}

} // namespace tarn
