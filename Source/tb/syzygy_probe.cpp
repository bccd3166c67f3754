#include "tb/syzygy_probe.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "core/attacks.h"
#include "core/platform.h"
#include "frontend/output.h"
#include "tb/syzygy_decode.h"

namespace tarn {

namespace {

constexpr int KIND_WDL              = 0;
constexpr int KIND_DTZ              = 1;
constexpr int STATE_NEW             = 0; // file not opened yet
constexpr int STATE_READY           = 1; // mapped and parsed
constexpr int STATE_BROKEN          = 2; // missing, unmappable or corrupt
constexpr int SLOT_BITS             = 12;
constexpr int SLOTS                 = 1 << SLOT_BITS;
constexpr int PROBE_FAILED          = 1000; // outside every WDL and DTZ value
constexpr int OTHER_SIDE            = 1001; // the DTZ file stores the other side to move
constexpr int NO_DTZ                = 100000;
constexpr int MAX_MOVES             = 256;
constexpr int CURSED_OFFSET         = 100; // DTZ of cursed wins and blessed losses starts past this
constexpr const char* EXTENSIONS[2] = {".rtbw", ".rtbz"};

// One registered material combination and its two files.
struct TbEntry {
    char name[TB_NAME_CHARS] = {};
    int dir                  = 0; // directory of the WDL file
    TbMaterial material;
    std::atomic<int> state[2] = {STATE_NEW, STATE_NEW};
    MappedFile map[2];
    TbFile file[2];
};

// Hash slot from a material key to a registered table.
struct Slot {
    std::uint64_t key = 0; // 0 = empty
    int entry         = 0;
    bool swapped      = false; // the key has the table's first-named side as black
};

std::unique_ptr<TbEntry> entries[TB_CAPACITY_PAWNLESS + TB_CAPACITY_PAWNS];
int entry_count    = 0;
int pawnless_count = 0;
int pawn_count     = 0;
Slot slots[SLOTS];
std::vector<std::string> directories;
std::mutex open_lock; // serialises the first mapping of every file

// A move of the probe generator.
constexpr int MOVE_CAPTURE = 1;
constexpr int MOVE_EP      = 2;
constexpr int MOVE_PAWN    = 4;
struct TbMove {
    std::uint8_t from      = 0;
    std::uint8_t to        = 0;
    std::uint8_t promotion = 0;
    std::uint8_t kind      = 0;
};

// ---------------------------------------------------------------------------------------------
// Registry
// ---------------------------------------------------------------------------------------------

std::uint64_t material_key(const std::uint8_t count[2][8]) {
    std::uint64_t key = std::uint64_t{1} << 62;
    for (int c = 0; c < 2; ++c)
        for (int t = PAWN; t < KING; ++t)
            key += std::uint64_t{count[c][t]} << (4 * (t - 1) + 20 * c);
    return key;
}

int slot_of(std::uint64_t key) {
    return static_cast<int>((key * 0x9E3779B97F4A7C15ULL) >> (64 - SLOT_BITS));
}

void add_slot(std::uint64_t key, int entry, bool swapped) {
    int i = slot_of(key);
    while (slots[i].key)
        i = (i + 1) & (SLOTS - 1);
    slots[i] = Slot{key, entry, swapped};
}

const Slot* find_slot(std::uint64_t key) {
    for (int i = slot_of(key); slots[i].key; i = (i + 1) & (SLOTS - 1))
        if (slots[i].key == key)
            return &slots[i];
    return nullptr;
}

void release_entry(TbEntry& e) {
    for (MappedFile& m : e.map) {
        const int error = platform_unmap_file(m);
        if (error)
            std::fprintf(stderr, "unmap failed, error code %d\n", error);
    }
}

// The parsed file of a kind, mapping and parsing it on first use.
const TbFile* open_file(TbEntry& e, int kind) {
    const int state = e.state[kind].load(std::memory_order_acquire);
    if (state != STATE_NEW)
        return state == STATE_READY ? &e.file[kind] : nullptr;
    std::lock_guard<std::mutex> lock(open_lock);
    if (e.state[kind].load(std::memory_order_relaxed) == STATE_NEW) {
        bool ok = false;
        // The WDL file is where registration found it; the DTZ file may be in any directory.
        const int first = kind == KIND_WDL ? e.dir : 0;
        const int last  = kind == KIND_WDL ? e.dir : static_cast<int>(directories.size()) - 1;
        for (int d = first; d <= last && !ok; ++d) {
            const std::string path = directories[d] + "/" + e.name + EXTENSIONS[kind];
            if (!platform_map_file(path.c_str(), e.map[kind]))
                continue;
            ok = tb_parse_file(e.file[kind], e.map[kind].data, e.map[kind].size, e.material,
                               kind == KIND_DTZ);
            if (!ok)
                platform_unmap_file(e.map[kind]);
        }
        e.state[kind].store(ok ? STATE_READY : STATE_BROKEN, std::memory_order_release);
    }
    return e.state[kind].load(std::memory_order_relaxed) == STATE_READY ? &e.file[kind] : nullptr;
}

// ---------------------------------------------------------------------------------------------
// The probe position: pieces, attacks and moves
// ---------------------------------------------------------------------------------------------

Bitboard own_pieces(const ProbePosition& pos) {
    return pos.white_to_move ? pos.white : pos.black;
}
Bitboard their_pieces(const ProbePosition& pos) {
    return pos.white_to_move ? pos.black : pos.white;
}

int type_on(const ProbePosition& pos, int sq) {
    const Bitboard b = bit(sq);
    return (pos.pawns & b)     ? PAWN
           : (pos.knights & b) ? KNIGHT
           : (pos.bishops & b) ? BISHOP
           : (pos.rooks & b)   ? ROOK
           : (pos.queens & b)  ? QUEEN
           : (pos.kings & b)   ? KING
                               : NO_PIECE_TYPE;
}

Bitboard& set_of(ProbePosition& pos, int type) {
    switch (type) {
    case PAWN:
        return pos.pawns;
    case KNIGHT:
        return pos.knights;
    case BISHOP:
        return pos.bishops;
    case ROOK:
        return pos.rooks;
    case QUEEN:
        return pos.queens;
    default:
        return pos.kings;
    }
}

// True when a piece of `by` (the set of one colour) attacks sq.
bool attacked_by(const ProbePosition& pos, int sq, Bitboard by, int by_colour) {
    const Bitboard occ = pos.white | pos.black;
    return ((pawn_attacks(by_colour ^ 1, sq) & pos.pawns) | (knight_attacks(sq) & pos.knights) |
            (king_attacks(sq) & pos.kings) |
            (bishop_attacks(sq, occ) & (pos.bishops | pos.queens)) |
            (rook_attacks(sq, occ) & (pos.rooks | pos.queens))) &
           by;
}

// True when the king of the side that is not to move stands attacked (an illegal position).
bool mover_king_attacked(const ProbePosition& pos) {
    const Bitboard king = pos.kings & their_pieces(pos);
    return !king || attacked_by(pos, lsb(king), own_pieces(pos), pos.white_to_move ? WHITE : BLACK);
}

bool in_check(const ProbePosition& pos) {
    const Bitboard king = pos.kings & own_pieces(pos);
    return king &&
           attacked_by(pos, lsb(king), their_pieces(pos), pos.white_to_move ? BLACK : WHITE);
}

ProbePosition play(const ProbePosition& pos, const TbMove& m) {
    ProbePosition next    = pos;
    const Bitboard from   = bit(m.from);
    const Bitboard to     = bit(m.to);
    const Bitboard victim = (m.kind & MOVE_EP) ? bit(m.to ^ 8) : to;
    const int type        = type_on(pos, m.from);
    Bitboard& own         = pos.white_to_move ? next.white : next.black;
    Bitboard& theirs      = pos.white_to_move ? next.black : next.white;
    if (m.kind & MOVE_CAPTURE) {
        theirs &= ~victim;
        for (int t = PAWN; t <= KING; ++t)
            set_of(next, t) &= ~victim;
    }
    own ^= from | to;
    set_of(next, type) ^= from;
    set_of(next, m.promotion ? m.promotion : type) |= to;
    next.ep = 0;
    if (type == PAWN && (m.to ^ m.from) == 16)
        next.ep = (m.from + m.to) / 2u;
    next.rule50        = (m.kind & (MOVE_CAPTURE | MOVE_PAWN)) ? 0 : pos.rule50 + 1;
    next.white_to_move = !pos.white_to_move;
    return next;
}

TbMove* add_pawn_move(TbMove* out, int from, int to, int kind) {
    if (rank_of(to) == 0 || rank_of(to) == 7) {
        for (const int promotion : {QUEEN, ROOK, BISHOP, KNIGHT})
            *out++ = TbMove{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to),
                            static_cast<std::uint8_t>(promotion), static_cast<std::uint8_t>(kind)};
    } else {
        *out++ = TbMove{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to), 0,
                        static_cast<std::uint8_t>(kind)};
    }
    return out;
}

