// A network file of any bytes loaded through the NN_File option. A file the loader accepts
// must evaluate positions of every phase, from scratch and move by move, without reading
// outside its weights (the address sanitizer watches); one it refuses must leave the network
// in force as it was.

#include <string>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "eval/nn.h"
#include "eval/nn_file.h"
#include "frontend/engine_options.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/thread_data.h"

namespace tarn::fuzz {

namespace {

constexpr const char* EVALUATED_FENS[] = {
    START_FEN,
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
    "4k3/1P6/8/8/8/8/6p1/4K3 b - -",
    "2q3k1/8/8/8/8/8/8/1Q4K1 w - -",
};
constexpr int MOVES_PLAYED = 6;

void evaluate_positions() {
    ThreadData& td = scratch_thread();
    for (const char* fen : EVALUATED_FENS) {
        parse_fen(td.board.pos, fen);
        td.board.search_ply = 1;
        nn_evaluate(td.board.pos, td.eval, td.board.search_ply);
        // Down a line of first moves, so the first layer is kept by difference.
        for (int i = 0; i < MOVES_PLAYED; ++i) {
            const std::vector<Move> moves = legal_moves(td.board.pos);
            if (moves.empty())
                break;
            make_move(td.board.pos, moves[moves.size() / 2]);
            nn_evaluate(td.board.pos, td.eval, td.board.search_ply);
        }
    }
}

} // namespace

int fuzz_network(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    const std::string path     = write_scratch("weights.net", data, size);
    const std::uint32_t before = network.generation;
    copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, path.c_str());
    const NnLoadResult result = load_network(live_options.NN_File);
    if (result != NN_LOADED) {
        if (network.generation != before || !nn_ready())
            fail("a refused network file changed the network in force");
        return 0;
    }
    evaluate_positions();
    return 0;
}

} // namespace tarn::fuzz
