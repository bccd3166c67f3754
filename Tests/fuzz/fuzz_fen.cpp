// FEN and X-FEN text. Whatever the reader makes of the text must be a consistent position
// (keys, bitboards, material and king squares agree with the board) unless it has two kings of
// a colour, which the engine refuses anyway; a position the engine accepts must be
// written back and read again to the same position, and its moves must make and unmake to
// the same position.

#include <string>

#include "core/board.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/thread_data.h"

namespace tarn::fuzz {

int fuzz_fen(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    const std::string text = as_text(data, size);
    ThreadData& td         = scratch_thread();
    Position& pos          = td.board.pos;
    const int read         = parse_fen(pos, text.c_str());
    // With two kings of a colour no king square can be right; the engine refuses such positions.
    const bool one_king_each =
        popcount(pieces_of(pos, WHITE, KING)) <= 1 && popcount(pieces_of(pos, BLACK, KING)) <= 1;
    if (one_king_each && !position_is_consistent(pos))
        fail("FEN read into an inconsistent position: " + text);
    board_text(pos);
    if (read != FEN_OK || !position_is_searchable(pos))
        return 0;

    const std::string written = write_fen(pos, true);
    const Position before     = pos;
    ThreadData& game          = *main_thread;
    if (parse_fen(game.board.pos, written.c_str()) != FEN_OK ||
        !position_is_searchable(game.board.pos))
        fail("written FEN not accepted: " + written + " (from " + text + ")");
    if (!same_position(before, game.board.pos))
        fail("written FEN reads back to another position: " + written + " (from " + text + ")");
    if (write_fen(game.board.pos, true) != written)
        fail("FEN written twice differs: " + written + " (from " + text + ")");

    td.board.search_ply = 1;
    for (const Move m : legal_moves(pos)) {
        make_move(pos, m);
        if (!position_is_consistent(pos))
            fail("inconsistent after a move from " + written);
        unmake_move(pos);
        if (!same_position(before, pos))
            fail("a move does not unmake in " + written);
    }
    parse_fen(game.board.pos, START_FEN);
    return 0;
}

} // namespace tarn::fuzz