// Legal moves of the side to move, captures only when asked. Returns the count.
int legal_moves(const ProbePosition& pos, TbMove* out, bool captures_only) {
    const int us        = pos.white_to_move ? WHITE : BLACK;
    const int step      = us == WHITE ? 8 : -8;
    const Bitboard own  = own_pieces(pos);
    const Bitboard them = their_pieces(pos);
    const Bitboard occ  = own | them;
    TbMove pseudo[MAX_MOVES];
    TbMove* end = pseudo;
    for (Bitboard b = own; b;) {
        const int from = pop_lsb(b);
        const int type = type_on(pos, from);
        if (type == PAWN) {
            for (Bitboard t = pawn_attacks(us, from) & them; t;)
                end = add_pawn_move(end, from, pop_lsb(t), MOVE_PAWN | MOVE_CAPTURE);
            const int ep = static_cast<int>(pos.ep);
            if (ep > 0 && ep < 64 && (pawn_attacks(us, from) & bit(ep)) && !(occ & bit(ep)) &&
                (them & pos.pawns & bit(ep ^ 8)))
                end = add_pawn_move(end, from, ep, MOVE_PAWN | MOVE_CAPTURE | MOVE_EP);
            const int to = from + step;
            if (captures_only || to < 0 || to > 63 || (occ & bit(to)))
                continue;
            end                  = add_pawn_move(end, from, to, MOVE_PAWN);
            const int start_rank = us == WHITE ? 1 : 6;
            if (rank_of(from) == start_rank && !(occ & bit(to + step)))
                end = add_pawn_move(end, from, to + step, MOVE_PAWN);
            continue;
        }
        Bitboard targets = type == KNIGHT   ? knight_attacks(from)
                           : type == BISHOP ? bishop_attacks(from, occ)
                           : type == ROOK   ? rook_attacks(from, occ)
                           : type == QUEEN  ? bishop_attacks(from, occ) | rook_attacks(from, occ)
                                            : king_attacks(from);
        targets &= captures_only ? them : ~own;
        while (targets) {
            const int to = pop_lsb(targets);
            *end++       = TbMove{static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to), 0,
                            static_cast<std::uint8_t>((them & bit(to)) ? MOVE_CAPTURE : 0)};
        }
    }
    int count = 0;
    for (const TbMove* m = pseudo; m < end; ++m)
        if (!mover_king_attacked(play(pos, *m)))
            out[count++] = *m;
    return count;
}

