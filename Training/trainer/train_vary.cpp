#include "trainer/train_vary.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <vector>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/staged_file.h"
#include "frontend/startup.h"
#include "search/thread_data.h"
#include "tools/epd.h"

namespace tarn {

namespace {

// Plays `moves` random legal moves; false when the game ends or the side to move is in check.
bool play_random(ThreadData* td, std::mt19937& rng, int moves) {
    Position& pos = td->board.pos;
    for (int i = 0; i <= moves; ++i) {
        const std::vector<Move> legal = legal_moves(pos);
        if (legal.empty())
            return false;
        if (i == moves)
            return checker_of(pos, pos.side) == NO_SQUARE;
        make_game_move(pos, legal[rng() % legal.size()]);
    }
    return false;
}

} // namespace

bool vary_positions(const std::string& input, const std::string& output, int per,
                    std::uint32_t seed, VaryCount& count) {
    std::ifstream in(input);
    if (!in) {
        std::fprintf(stderr, "tarn-train: can't open %s\n", input.c_str());
        return false;
    }
    // The positions go to a side file that replaces the output once complete.
    StagedFile staged;
    if (!staged_open(staged, output, false)) {
        std::fprintf(stderr, "tarn-train: can't write %s\n", output.c_str());
        return false;
    }
    std::FILE* out = staged.file;
    init_engine_tables();
    ThreadData* td = thread_data_create();
    if (!td) {
        staged_discard(staged);
        return false;
    }
    std::mt19937 rng(seed);
    std::string line;
    bool written = true;
    while (read_text_line(in, line)) {
        if (line.empty() || is_epd_remark(line))
            continue;
        const std::string position = parse_epd_record(line).position;
        if (!set_epd_position(td->board.pos, position)) {
            ++count.skipped;
            continue;
        }
        ++count.read;
        for (int i = 0; i < per; ++i) {
            if (i > 0 && !set_epd_position(td->board.pos, position))
                break;
            if (!play_random(td, rng, 1 + i % 2))
                continue;
            const std::string fen = write_fen(td->board.pos, false);
            written               = std::fprintf(out, "%s\n", fen.c_str()) > 0 && written;
            ++count.written;
        }
    }
    thread_data_destroy(td);
    if (!written)
        staged_discard(staged);
    written = written && staged_commit(staged);
    if (!written)
        std::fprintf(stderr, "tarn-train: can't write %s\n", output.c_str());
    return written;
}

} // namespace tarn
