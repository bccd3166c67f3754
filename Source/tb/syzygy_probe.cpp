#include "tb/syzygy_probe.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "core/platform.h"
#include "frontend/output.h"
#include "tb/probe_board.h"
#include "tb/syzygy_decode.h"
#include "tb/syzygy_index.h"

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
constexpr int CURSED_OFFSET         = 100; // DTZ of cursed wins and blessed losses starts past this
constexpr int FIFTY_MOVE_PLIES      = 100;
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

// Unmaps the files of an entry; a failure is reported but changes nothing else.
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
// Table values
// ---------------------------------------------------------------------------------------------

// A position seen in a table's terms.
struct Oriented {
    TbEntry* entry                = nullptr;
    int stm                       = 0; // 0 when the table's first-named side is to move
    Bitboard by_code[PIECE_CODES] = {};
};

// Finds the table of a position and expresses the position in its colours: swapped (and
// mirrored top to bottom) when the table's first-named side is black.
bool orient(const ProbePosition& pos, Oriented& o) {
    std::uint8_t count[2][8] = {};
    const Bitboard occ       = pos.white | pos.black;
    for (Bitboard b = occ; b;) {
        const int sq = pop_lsb(b);
        count[(pos.white & bit(sq)) ? 0 : 1][tb_type_on(pos, sq)] += 1;
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
        o.by_code[make_code(colour, tb_type_on(pos, sq))] |= bit(swap ? sq ^ 56 : sq);
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

// The file of a kind that holds a position, the position in its terms and the sub-table;
// nullptr when the table is missing or unusable.
const TbFile* table_for(const ProbePosition& pos, int kind, Oriented& o, int& sub) {
    if (!orient(pos, o))
        return nullptr;
    const TbFile* file = open_file(*o.entry, kind);
    if (file)
        sub = sub_table_of(*file, o);
    return file;
}

// Stored WDL value -2..2, not yet corrected for captures, or PROBE_FAILED.
int table_wdl(const ProbePosition& pos) {
    if (popcount(pos.white | pos.black) == 2)
        return 0;
    Oriented o;
    int sub;
    const TbFile* file = table_for(pos, KIND_WDL, o, sub);
    if (!file)
        return PROBE_FAILED;
    std::uint64_t index;
    if (!tb_encode(file->sub[sub], o.by_code, index))
        return PROBE_FAILED;
    const int v = tb_read_value(*file, sub, index);
    return v >= 0 && v <= 4 ? v - 2 : PROBE_FAILED;
}

// Stored DTZ of a position whose WDL value is w (not 0), OTHER_SIDE or PROBE_FAILED.
int table_dtz(const ProbePosition& pos, int w) {
    Oriented o;
    int sub;
    const TbFile* file = table_for(pos, KIND_DTZ, o, sub);
    if (!file)
        return PROBE_FAILED;
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
    TbMove moves[TB_MAX_MOVES];
    const int n = tb_legal_moves(pos, moves, true);
    for (int i = 0; i < n; ++i) {
        const int r = probe_ab(tb_play(pos, moves[i]), -beta, -alpha);
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
    TbMove moves[TB_MAX_MOVES];
    const int n  = tb_legal_moves(pos, moves, true);
    int best_cap = -3, best_ep = -3;
    zeroing = false;
    for (int i = 0; i < n; ++i) {
        const int r = probe_ab(tb_play(pos, moves[i]), -2, -best_cap);
        if (r == PROBE_FAILED)
            return PROBE_FAILED;
        const int v = -r;
        if (v <= best_cap)
            continue;
        if (v == 2) {
            zeroing = true;
            return 2;
        }
        if (!(moves[i].kind & TB_MOVE_EP))
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
        TbMove all[TB_MAX_MOVES];
        const int count = tb_legal_moves(pos, all, false);
        bool only_ep    = true;
        for (int i = 0; i < count; ++i)
            only_ep &= (all[i].kind & TB_MOVE_EP) != 0;
        if (only_ep && !tb_in_check(pos)) {
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
    TbMove moves[TB_MAX_MOVES];
    const int n = tb_legal_moves(pos, moves, false);
    if (w > 0) {
        for (int i = 0; i < n; ++i) {
            if ((moves[i].kind & (TB_MOVE_PAWN | TB_MOVE_CAPTURE)) != TB_MOVE_PAWN)
                continue;
            bool z;
            const int r = wdl_of(tb_play(pos, moves[i]), z);
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
        if (moves[i].kind & (TB_MOVE_PAWN | TB_MOVE_CAPTURE))
            continue;
        const ProbePosition next = tb_play(pos, moves[i]);
        const int r              = dtz_of(next, false);
        if (r == PROBE_FAILED)
            return PROBE_FAILED;
        const int v = -r;
        if (v == 1 && tb_is_checkmate(next))
            best = 1;
        else if (w > 0 && v > 0 && v + 1 < best)
            best = v + 1;
        else if (w < 0 && v - 1 < best)
            best = v - 1;
    }
    return best == NO_DTZ ? PROBE_FAILED : best;
}

// Hands a probe's value to the caller unless the probe failed.
bool deliver(int value, int& out) {
    if (value == PROBE_FAILED)
        return false;
    out = value;
    return true;
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

bool probe_wdl(const ProbePosition& pos, int& wdl) {
    bool zeroing;
    return tb_is_probeable(pos) && deliver(wdl_of(pos, zeroing), wdl);
}

bool probe_dtz(const ProbePosition& pos, int& dtz) {
    return tb_is_probeable(pos) && deliver(dtz_of(pos, true), dtz);
}

bool probe_root(const ProbePosition& pos, RootProbe& result) {
    if (!tb_is_probeable(pos))
        return false;
    const int d = dtz_of(pos, true);
    if (d == PROBE_FAILED)
        return false;
    TbMove moves[TB_MAX_MOVES];
    const int n   = tb_legal_moves(pos, moves, false);
    int best_pref = 0, chosen = -1, chosen_v = 0;
    for (int i = 0; i < n; ++i) {
        const ProbePosition next = tb_play(pos, moves[i]);
        const bool zeroing       = (moves[i].kind & (TB_MOVE_PAWN | TB_MOVE_CAPTURE)) != 0;
        int v;
        if (tb_is_checkmate(next)) {
            v = 1;
        } else if (zeroing) {
            bool z;
            const int w = wdl_of(next, z);
            if (w == PROBE_FAILED)
                return false;
            v = zeroing_dtz(-w);
        } else if (pos.rule50 + 1 >= FIFTY_MOVE_PLIES) {
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
    result.wdl       = d > 0   ? (d + h <= FIFTY_MOVE_PLIES ? 4 : 3)
                       : d < 0 ? (-d + h <= FIFTY_MOVE_PLIES ? 0 : 1)
                               : 2;
    result.dtz       = chosen_v;
    result.root_dtz  = d;
    result.from      = moves[chosen].from;
    result.to        = moves[chosen].to;
    result.promotion = moves[chosen].promotion;
    return true;
}

} // namespace tarn
