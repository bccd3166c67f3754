#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "book/book.h"
#include "core/attacks.h"
#include "core/fen.h"
#include "core/movegen.h"
#include "eval/eval_params.h"
#include "eval/hce.h"
#include "eval/nn_file.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "frontend/startup.h"
#include "frontend/switches.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/threads.h"
#include "search/tt.h"
#include "tb/tb_probe.h"

namespace tarn::fuzz {

namespace {

constexpr int FUZZ_HASH_MB        = 1;
constexpr double FUZZ_ELO_CEILING = 3000.0; // what a speed calibration might have found
constexpr double FUZZ_NPS         = 1000000.0;

bool engine_ready = false;
std::string scratch_dir;
ThreadData* scratch_record   = nullptr;
std::uint32_t network_in_use = 0; // generation of the built-in network once loaded

void remove_scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_dir, ignored);
}

// Output to /dev/null, input at its end: the fuzzer's own report goes to the error stream.
void quiet_process() {
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd < 0)
        return;
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);
    close(null_fd);
}

void load_builtin_network() {
    copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, NN_EMBEDDED_NAME);
    load_network(live_options.NN_File);
    network_in_use = network.generation;
}

} // namespace

void engine_setup() {
    if (engine_ready)
        return;
    engine_ready = true;
    quiet_process();
    std::srand(1);
    char pattern[] = "/tmp/tarn-fuzz-XXXXXX";
    if (!mkdtemp(pattern))
        fail("cannot make a scratch folder");
    scratch_dir = pattern;
    std::atexit(remove_scratch);
    main_thread    = thread_data_create();
    scratch_record = thread_data_create();
    if (!main_thread || !scratch_record)
        fail("cannot allocate the game records");
    init_engine_tables();
    write_startup_defaults();
    search_state.threads = 1;
    live_options.Hash    = FUZZ_HASH_MB;
    tt_resize(FUZZ_HASH_MB);
    saved_options = live_options;
    init_eval_params();
    load_builtin_network();
    search_state.elo_ceiling     = FUZZ_ELO_CEILING;
    search_state.calibration_nps = FUZZ_NPS;
    parse_fen(main_thread->board.pos, START_FEN);
    book_seed_random(1);
}

void reset_engine() {
    SearchState& s = search_state;
    if (search_control.mode != MODE_IDLE) {
        search_control.stop = 1;
        if (search_control.mode == MODE_REQUESTED || search_control.mode == MODE_PONDER_REQ)
            search_control.mode = MODE_IDLE;
        else
            wait_for_search();
    }
    const double ceiling = s.elo_ceiling;
    write_startup_defaults();
    s.elo_ceiling     = ceiling;
    s.threads         = 1;
    s.multipv         = 1;
    s.search_age      = 0;
    s.target_nps      = 0.0;
    s.throttle_on     = 0;
    live_options.Hash = FUZZ_HASH_MB;
    if (s.hash_mb != FUZZ_HASH_MB || !transposition_table.words)
        tt_resize(FUZZ_HASH_MB);
    s.use_hash    = 1;
    saved_options = live_options;
    if (network.generation != network_in_use || !nn_ready())
        load_builtin_network();
    if (tb_largest() > 0)
        tb_init(TB_NO_PATH);
    close_log();
    parse_fen(main_thread->board.pos, START_FEN);
    book_seed_random(1);
    std::srand(1);
}

void reset_search_tables() {
    tt_clear();
    init_eval_params();
}

std::string as_text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string scratch_path(const std::string& name) {
    return scratch_dir + "/" + name;
}

std::string write_scratch(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratch_path(name);
    std::FILE* f           = std::fopen(path.c_str(), "wb");
    if (!f)
        fail("cannot write the scratch file " + path);
    if (size && std::fwrite(data, 1, size, f) != size)
        fail("cannot write the scratch file " + path);
    std::fclose(f);
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ThreadData& scratch_thread() {
    return *scratch_record;
}

bool same_position(const Position& a, const Position& b) {
    return std::memcmp(a.board, b.board, sizeof a.board) == 0 &&
           std::memcmp(a.pieces, b.pieces, sizeof a.pieces) == 0 &&
           std::memcmp(a.castle_loss, b.castle_loss, sizeof a.castle_loss) == 0 &&
           std::memcmp(a.castle_path, b.castle_path, sizeof a.castle_path) == 0 &&
           std::memcmp(a.castle_rook, b.castle_rook, sizeof a.castle_rook) == 0 &&
           std::memcmp(a.king_sq, b.king_sq, sizeof a.king_sq) == 0 && a.key == b.key &&
           a.pawn_key == b.pawn_key && a.side == b.side && a.ep_square == b.ep_square &&
           a.castle_rights == b.castle_rights && a.rule50 == b.rule50;
}

bool is_legal_move(Position& pos, Move move) {
    for (const Move m : legal_moves(pos))
        if (m == move)
            return true;
    return false;
}

void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace tarn::fuzz
