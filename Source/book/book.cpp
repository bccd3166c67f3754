#include "book/book.h"

#include <cstdint>
#include <ctime>
#include <fstream>
#include <string>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/notation.h"
#include "core/thread_board.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"

namespace tarn {

namespace {

// Key kind per piece code: black pawn 0, white pawn 1, black knight 2 ... white king 11.
constexpr int BOOK_KIND[PIECE_CODES] = {-1, 1, 3, 5, 7, 9, 11, -1, -1, 0, 2, 4, 6, 8, 10, -1};
// Engine promotion flag per promotion field 1..4 (knight, bishop, rook, queen).
constexpr Move BOOK_PROMOTION_FLAG[5]   = {0, PROMOTE_KNIGHT, PROMOTE_BISHOP, PROMOTE_ROOK,
                                           PROMOTE_QUEEN};
constexpr std::uint32_t BOOK_RANDOM_MUL = 12345;
constexpr std::uint32_t BOOK_RANDOM_ADD = 76543;
constexpr int BOOK_RANDOM_RANGE         = 1000;

std::uint32_t book_random_state = 0; // the probe's pseudo-random generator
bool book_random_seeded         = false;

bool book_read_entry(std::ifstream& file, std::int64_t index, BookEntry& entry) {
    unsigned char bytes[BOOK_ENTRY_BYTES];
    file.clear();
    file.seekg(static_cast<std::streamoff>(index * BOOK_ENTRY_BYTES));
    if (!file.read(reinterpret_cast<char*>(bytes), BOOK_ENTRY_BYTES))
        return false;
    entry = book_decode_entry(bytes);
    return true;
}

void book_report_damage(const char* path, const char* what) {
    print_format("info string book %s is damaged: %s", path, what);
}

// Binary search for the first entry whose key is not below `key`, then the run of entries with
// that key. Every key read on the way must fit the order of the keys read before it; the file
// is reported damaged otherwise, because a search through unsorted entries proves nothing.
BookLookup book_find(std::ifstream& file, const char* path, std::uint64_t key,
                     BookCandidates& found) {
    found.count = 0;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (!file || size < BOOK_ENTRY_BYTES)
        return BOOK_ABSENT;
    if (size % BOOK_ENTRY_BYTES != 0) {
        book_report_damage(path, "its size is not a multiple of 16 bytes");
        return BOOK_DAMAGED;
    }
    const std::int64_t last = size / BOOK_ENTRY_BYTES - 1;
    BookEntry hi_entry, lo_entry, e;
    if (!book_read_entry(file, last, hi_entry))
        return BOOK_ABSENT;
    std::int64_t lo = -1, hi = last;
    while (hi - lo > 1) {
        const std::int64_t mid = (lo + hi) / 2;
        if (!book_read_entry(file, mid, e))
            return BOOK_ABSENT;
        if ((lo >= 0 && e.key < lo_entry.key) || e.key > hi_entry.key) {
            book_report_damage(path, "its entries are not sorted");
            return BOOK_DAMAGED;
        }
        if (key <= e.key) {
            hi       = mid;
            hi_entry = e;
        } else {
            lo       = mid;
            lo_entry = e;
        }
    }
    if (hi_entry.key != key)
        return BOOK_ABSENT;
    for (std::int64_t i = hi; i <= last; ++i) {
        if (i > hi && !book_read_entry(file, i, e))
            break;
        const BookEntry& entry = i == hi ? hi_entry : e;
        if (entry.key != key) {
            if (entry.key < key) {
                book_report_damage(path, "its entries are not sorted");
                return BOOK_DAMAGED;
            }
            break;
        }
        if (found.count == BOOK_MAX_CANDIDATES)
            break;
        found.entry[found.count++] = entry;
    }
    return BOOK_FOUND;
}

std::uint32_t book_next_random() {
    book_random_state = book_random_state * BOOK_RANDOM_MUL + BOOK_RANDOM_ADD;
    return book_random_state;
}

// The stored squares of a book move as text, without promotion letter.
std::string book_squares(std::uint16_t move) {
    return std::string(SQUARE_NAMES[(move >> 6) & 63]) + SQUARE_NAMES[move & 63];
}

// True when move is one of the legal moves of the side to move, flags included.
bool book_move_is_legal(Position& pos, Move move) {
    for (MoveEntry* e = gen_all(pos); e->move != END_OF_LIST; ++e)
        if (e->move == move)
            return is_legal(pos, pos.side, move);
    return false;
}

// Chooses among the candidates with weights sharpened or flattened by the variety, and prints
// them. Returns the index of the chosen entry, or -1 when all stored weights are 0.
int book_choose(const BookCandidates& c) {
    std::int64_t total = 0;
    for (int i = 0; i < c.count; ++i)
        total += c.entry[i].weight;
    if (total == 0)
        return -1;
    const int variety = live_options.OwnBook_Variety;
    const int adjust =
        static_cast<int>((variety - BOOK_VARIETY_NEUTRAL) * (c.entry[0].weight * 0.01));
    std::int64_t scaled[BOOK_MAX_CANDIDATES];
    std::int64_t scaled_sum = 0;
    for (int i = 0; i < c.count; ++i) {
        const std::int64_t w = (c.entry[i].weight + adjust) * std::int64_t{BOOK_WEIGHT_SCALE};
        scaled[i]            = w / total < 0 ? 0 : w / total;
        scaled_sum += scaled[i];
    }
    const std::uint32_t state = book_next_random();
    const std::int64_t r      = static_cast<std::int64_t>((state % BOOK_RANDOM_RANGE) * 0.001 *
                                                     static_cast<double>(scaled_sum));

    const bool uci          = run_settings.protocol_mode == PROTOCOL_UCI;
    const bool verbose      = !uci && run_settings.noise < NOISE_SILENT;
    std::string listed      = "info string ( book moves are: ";
    int chosen              = 0;
    std::int64_t cumulative = 0;
    for (int i = 0; i < c.count; ++i) {
        const BookEntry& e = c.entry[i];
        if (e.weight == 0)
            continue;
        if (r > cumulative)
            chosen = i;
        cumulative += scaled[i];
        listed += book_squares(e.move) + " ";
        if (verbose)
            print_format("  %s  cnt= %5d, weight= %5.2f%% -> %5.2f%%", book_squares(e.move).c_str(),
                         e.weight, 100.0 * e.weight / static_cast<double>(total),
                         scaled_sum ? 100.0 * scaled[i] / static_cast<double>(scaled_sum) : 0.0);
    }
    if (uci)
        print_line(listed + " )");
    return chosen;
}

} // namespace

void book_seed_random(std::uint32_t seed) {
    book_random_state  = seed;
    book_random_seeded = true;
}

std::uint64_t book_key(const Position& pos) {
    std::uint64_t key = 0;
    for (int sq = 0; sq < 64; ++sq) {
        const int kind = BOOK_KIND[pos.board[sq] & (PIECE_CODES - 1)];
        if (kind >= 0)
            key ^= BOOK_RANDOM64[64 * kind + sq];
    }
    for (int r = CASTLE_WK; r <= CASTLE_BQ; ++r)
        if (pos.castle_rights & (1 << r))
            key ^= BOOK_RANDOM64[BOOK_CASTLE_KEY + r];
    // The en-passant file counts only when a pawn of the side to move stands beside the pawn
    // that just advanced two squares, whether or not the capture would be legal.
    const int ep = pos.ep_square;
    if (ep < 64 && (pawn_attacks(pos.side ^ 1, ep) & pieces_of(pos, pos.side, PAWN)))
        key ^= BOOK_RANDOM64[BOOK_EP_KEY + file_of(ep)];
    if (pos.side == WHITE)
        key ^= BOOK_RANDOM64[BOOK_WHITE_KEY];
    return key;
}

Move from_polyglot(std::uint16_t move) {
    int to            = move & 63;
    const int from    = (move >> 6) & 63;
    const int promote = move >> BOOK_PROMOTION_SHIFT;
    if (promote > 4)
        return NULL_MOVE;
    if (promote)
        return make_move_code(from, to, BOOK_PROMOTION_FLAG[promote]);
    Move flag = 0;
    if (from == 4 || from == 60) {
        const int base = from - 4;
        if (to == base + 7) {
            to   = base + 6;
            flag = CASTLE_KING;
        } else if (to == base) {
            to   = base + 2;
            flag = CASTLE_QUEEN;
        }
    }
    return make_move_code(from, to, flag);
}

std::uint16_t to_polyglot(Move move) {
    const int from       = move_from(move);
    int to               = move_to(move);
    int promote          = 0;
    const bool back_rank = rank_of(from) == 0 || rank_of(from) == 7;
    if (move_flags(move) && back_rank) {
        to = rank_of(from) * 8 + ((move & CASTLE_KING) ? 7 : 0);
    } else if (move_flags(move)) {
        const int type = promotion_type(move);
        promote        = type == KNIGHT ? 1 : type == BISHOP ? 2 : type == ROOK ? 3 : 4;
    }
    return static_cast<std::uint16_t>(promote << BOOK_PROMOTION_SHIFT | from << 6 | to);
}

void book_encode_entry(const BookEntry& entry, unsigned char* bytes) {
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<unsigned char>(entry.key >> (56 - 8 * i));
    bytes[8]  = static_cast<unsigned char>(entry.move >> 8);
    bytes[9]  = static_cast<unsigned char>(entry.move);
    bytes[10] = static_cast<unsigned char>(entry.weight >> 8);
    bytes[11] = static_cast<unsigned char>(entry.weight);
    for (int i = 0; i < 4; ++i)
        bytes[12 + i] = static_cast<unsigned char>(entry.learn >> (24 - 8 * i));
}

BookEntry book_decode_entry(const unsigned char* bytes) {
    BookEntry e;
    for (int i = 0; i < 8; ++i)
        e.key = e.key << 8 | bytes[i];
    e.move   = static_cast<std::uint16_t>(bytes[8] << 8 | bytes[9]);
    e.weight = static_cast<std::uint16_t>(bytes[10] << 8 | bytes[11]);
    for (int i = 12; i < 16; ++i)
        e.learn = e.learn << 8 | bytes[i];
    return e;
}

BookLookup book_lookup(const char* path, std::uint64_t key, BookCandidates& found) {
    found.count = 0;
    if (!path || !path[0])
        return BOOK_ABSENT;
    std::ifstream file(path, std::ios::binary);
    // A directory opens but cannot be read; an empty file has no entry either.
    if (!file || file.peek() == std::ifstream::traits_type::eof())
        return BOOK_ABSENT;
    return book_find(file, path, key, found);
}

Move probe_book(Position& pos, const char* path) {
    if (!path || !path[0])
        return NULL_MOVE;
    if (!book_random_seeded)
        book_seed_random(static_cast<std::uint32_t>(std::time(nullptr)));
    BookCandidates found;
    if (book_lookup(path, book_key(pos), found) != BOOK_FOUND)
        return NULL_MOVE;
    const int chosen = book_choose(found);
    if (chosen < 0)
        return NULL_MOVE;
    Move move = from_polyglot(found.entry[chosen].move);
    if (move != NULL_MOVE && !book_move_is_legal(pos, move))
        move = NULL_MOVE;
    if (run_settings.protocol_mode != PROTOCOL_UCI && run_settings.noise < NOISE_SILENT)
        print_format("selecting %s%s", SQUARE_NAMES[move_from(move)], SQUARE_NAMES[move_to(move)]);
    return move;
}

Move book_move_for_game(Position& pos) {
    const EngineOptions& o = live_options;
    const int ply          = pos.owner->game_ply;
    Move move              = NULL_MOVE;
    if (ply < o.OwnBook_Depth) {
        move = probe_book(pos, o.OwnBook_File);
        if (!move && ply < o.OwnBook2_Depth)
            move = probe_book(pos, o.OwnBook2_File);
    } else if (ply < o.OwnBook2_Depth) {
        move = probe_book(pos, o.OwnBook2_File);
    }
    if (!move)
        return NULL_MOVE;
    // A book move into a drawn position would throw away whatever the search could find.
    make_move(pos, move);
    const bool drawn = is_draw(pos, 0) || pos.rule50 > 100;
    unmake_move(pos);
    if (drawn)
        return NULL_MOVE;
    const bool uci = run_settings.protocol_mode == PROTOCOL_UCI;
    print_format("%s book move is %s", uci ? "info string" : "",
                 move_to_coord(pos, pos.side, move, run_move_style()).c_str());
    return move;
}

void book_show_candidates(Position& pos) {
    probe_book(pos, live_options.OwnBook_File);
    print_line("");
    probe_book(pos, live_options.OwnBook2_File);
    print_line("");
}

} // namespace tarn
