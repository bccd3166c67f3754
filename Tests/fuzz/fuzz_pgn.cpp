// PGN text through the three readers of games: the console's "load", the book builder and
// the scanner of engine games. What each leaves behind must hold: a consistent game record
// that takes back to its start, a book that reads back without damage, and positions whose
// FEN and best move read back.

#include <sstream>
#include <string>

#include "book/book.h"
#include "book/book_build.h"
#include "core/fen.h"
#include "frontend/game_record.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/thread_data.h"
#include "tools/epd.h"
#include "tools/scan_pgn.h"

namespace tarn::fuzz {

namespace {

constexpr int SCAN_VARIANTS = 4;

// Every key of a built book finds its entries, never a damaged file.
void check_book(const std::string& path) {
    const std::string bytes = read_file(path);
    if (bytes.size() % BOOK_ENTRY_BYTES != 0)
        fail("built book is not whole entries: " + std::to_string(bytes.size()) + " bytes");
    const std::size_t entries = bytes.size() / BOOK_ENTRY_BYTES;
    std::uint64_t last_key    = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        const BookEntry e = book_decode_entry(reinterpret_cast<const unsigned char*>(bytes.data()) +
                                              i * BOOK_ENTRY_BYTES);
        if (e.key < last_key)
            fail("built book out of key order at entry " + std::to_string(i));
        last_key = e.key;
        BookCandidates found;
        if (book_lookup(path.c_str(), e.key, found) != BOOK_FOUND)
            fail("built book does not find its own key at entry " + std::to_string(i));
    }
}

// A line of scanner output that holds a position: its FEN and its best move read back.
void check_scanned_line(const std::string& line) {
    if (line.empty() || line[0] == '[' || line.find(';') == std::string::npos)
        return;
    const EpdRecord record = parse_epd_record(line);
    Position& pos          = scratch_thread().board.pos;
    if (!set_epd_position(pos, record.position))
        fail("scanner wrote a position it cannot read: " + line);
    scratch_thread().board.search_ply = 1;
    Move m                            = NULL_MOVE;
    if (!record.bm.empty() && !read_written_move(pos, record.bm, m))
        fail("scanner wrote a best move it cannot read: " + line);
}

} // namespace

int fuzz_pgn_load(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    reset_engine();
    std::istringstream in(as_text(data, size));
    read_game(in, "");
    ThreadData& game = *main_thread;
    if (!position_is_consistent(game.board.pos))
        fail("loaded game ends in an inconsistent position");
    int taken = 0;
    while (game_take_back())
        ++taken;
    if (!position_is_consistent(game.board.pos) || game.board.game_ply != 0)
        fail("loaded game does not take back to its start (" + std::to_string(taken) + " moves)");
    return 0;
}

int fuzz_pgn_book(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    reset_engine();
    const std::string pgn  = write_scratch("games.pgn", data, size);
    const std::string book = scratch_path("book.bin");
    const BookBuildCounts counts =
        build_book_file(scratch_thread().board, pgn.c_str(), book.c_str());
    if (counts.written)
        check_book(book);
    return 0;
}

int fuzz_pgn_scan(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    reset_engine();
    if (size == 0)
        return 0;
    const int variant     = 1 + data[0] % SCAN_VARIANTS;
    const std::string pgn = write_scratch("games.pgn", data + 1, size - 1);
    const std::string out = scratch_path("scan.epd");
    scan_pgn(pgn, out, variant);
    if (variant > 1)
        for (const std::string& line : split_lines(read_file(out)))
            check_scanned_line(line);
    for (const std::string& line : split_lines(read_file(SCAN_MISTAKES_FILE)))
        check_scanned_line(line);
    return 0;
}

} // namespace tarn::fuzz
