// A Polyglot book file of any bytes, probed as the engine probes it: lookups of the keys of
// its own first, middle and last entries and of a few positions, the weighted choice of a book
// move for those positions (which must be legal when one is given), the front end's book move
// with both book options naming the file, and the console's candidate list.

#include <string>

#include "book/book.h"
#include "core/fen.h"
#include "frontend/engine_options.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/thread_data.h"

namespace tarn::fuzz {

namespace {

constexpr const char* PROBED_FENS[] = {
    START_FEN,
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -",
    "8/P7/8/8/8/8/k6K/8 w - -",
};

std::uint64_t entry_key(const std::uint8_t* data, std::size_t entry) {
    return book_decode_entry(data + entry * BOOK_ENTRY_BYTES).key;
}

} // namespace

int fuzz_book(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    reset_engine();
    const std::string path = write_scratch("book.bin", data, size);
    BookCandidates found;
    const std::size_t entries = size / BOOK_ENTRY_BYTES;
    if (entries > 0) {
        for (const std::size_t e : {std::size_t{0}, entries / 2, entries - 1}) {
            if (book_lookup(path.c_str(), entry_key(data, e), found) == BOOK_FOUND &&
                (found.count < 1 || found.count > BOOK_MAX_CANDIDATES))
                fail("book lookup found " + std::to_string(found.count) + " candidates");
            for (int i = 0; i < found.count && i < BOOK_MAX_CANDIDATES; ++i)
                from_polyglot(found.entry[i].move);
        }
    }
    ThreadData& td = scratch_thread();
    for (const char* fen : PROBED_FENS) {
        parse_fen(td.board.pos, fen);
        td.board.search_ply = 1;
        book_lookup(path.c_str(), book_key(td.board.pos), found);
        const Move m = probe_book(td.board.pos, path.c_str());
        if (m != NULL_MOVE && !is_legal_move(td.board.pos, m))
            fail(std::string("book gave an illegal move in ") + fen);
    }
    live_options.OwnBook = 1;
    copy_option_text(live_options.OwnBook_File, OPTION_PATH_CHARS, path.c_str());
    copy_option_text(live_options.OwnBook2_File, OPTION_PATH_CHARS, path.c_str());
    live_options.OwnBook2_Depth = 60;
    const Move game_move        = book_move_for_game(main_thread->board.pos);
    if (game_move != NULL_MOVE && !is_legal_move(main_thread->board.pos, game_move))
        fail("book gave an illegal move for the game");
    book_show_candidates(main_thread->board.pos);
    reset_engine();
    return 0;
}

} // namespace tarn::fuzz
