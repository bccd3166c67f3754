// Move text in every form the engine reads. The first line is a FEN; when the engine would
// not accept it the start position is used and the line is read as move text too. In the
// position, every legal move's coordinate text (as UCI sends it, standard and Chess960) and
// algebraic text must read back to that very move. Every further line is read by each move
// reader in turn; what a reader accepts must be a legal move, which must then make and unmake
// cleanly, and the line is played when it was legal so that later lines start elsewhere.

#include <string>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "frontend/run_settings.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/thread_data.h"
#include "tools/epd.h"

namespace tarn::fuzz {

namespace {

constexpr std::size_t MAX_LINES = 32;

std::string move_name(const Position& pos, Move m) {
    return move_to_coord(pos, pos.side, m, run_move_style()) + " in " + write_fen(pos, false);
}

// True when every castling right has its king on the e-file and its rook in the corner, as in
// standard chess. Elsewhere a castling king may step one square or none, and the coordinate
// text of its destination can name a plain king move as well: such positions are Chess960
// positions, whose castling reads as king takes rook.
bool has_standard_castling(const Position& pos) {
    for (int r = 0; r < 4; ++r) {
        if (!(pos.castle_rights & (1 << r)))
            continue;
        if (file_of(pos.king_sq[r / 2]) != 4 || file_of(pos.castle_rook[r]) != (r % 2 ? 0 : 7))
            return false;
    }
    return true;
}

// Every legal move's texts read back to it, in Chess960 mode and, for positions of standard
// chess, in standard mode too.
void check_round_trips(Position& pos) {
    const bool standard = has_standard_castling(pos);
    for (const Move m : legal_moves(pos)) {
        for (const std::uint8_t frc : {0, 1}) {
            if (!frc && !standard)
                continue;
            run_settings.chess960 = frc;
            const MoveTexts t     = move_to_san(pos, m, run_move_style());
            for (const std::string& text : {t.coord, t.san}) {
                Move read = NULL_MOVE;
                if (!parse_move(pos, text.c_str(), read, run_move_style()) || read != m)
                    fail("text '" + text + "' (Chess960 " + std::to_string(frc) +
                         ") does not read back to " + move_name(pos, m));
            }
            const std::string uci = move_to_coord(pos, pos.side, m, run_move_style());
            const Move from_wire  = find_legal_move(pos, parse_coord_move(pos, uci.c_str()));
            if (from_wire != m)
                fail("coordinate text '" + uci + "' (Chess960 " + std::to_string(frc) +
                     ") does not read back to " + move_name(pos, m));
        }
        run_settings.chess960 = 0;
    }
}

// A move a reader accepted: legal, and it makes and unmakes cleanly.
void check_accepted(Position& pos, Move m, const char* reader, const std::string& text) {
    if (!is_legal_move(pos, m))
        fail(std::string(reader) + " accepted '" + text + "' as an illegal move " +
             move_name(pos, m));
    const Position before = pos;
    make_move(pos, m);
    if (!position_is_consistent(pos))
        fail("inconsistent after '" + text + "'");
    unmake_move(pos);
    if (!same_position(before, pos))
        fail("'" + text + "' does not unmake");
}

} // namespace

int fuzz_moves(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    const std::vector<std::string> lines = split_lines(as_text(data, size));
    ThreadData& td                       = scratch_thread();
    Position& pos                        = td.board.pos;
    std::size_t first_move_line          = 1;
    if (lines.empty() || parse_fen(pos, lines[0].c_str()) != FEN_OK ||
        !position_is_searchable(pos)) {
        parse_fen(pos, START_FEN);
        first_move_line = 0;
    }
    td.board.search_ply = 1;
    check_round_trips(pos);
    for (std::size_t i = first_move_line; i < lines.size() && i < MAX_LINES; ++i) {
        const std::string& text = lines[i];
        Move played             = NULL_MOVE;
        for (const std::uint8_t frc : {0, 1}) {
            run_settings.chess960 = frc;
            Move m                = NULL_MOVE;
            if (parse_move(pos, text.c_str(), m, run_move_style()))
                check_accepted(pos, m, "parse_move", text);
            if (read_written_move(pos, text, m))
                check_accepted(pos, m, "read_written_move", text);
            m = find_legal_move(pos, parse_coord_move(pos, text.c_str()));
            if (m != NULL_MOVE) {
                check_accepted(pos, m, "find_legal_move", text);
                played = m;
            }
        }
        run_settings.chess960 = 0;
        if (played != NULL_MOVE && td.board.game_ply + 1 < MAX_GAME_PLY) {
            make_move(pos, played);
            check_round_trips(pos);
        }
    }
    return 0;
}

} // namespace tarn::fuzz