bool is_checkmate(const ProbePosition& pos) {
    TbMove moves[MAX_MOVES];
    return in_check(pos) && legal_moves(pos, moves, false) == 0;
}

// One king per side, sets that do not overlap, no pawn on the first or last rank.
bool is_probeable(const ProbePosition& pos) {
    const Bitboard sets[6] = {pos.pawns, pos.knights, pos.bishops,
                              pos.rooks, pos.queens,  pos.kings};
    Bitboard all           = 0;
    for (const Bitboard s : sets) {
        if (all & s)
            return false;
        all |= s;
    }
    constexpr Bitboard EDGE_RANKS = 0xFF000000000000FFULL;
    return !(pos.white & pos.black) && all == (pos.white | pos.black) &&
           popcount(pos.kings & pos.white) == 1 && popcount(pos.kings & pos.black) == 1 &&
           !(pos.pawns & EDGE_RANKS) && !mover_king_attacked(pos);
}

// ---------------------------------------------------------------------------------------------
// Table values
// ---------------------------------------------------------------------------------------------

// A position seen in a table's terms.
struct Oriented {
    TbEntry* entry                = nullptr;
    int stm                       = 0; // 0 when the table's first-named side is to move
    Bitboard by_code[PIECE_CODES] = {};
};

bool orient(const ProbePosition& pos, Oriented& o) {
    std::uint8_t count[2][8] = {};
    const Bitboard occ       = pos.white | pos.black;
    for (Bitboard b = occ; b;) {
        const int sq = pop_lsb(b);
        count[(pos.white & bit(sq)) ? 0 : 1][type_on(pos, sq)] += 1;
    }
    const Slot* slot = find_slot(material_key(count));
    if (!slot)
        return false;
    o.entry         = entries[slot->entry].get();
    const bool swap = o.entry->material.symmetric ? !pos.white_to_move : slot->swapped;
    o.stm           = pos.white_to_move != swap ? 0 : 1;
    for (Bitboard b = occ; b;) {
        const int sq     = pop_lsb(b);
        const int colour = ((pos.white & bit(sq)) ? 0 : 1) ^ (swap ? 1 : 0);
        o.by_code[make_code(colour, type_on(pos, sq))] |= bit(swap ? sq ^ 56 : sq);
    }
    return true;
}

