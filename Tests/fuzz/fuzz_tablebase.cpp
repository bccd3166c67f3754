// Tablebase files of any contents, mapped and probed as the search probes them. The first
// byte picks a table of three or four pieces; the next four bytes (little-endian) give the
// length of its WDL file, whose bytes follow, and the rest of the input is its DTZ file.
// Positions of that material, with either side strong and either side to move, are probed
// for WDL, DTZ and the root move; a root move, when given, must be legal.

#include <algorithm>
#include <iterator>
#include <string>

#include "core/fen.h"
#include "core/movegen.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/thread_data.h"
#include "tb/syzygy_probe.h"
#include "tb/tb_probe.h"

namespace tarn::fuzz {

namespace {

// Tables whose real files are small enough for a seed corpus (the last six with WDL alone).
constexpr const char* TABLES[] = {"KRvK",  "KQvK",  "KPvK",  "KNvKN", "KBvKB", "KRvKR",
                                  "KNNvK", "KBvKN", "KRPvK", "KQvKQ", "KQQvK", "KPPvK",
                                  "KRvKB", "KQPvK", "KQRvK", "KRRvK"};
constexpr int TABLE_COUNT      = static_cast<int>(std::size(TABLES));
constexpr int POSITIONS        = 24;
constexpr int PLACEMENT_TRIES  = 64;
constexpr std::size_t HEADER   = 5;

// A small generator with a fixed seed per table, so an input always probes the same squares.
std::uint32_t next_random(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// A FEN with the pieces of `white` and `black` (letters, kings first) on random squares.
std::string random_fen(const std::string& white, const std::string& black, bool black_to_move,
                       std::uint32_t& state) {
    char board[64]   = {};
    const auto place = [&](char letter) {
        for (;;) {
            const int sq         = static_cast<int>(next_random(state) % 64);
            const bool pawn_rank = sq < 8 || sq >= 56;
            if (board[sq] || ((letter == 'P' || letter == 'p') && pawn_rank))
                continue;
            board[sq] = letter;
            return;
        }
    };
    for (const char c : white)
        place(c);
    for (const char c : black)
        place(static_cast<char>(c - 'A' + 'a'));
    std::string fen;
    for (int rank = 7; rank >= 0; --rank) {
        int empty = 0;
        for (int file = 0; file < 8; ++file) {
            const char c = board[rank * 8 + file];
            if (!c) {
                ++empty;
                continue;
            }
            if (empty)
                fen += static_cast<char>('0' + empty);
            empty = 0;
            fen += c;
        }
        if (empty)
            fen += static_cast<char>('0' + empty);
        if (rank)
            fen += '/';
    }
    return fen + (black_to_move ? " b - -" : " w - -");
}

void probe_material(const std::string& name, std::uint32_t seed) {
    const std::size_t v      = name.find('v');
    const std::string strong = name.substr(0, v), weak = name.substr(v + 1);
    ThreadData& td      = scratch_thread();
    std::uint32_t state = seed;
    for (int i = 0; i < POSITIONS; ++i) {
        const bool swapped = i % 4 >= 2;
        const bool black   = i % 2 == 1;
        for (int t = 0; t < PLACEMENT_TRIES; ++t) {
            const std::string fen = swapped ? random_fen(weak, strong, black, state)
                                            : random_fen(strong, weak, black, state);
            if (parse_fen(td.board.pos, fen.c_str()) != FEN_OK ||
                !position_is_searchable(td.board.pos))
                continue;
            td.board.search_ply   = 1;
            const ProbePosition p = tb_probe_position(td.board.pos, static_cast<unsigned>(i));
            int wdl = 0, dtz = 0;
            probe_wdl(p, wdl);
            probe_dtz(p, dtz);
            RootProbe root;
            if (probe_root(p, root)) {
                bool found = false;
                for (const Move m : legal_moves(td.board.pos))
                    found |= move_from(m) == root.from && move_to(m) == root.to;
                if (!found)
                    fail("root probe named a move that is not legal in " + fen);
            }
            break;
        }
    }
}

} // namespace

int fuzz_tablebase(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    syzygy_reset({});
    if (size < HEADER)
        return 0;
    const int table        = data[0] % TABLE_COUNT;
    const std::string name = TABLES[table];
    std::size_t wdl_bytes  = data[1] | data[2] << 8 | data[3] << 16 | std::size_t{data[4]} << 24;
    wdl_bytes              = std::min(wdl_bytes, size - HEADER);
    write_scratch(name + ".rtbw", data + HEADER, wdl_bytes);
    write_scratch(name + ".rtbz", data + HEADER + wdl_bytes, size - HEADER - wdl_bytes);
    const std::string dir = scratch_path("");
    syzygy_reset({dir.substr(0, dir.size() - 1)});
    syzygy_register(name.c_str(), 0);
    probe_material(name, 2463534242u + static_cast<std::uint32_t>(table));
    syzygy_reset({});
    return 0;
}

} // namespace tarn::fuzz
