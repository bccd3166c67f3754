#include "tb/tb_probe.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/platform.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "tb/syzygy_decode.h"
#include "tb/syzygy_probe.h"

namespace tarn {

namespace {

constexpr const char* TB_LETTERS = "QRBNP"; // the pieces beside the kings, strongest first
constexpr int TB_LETTER_COUNT    = 5;

// Sides of a material combination by their non-king piece counts, in the order the table
// names are looked for.
constexpr int SIDE_SIZES[][2] = {{1, 0}, {1, 1}, {2, 0}, {2, 1}, {3, 0}, {2, 2}, {3, 1}, {4, 0}};

int largest = 0;

// Every multiset of `size` letters, each as indexes into TB_LETTERS in increasing order.
void letter_sets(int size, int from, std::vector<int>& current,
                 std::vector<std::vector<int>>& out) {
    if (static_cast<int>(current.size()) == size) {
        out.push_back(current);
        return;
    }
    for (int i = from; i < TB_LETTER_COUNT; ++i) {
        current.push_back(i);
        letter_sets(size, i, current, out);
        current.pop_back();
    }
}

std::string side_name(const std::vector<int>& letters) {
    std::string s = "K";
    for (const int i : letters)
        s += TB_LETTERS[i];
    return s;
}

// Every material combination of up to six pieces, stronger side first, each once.
std::vector<std::string> table_names() {
    std::vector<std::string> names;
    for (const auto& sizes : SIDE_SIZES) {
        std::vector<std::vector<int>> strong, weak;
        std::vector<int> current;
        letter_sets(sizes[0], 0, current, strong);
        letter_sets(sizes[1], 0, current, weak);
        for (const auto& a : strong)
            for (const auto& b : weak)
                if (sizes[0] > sizes[1] || a <= b)
                    names.push_back(side_name(a) + "v" + side_name(b));
    }
    return names;
}

std::vector<std::string> split_path(const char* path) {
    std::vector<std::string> dirs;
    std::string current;
    for (const char* p = path;; ++p) {
        if (*p == ';' || *p == 0) {
            if (!current.empty())
                dirs.push_back(current);
            current.clear();
            if (*p == 0)
                break;
        } else {
            current += *p;
        }
    }
    return dirs;
}

Move promotion_flag(int type) {
    switch (type) {
    case QUEEN:
        return PROMOTE_QUEEN;
    case KNIGHT:
        return PROMOTE_KNIGHT;
    case BISHOP:
        return PROMOTE_BISHOP;
    case ROOK:
        return PROMOTE_ROOK;
    default:
        return 0;
    }
}

} // namespace

void tb_init(const char* path) {
    largest = 0;
    syzygy_reset({});
    if (!path || !*path || std::strcmp(path, TB_NO_PATH) == 0)
        return;
    const std::vector<std::string> dirs = split_path(path);
    syzygy_reset(dirs);
    int found = 0;
    for (const std::string& name : table_names()) {
        for (int d = 0; d < static_cast<int>(dirs.size()); ++d) {
            const std::string file = dirs[d] + "/" + name + ".rtbw";
            if (file.size() > TB_PATH_CHARS || !platform_file_exists(file.c_str()))
                continue;
            if (syzygy_register(name.c_str(), d)) {
                found += 1;
                const int pieces = static_cast<int>(name.size()) - 1;
                largest          = pieces > largest ? pieces : largest;
            }
            break;
        }
    }
    print_format("info string found %d tablebases", found);
}

int tb_largest() {
    return largest;
}

ProbePosition tb_probe_position(const Position& pos, unsigned rule50) {
    ProbePosition p;
    p.white         = pos.pieces[make_code(WHITE, 0)];
    p.black         = pos.pieces[make_code(BLACK, 0)];
    p.kings         = pieces_of(pos, WHITE, KING) | pieces_of(pos, BLACK, KING);
    p.queens        = pieces_of(pos, WHITE, QUEEN) | pieces_of(pos, BLACK, QUEEN);
    p.rooks         = pieces_of(pos, WHITE, ROOK) | pieces_of(pos, BLACK, ROOK);
    p.bishops       = pieces_of(pos, WHITE, BISHOP) | pieces_of(pos, BLACK, BISHOP);
    p.knights       = pieces_of(pos, WHITE, KNIGHT) | pieces_of(pos, BLACK, KNIGHT);
    p.pawns         = pieces_of(pos, WHITE, PAWN) | pieces_of(pos, BLACK, PAWN);
    p.rule50        = rule50;
    p.ep            = pos.ep_square == NO_SQUARE ? 0 : pos.ep_square;
    p.white_to_move = pos.side == WHITE;
    return p;
}

int tb_probe_node(const Position& pos, int depth) {
    if (depth < live_options.tb_probe_depth)
        return TB_NONE;
    const int n = popcount(occupancy(pos));
    if (n > largest || n > TB_MAX_PIECES)
        return TB_NONE;
    if (n == TB_MAX_PIECES && depth < live_options.SyzygyProbeDepth6)
        return TB_NONE;
    if (pos.castle_rights)
        return TB_NONE;
    int wdl;
    if (!probe_wdl(tb_probe_position(pos, 0), wdl))
        return TB_NONE;
    return wdl + 2;
}

int tb_probe_root(const Position& pos, Move& move, int& dtz) {
    move = 0;
    dtz  = 0;
    if (popcount(occupancy(pos)) > largest || pos.castle_rights)
        return TB_NONE;
    RootProbe r;
    if (!probe_root(tb_probe_position(pos, pos.rule50), r))
        return TB_NONE;
    move = make_move_code(r.from, r.to, promotion_flag(r.promotion));
    dtz  = r.dtz;
    return r.wdl;
}

} // namespace tarn