// The sub-table of a parsed file that holds the oriented position.
int sub_table_of(const TbFile& file, const Oriented& o) {
    const int side = file.sides == 2 ? o.stm : 0;
    if (file.file_groups == 1)
        return side;
    const int lead = file.sub[side].codes[0];
    return tb_pawn_file(o.by_code, lead) * file.sides + side;
}

// Stored WDL value -2..2, not yet corrected for captures, or PROBE_FAILED.
int table_wdl(const ProbePosition& pos) {
    if (popcount(pos.white | pos.black) == 2)
        return 0;
    Oriented o;
    if (!orient(pos, o))
        return PROBE_FAILED;
    const TbFile* file = open_file(*o.entry, KIND_WDL);
    if (!file)
        return PROBE_FAILED;
    const int sub = sub_table_of(*file, o);
    std::uint64_t index;
    if (!tb_encode(file->sub[sub], o.by_code, index))
        return PROBE_FAILED;
    const int v = tb_read_value(*file, sub, index);
    return v >= 0 && v <= 4 ? v - 2 : PROBE_FAILED;
}

// Stored DTZ of a position whose WDL value is w (not 0), OTHER_SIDE or PROBE_FAILED.
int table_dtz(const ProbePosition& pos, int w) {
    Oriented o;
    if (!orient(pos, o))
        return PROBE_FAILED;
    const TbFile* file = open_file(*o.entry, KIND_DTZ);
    if (!file)
        return PROBE_FAILED;
    const int sub        = sub_table_of(*file, o);
    const TbSubTable& st = file->sub[sub];
    if ((st.flags & TB_DTZ_STORED_SIDE) != o.stm)
        return OTHER_SIDE;
    std::uint64_t index;
    if (!tb_encode(st, o.by_code, index))
        return PROBE_FAILED;
    int r = tb_read_value(*file, sub, index);
    if (r < 0)
        return PROBE_FAILED;
    if (st.flags & TB_DTZ_MAPPED) {
        const int m = w == 2 ? 0 : w == -2 ? 1 : w == 1 ? 2 : 3;
        if (r >= st.map_len[m])
            return PROBE_FAILED;
        const std::uint8_t* map = file->data + st.map_at[m];
        r                       = st.wide_maps ? map[2 * r] | (map[2 * r + 1] << 8) : map[r];
    }
    if ((w == 2 && !(st.flags & TB_DTZ_WIN_PLIES)) ||
        (w == -2 && !(st.flags & TB_DTZ_LOSS_PLIES)) || w == 1 || w == -1)
        r *= 2;
    switch (w) {
    case 2:
        return r + 1;
    case -2:
        return -(r + 1);
    case 1:
        return r + 1 + CURSED_OFFSET;
    default:
        return -(r + 1 + CURSED_OFFSET);
    }
}

// DTZ of a position whose best move is a zeroing move, by its WDL value.
int zeroing_dtz(int w) {
    constexpr int Z[5] = {-1, -1 - CURSED_OFFSET, 0, 1 + CURSED_OFFSET, 1};
    return Z[w + 2];
}

