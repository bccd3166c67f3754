#include "search/tt.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "core/attacks.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "core/platform.h"
#include "frontend/output.h"
#include "search/search_state.h"
#include "search/thread_data.h"

namespace tarn {

TranspositionTable transposition_table;

namespace {

bool keys_generated = false;

inline std::uint64_t load(std::uint64_t& word) {
    return std::atomic_ref<std::uint64_t>(word).load(std::memory_order_relaxed);
}

inline void store_word(std::uint64_t& word, std::uint64_t value) {
    std::atomic_ref<std::uint64_t>(word).store(value, std::memory_order_relaxed);
}

inline std::uint64_t* entry_words(std::uint64_t index) {
    return transposition_table.words + 2 * index;
}

TTEntry read_entry(std::uint64_t index) {
    std::uint64_t* w      = entry_words(index);
    const std::uint64_t a = load(w[0]), b = load(w[1]);
    TTEntry e;
    e.key_high = static_cast<std::uint32_t>(a);
    e.check    = static_cast<std::uint32_t>(a >> 32);
    e.move     = static_cast<Move>(b);
    e.score    = static_cast<std::int16_t>(b >> 16);
    e.depth    = static_cast<std::int8_t>(b >> 32);
    e.bound    = static_cast<std::uint8_t>(b >> 40);
    e.age      = static_cast<std::uint8_t>(b >> 48);
    e.rule50   = static_cast<std::uint8_t>(b >> 56);
    return e;
}

void write_entry(std::uint64_t index, const TTEntry& e) {
    std::uint64_t* w = entry_words(index);
    store_word(w[0], e.key_high | (static_cast<std::uint64_t>(e.check) << 32));
    store_word(w[1], static_cast<std::uint64_t>(e.move) |
                         (static_cast<std::uint64_t>(static_cast<std::uint16_t>(e.score)) << 16) |
                         (static_cast<std::uint64_t>(static_cast<std::uint8_t>(e.depth)) << 32) |
                         (static_cast<std::uint64_t>(e.bound) << 40) |
                         (static_cast<std::uint64_t>(e.age) << 48) |
                         (static_cast<std::uint64_t>(e.rule50) << 56));
}

std::uint32_t check_word(int stored_score, Move move, std::uint64_t key) {
    return static_cast<std::uint32_t>(stored_score + TT_CHECK_OFFSET) ^
           (static_cast<std::uint32_t>(move) << 16) ^ static_cast<std::uint32_t>(key);
}

// Power-of-two sizes (the usual ones) take the remainder with a mask instead of a division.
inline std::uint64_t window_start(std::uint64_t key) {
    const std::uint64_t count = transposition_table.entry_count;
    if ((count & (count - 1)) == 0)
        return key & (count - 1);
    return key % count;
}

// Geometry of a pawn move of colour from -> to, flags aside.
bool pawn_move_possible(const Position& pos, int colour, int from, int to) {
    const int dir = PAWN_DIRECTION[colour];
    if (pawn_attacks(colour, from) & bit(to))
        return pos.board[to] != 0 || to == pos.ep_square;
    if (pos.board[to])
        return false;
    if (to == from + dir)
        return true;
    const int start_rank = colour == WHITE ? 1 : 6;
    return to == from + 2 * dir && rank_of(from) == start_rank && pos.board[from + dir] == 0;
}

// Bytes a new table may take: nine tenths of what the machine could give, counting the
// table in place as free since it is released first.
std::uint64_t memory_budget() {
    const TranspositionTable& t = transposition_table;
    const std::uint64_t held =
        t.words ? 16 * (static_cast<std::uint64_t>(t.entry_count) + TT_SPARE_ENTRIES) : 0;
    std::uint64_t budget = UINT64_MAX;
    if (const std::uint64_t physical = platform_physical_memory())
        budget = physical / 10 * 9;
    if (const std::uint64_t available = platform_available_memory())
        budget = std::min(budget, (available + held) / 10 * 9);
    return budget;
}

} // namespace

bool tt_allocate(int mb) {
    if (!keys_generated) {
        generate_keys();
        keys_generated = true;
    }
    const std::uint64_t count = static_cast<std::uint64_t>(std::max(mb, 0)) * TT_ENTRIES_PER_MB;
    const std::uint64_t bytes = tt_table_bytes(mb);
    // A table the machine cannot hold in memory fails here rather than when it is cleared (the
    // system grants more than it can back), and the table in place stays.
    if (count + TT_SPARE_ENTRIES > UINT32_MAX || bytes > memory_budget())
        return false;
    auto* words = static_cast<std::uint64_t*>(platform_large_alloc(bytes));
    if (!words)
        return false;
    tt_free();
    transposition_table.words       = words;
    transposition_table.bytes       = bytes;
    transposition_table.entry_count = static_cast<std::uint32_t>(count);
    search_state.hash_mb            = mb;
    print_format("info string allocated %d Mbytes for hash table", mb);
    if (search_state.use_hash)
        tt_clear();
    else
        std::fill(words, words + 2 * (count + TT_SPARE_ENTRIES), 0); // never read garbage
    return true;
}

bool tt_resize(int mb) {
    const int previous   = search_state.hash_mb;
    const bool had_table = transposition_table.words != nullptr;
    if (tt_allocate(mb))
        return true;
    if (had_table) {
        print_format("info string can't allocate %d Mbytes for hash table, keeping %d", mb,
                     previous);
        return false;
    }
    // No table yet: the largest halving of the request that the machine gives.
    int fit = tt_largest_fit(mb, memory_budget());
    while (!tt_allocate(fit) && fit > 0)
        fit /= 2;
    search_state.hash_mb = fit;
    print_format("info string can't allocate %d Mbytes for hash table, using %d", mb, fit);
    return false;
}

void tt_free() {
    platform_large_free(transposition_table.words, transposition_table.bytes);
    transposition_table.words       = nullptr;
    transposition_table.bytes       = 0;
    transposition_table.entry_count = 0;
}

std::uint64_t tt_table_bytes(int mb) {
    const std::uint64_t count = static_cast<std::uint64_t>(std::max(mb, 0)) * TT_ENTRIES_PER_MB;
    return 16 * (count + TT_SPARE_ENTRIES);
}

int tt_largest_fit(int mb, std::uint64_t budget_bytes) {
    int fit = std::max(mb, 0);
    while (fit > 0 && tt_table_bytes(fit) > budget_bytes)
        fit /= 2;
    return fit;
}

void tt_clear() {
    TranspositionTable& t = transposition_table;
    if (!t.words)
        return;
    const std::uint64_t total  = static_cast<std::uint64_t>(t.entry_count) + TT_SPARE_ENTRIES;
    const int slices           = search_state.threads < 1 ? 1 : search_state.threads;
    const std::uint64_t slice  = t.entry_count / static_cast<std::uint64_t>(slices);
    std::uint64_t* const words = t.words;
    const auto clear_slice     = [words](std::uint64_t begin, std::uint64_t end) {
        std::fill(words + 2 * begin, words + 2 * end, std::uint64_t{0});
    };
    std::vector<std::thread> workers;
    for (int i = 0; i < slices; ++i) {
        const std::uint64_t begin = slice * static_cast<std::uint64_t>(i);
        const std::uint64_t end   = i + 1 == slices ? total : begin + slice;
        try {
            workers.emplace_back(clear_slice, begin, end);
        } catch (const std::system_error&) {
            clear_slice(begin, end); // no thread to spare: this one clears the slice
        }
    }
    for (std::thread& w : workers)
        w.join();
    t.hashfull = 0.0f;
}

void tt_store(const Position& pos, int ply, int depth, Move move, int score, int alpha, int beta) {
    if (!search_state.use_hash || !transposition_table.entry_count)
        return;
    const std::uint8_t bound = score <= alpha ? BOUND_UPPER
                               : score < beta ? BOUND_EXACT
                                              : BOUND_LOWER;
    int stored               = score;
    if (score < -MATE_BOUND)
        stored = score - ply;
    else if (score >= MATE_BOUND)
        stored = score + ply;
    const std::uint64_t key      = pos.key;
    const std::uint32_t key_high = static_cast<std::uint32_t>(key >> 32);
    const std::uint64_t base     = window_start(key);
    const int age                = static_cast<int>(search_state.search_age);

    TTEntry window[TT_WINDOW];
    for (int i = 0; i < TT_WINDOW; ++i)
        window[i] = read_entry(base + i);
    int target = -1;
    for (int i = 0; i < TT_WINDOW && target < 0; ++i) {
        if (window[i].key_high != key_high)
            continue;
        if (window[i].depth - 3 > depth && window[i].bound != BOUND_UPPER)
            return;
        target = i;
    }
    if (target < 0) {
        const auto old = [&](int i) { return static_cast<std::int8_t>(window[i].age) != age; };
        if (old(0)) {
            target = 0;
        } else {
            for (int i = 1; i < TT_WINDOW && target < 0; ++i)
                if (old(i))
                    target = i;
        }
        if (target < 0) {
            const int a = window[1].depth < window[0].depth ? 1 : 0;
            const int b = window[3].depth < window[2].depth ? 3 : 2;
            target      = window[b].depth < window[a].depth ? b : a;
            if (window[target].depth - 7 > depth)
                return;
        }
    }
    TTEntry e;
    e.key_high = key_high;
    e.check    = check_word(stored, move, key);
    e.move     = move;
    e.score    = static_cast<std::int16_t>(stored);
    e.depth    = static_cast<std::int8_t>(depth);
    e.bound    = bound;
    e.age      = static_cast<std::uint8_t>(age);
    e.rule50   = pos.rule50;
    write_entry(base + static_cast<std::uint64_t>(target), e);
}

bool tt_move_is_valid(const Position& pos, Move move) {
    const int from = move_from(move), to = move_to(move);
    const int side = pos.side;
    const int code = pos.board[from];
    if (code == 0 || colour_of(code) != side)
        return false;
    const int type   = type_of(code);
    const Move flags = move_flags(move);
    // In Chess960 castling may leave the king where it stands or land it on its own rook's
    // square, so it is checked before the tests of the destination square.
    if (flags && type == KING) {
        const int wing = flags == CASTLE_KING ? 0 : flags == CASTLE_QUEEN ? 1 : -1;
        if (wing < 0 || !(pos.castle_rights & (1 << (2 * side + wing))) ||
            (pos.castle_path[2 * side + wing] & occupancy(pos)) || from != pos.king_sq[side] ||
            to != rank_of(from) * 8 + (wing == 0 ? 6 : 2))
            return false;
        return is_legal(pos, side, move);
    }
    const int target = pos.board[to];
    if (from == to || (target && (colour_of(target) == side || type_of(target) == KING)))
        return false;
    if (flags) {
        if (std::popcount(static_cast<unsigned>(flags)) != 1)
            return false;
        if (type != PAWN || rank_of(to) != (side == WHITE ? 7 : 0) ||
            !pawn_move_possible(pos, side, from, to))
            return false;
        return is_legal(pos, side, move);
    }
    const Bitboard occ = occupancy(pos);
    switch (type) {
    case PAWN:
        if (rank_of(to) == 0 || rank_of(to) == 7 || !pawn_move_possible(pos, side, from, to))
            return false;
        break;
    case KNIGHT:
        if (!(knight_attacks(from) & bit(to)))
            return false;
        break;
    case BISHOP:
        if (!(bishop_attacks(from, occ) & bit(to)))
            return false;
        break;
    case ROOK:
        if (!(rook_attacks(from, occ) & bit(to)))
            return false;
        break;
    case QUEEN:
        if (!((bishop_attacks(from, occ) | rook_attacks(from, occ)) & bit(to)))
            return false;
        break;
    default:
        if (!(king_attacks(from) & bit(to)))
            return false;
        break;
    }
    return is_legal(pos, side, move);
}

void tt_probe(Position& pos, TTEntry& entry) {
    if (!transposition_table.entry_count)
        return;
    const std::uint64_t key      = pos.key;
    const std::uint32_t key_high = static_cast<std::uint32_t>(key >> 32);
    const std::uint64_t base     = window_start(key);
    for (int i = 0; i < TT_WINDOW; ++i) {
        const TTEntry e = read_entry(base + static_cast<std::uint64_t>(i));
        if (e.key_high != key_high)
            continue;
        entry = e;
        if (check_word(e.score, e.move, key) != e.check) {
            entry.depth = TT_TORN_DEPTH;
            return;
        }
        if (e.move && !tt_move_is_valid(pos, e.move))
            entry.depth = TT_INVALID_DEPTH;
        return;
    }
}

void tt_hashfull() {
    TranspositionTable& t = transposition_table;
    if (!t.words || t.entry_count <= 2999) {
        t.hashfull = 0.0f;
        return;
    }
    const std::uint64_t start = t.entry_count / 2 - 500;
    int count                 = 0;
    for (std::uint64_t i = start; i < start + 1000; ++i)
        count += read_entry(i).age == search_state.search_age;
    t.hashfull = static_cast<float>(count * 0.001);
}

void tt_pv_walk(Position& pos, int ply, Move* pv) {
    Move move = pv[ply];
    if (!move) {
        if (!search_state.use_hash || !transposition_table.entry_count)
            return;
        const std::uint64_t key      = pos.key;
        const std::uint32_t key_high = static_cast<std::uint32_t>(key >> 32);
        const std::uint64_t base     = window_start(key);
        TTEntry found;
        bool matched = false;
        for (int i = 0; i < TT_WINDOW && !matched; ++i) {
            found   = read_entry(base + static_cast<std::uint64_t>(i));
            matched = found.key_high == key_high;
        }
        if (!matched || check_word(found.score, found.move, key) != found.check)
            return;
        if (!found.move || found.depth < 0 || !tt_move_is_valid(pos, found.move))
            return;
        pv[ply + 1] = 0;
        if (is_draw(pos, 0))
            return;
        move = found.move;
    }
    pv[ply] = move;
    make_move(pos, move);
    if (ply + 1 < 67)
        tt_pv_walk(pos, ply + 1, pv);
    unmake_move(pos);
}

void tt_prefetch(std::uint64_t key) {
    if (!transposition_table.entry_count)
        return;
    // A window starts at any entry, so it spans two cache lines unless it starts on one.
    const char* first = reinterpret_cast<const char*>(entry_words(window_start(key)));
    __builtin_prefetch(first);
    __builtin_prefetch(first + 16 * TT_WINDOW - 1);
}

int tt_score_from_entry(const TTEntry& entry, int ply, int rule50) {
    const int s = entry.score;
    if (s < -MATE_BOUND)
        return s + ply;
    if (s >= MATE_BOUND)
        return s - ply;
    if (rule50 > entry.rule50)
        return s - ((rule50 - entry.rule50) * s) / 256;
    return s;
}

} // namespace tarn