// ---------------------------------------------------------------------------------------------
// The probes
// ---------------------------------------------------------------------------------------------

// Alpha-beta over captures only, for a position without an en-passant right.
int probe_ab(const ProbePosition& pos, int alpha, int beta) {
    TbMove moves[MAX_MOVES];
    const int n = legal_moves(pos, moves, true);
    for (int i = 0; i < n; ++i) {
        const int r = probe_ab(play(pos, moves[i]), -beta, -alpha);
        if (r == PROBE_FAILED)
            return PROBE_FAILED;
        if (-r > alpha) {
            if (-r >= beta)
                return -r;
            alpha = -r;
        }
    }
    const int v = table_wdl(pos);
    if (v == PROBE_FAILED)
        return PROBE_FAILED;
    return std::max(alpha, v);
}

// WDL with captures and en passant resolved; `zeroing` says a zeroing move is best.
int wdl_of(const ProbePosition& pos, bool& zeroing) {
    TbMove moves[MAX_MOVES];
    const int n  = legal_moves(pos, moves, true);
    int best_cap = -3, best_ep = -3;
    zeroing = false;
    for (int i = 0; i < n; ++i) {
        const int r = probe_ab(play(pos, moves[i]), -2, -best_cap);
        if (r == PROBE_FAILED)
            return PROBE_FAILED;
        const int v = -r;
        if (v <= best_cap)
            continue;
        if (v == 2) {
            zeroing = true;
            return 2;
        }
        if (!(moves[i].kind & MOVE_EP))
            best_cap = v;
        else if (v > best_ep)
            best_ep = v;
    }
    const int v = table_wdl(pos);
    if (v == PROBE_FAILED)
        return PROBE_FAILED;
    if (best_ep > best_cap) {
        if (best_ep > v) {
            zeroing = true;
            return best_ep;
        }
        best_cap = best_ep;
    }
    if (best_cap >= v) {
        zeroing = best_cap > 0;
        return best_cap;
    }
    if (best_ep > -3 && v == 0) {
        // Without the en-passant right this would be stalemate: the capture decides.
        TbMove all[MAX_MOVES];
        const int count = legal_moves(pos, all, false);
        bool only_ep    = true;
        for (int i = 0; i < count; ++i)
            only_ep &= (all[i].kind & MOVE_EP) != 0;
        if (only_ep && !in_check(pos)) {
            zeroing = true;
            return best_ep;
        }
    }
    return v;
}

// DTZ; a one-ply search over the other side's entries when `may_search`.
int dtz_of(const ProbePosition& pos, bool may_search) {
    bool zeroing;
    const int w = wdl_of(pos, zeroing);
    if (w == PROBE_FAILED || w == 0)
        return w;
    if (zeroing)
        return zeroing_dtz(w);
    TbMove moves[MAX_MOVES];
    const int n = legal_moves(pos, moves, false);
    if (w > 0) {
        for (int i = 0; i < n; ++i) {
            if ((moves[i].kind & (MOVE_PAWN | MOVE_CAPTURE)) != MOVE_PAWN)
                continue;
            bool z;
            const int r = wdl_of(play(pos, moves[i]), z);
            if (r == PROBE_FAILED)
                return PROBE_FAILED;
            if (-r == w)
                return zeroing_dtz(w);
        }
    }
    const int stored = table_dtz(pos, w);
    if (stored != OTHER_SIDE)
        return stored;
    if (!may_search)
        return PROBE_FAILED;
    int best = w > 0 ? NO_DTZ : zeroing_dtz(w);
    for (int i = 0; i < n; ++i) {
        if (moves[i].kind & (MOVE_PAWN | MOVE_CAPTURE))
            continue;
        const ProbePosition next = play(pos, moves[i]);
        const int r              = dtz_of(next, false);
        if (r == PROBE_FAILED)
            return PROBE_FAILED;
        const int v = -r;
        if (v == 1 && is_checkmate(next))
            best = 1;
        else if (w > 0 && v > 0 && v + 1 < best)
            best = v + 1;
        else if (w < 0 && v - 1 < best)
            best = v - 1;
    }
    return best == NO_DTZ ? PROBE_FAILED : best;
}

// Preference of a root move by its value: quick wins, then draws, then slow losses.
int root_preference(int v) {
    constexpr int BAND = 1 << 16;
    return v > 0 ? BAND - v : v == 0 ? 0 : -BAND - v;
}

} // namespace

void syzygy_reset(const std::vector<std::string>& dirs) {
    for (int i = 0; i < entry_count; ++i) {
        release_entry(*entries[i]);
        entries[i].reset();
    }
    entry_count = pawnless_count = pawn_count = 0;
    for (Slot& s : slots)
        s = Slot{};
    directories = dirs;
}

bool syzygy_register(const char* name, int dir) {
    TbMaterial material;
    if (!tb_material_from_name(name, material) || dir < 0 ||
        dir >= static_cast<int>(directories.size()))
        return false;
    int& used      = material.has_pawns ? pawn_count : pawnless_count;
    const int room = material.has_pawns ? TB_CAPACITY_PAWNS : TB_CAPACITY_PAWNLESS;
    if (used >= room) {
        print_format("info string %s limit too low! %s ignored",
                     material.has_pawns ? "TBMAX_PAWN" : "TBMAX_PIECE", name);
        return false;
    }
    used += 1;
    auto entry = std::make_unique<TbEntry>();
    std::strncpy(entry->name, name, TB_NAME_CHARS - 1);
    entry->dir      = dir;
    entry->material = material;
    std::uint8_t swapped[2][8];
    std::memcpy(swapped[0], material.count[1], 8);
    std::memcpy(swapped[1], material.count[0], 8);
    add_slot(material_key(material.count), entry_count, false);
    if (!material.symmetric)
        add_slot(material_key(swapped), entry_count, true);
    entries[entry_count++] = std::move(entry);
    return true;
}

int syzygy_table_count() {
    return entry_count;
}

bool probe_wdl(const ProbePosition& pos, int& wdl) {
    if (!is_probeable(pos))
        return false;
    bool zeroing;
    const int v = wdl_of(pos, zeroing);
    if (v == PROBE_FAILED)
        return false;
    wdl = v;
    return true;
}

bool probe_dtz(const ProbePosition& pos, int& dtz) {
    if (!is_probeable(pos))
        return false;
    const int v = dtz_of(pos, true);
    if (v == PROBE_FAILED)
        return false;
    dtz = v;
    return true;
}

bool probe_root(const ProbePosition& pos, RootProbe& result) {
    if (!is_probeable(pos))
        return false;
    const int d = dtz_of(pos, true);
    if (d == PROBE_FAILED)
        return false;
    TbMove moves[MAX_MOVES];
    const int n   = legal_moves(pos, moves, false);
    int best_pref = 0, chosen = -1, chosen_v = 0;
    for (int i = 0; i < n; ++i) {
        const ProbePosition next = play(pos, moves[i]);
        const bool zeroing       = (moves[i].kind & (MOVE_PAWN | MOVE_CAPTURE)) != 0;
        int v;
        if (is_checkmate(next)) {
            v = 1;
        } else if (zeroing) {
            bool z;
            const int w = wdl_of(next, z);
            if (w == PROBE_FAILED)
                return false;
            v = zeroing_dtz(-w);
        } else if (pos.rule50 >= 99) {
            v = 0; // the move completes the fifty moves: the game is drawn at once
        } else {
            const int c = dtz_of(next, true);
            if (c == PROBE_FAILED)
                return false;
            v = -c;
            v += v > 0 ? 1 : v < 0 ? -1 : 0;
        }
        if (chosen < 0 || root_preference(v) > best_pref) {
            best_pref = root_preference(v);
            chosen    = i;
            chosen_v  = v;
        }
    }
    if (chosen < 0)
        return false;
    const int h      = static_cast<int>(pos.rule50);
    result.wdl       = d > 0 ? (d + h <= 100 ? 4 : 3) : d < 0 ? (-d + h <= 100 ? 0 : 1) : 2;
    result.dtz       = chosen_v;
    result.root_dtz  = d;
    result.from      = moves[chosen].from;
    result.to        = moves[chosen].to;
    result.promotion = moves[chosen].promotion;
    return true;
}

} // namespace tarn
