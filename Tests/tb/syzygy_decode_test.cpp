// The file decoder on its own: constant tables, names, the parse of real files and the index
// and raw values of worked positions whose numbers were checked against another decoder.

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tb/syzygy_decode.h"
#include "tb/syzygy_index.h"
#include "tb/tb_test_support.h"

namespace tarn {
namespace {

constexpr int A1 = 0, C1 = 2, D1 = 3, B1 = 1, H8 = 63, D3 = 19, C3 = 18, B2 = 9, D4 = 27;

TEST(SyzygyConstants, KingPairNumbersMatchTheirCheckValues) {
    const int tri_b1 = tb_tri_index(B1), tri_c1 = tb_tri_index(C1), tri_d3 = tb_tri_index(D3);
    const int tri_a1 = tb_tri_index(A1), tri_b2 = tb_tri_index(B2), tri_d4 = tb_tri_index(D4);
    EXPECT_EQ(tb_kk_index(tri_b1, D1), 0);
    EXPECT_EQ(tb_kk_index(tri_b1, H8), 57);
    EXPECT_EQ(tb_kk_index(tri_c1, A1), 58);
    EXPECT_EQ(tb_kk_index(tri_d3, A1), 284);
    EXPECT_EQ(tb_kk_index(tri_a1, C1), 339);
    EXPECT_EQ(tb_kk_index(tri_b2, D1), 366);
    EXPECT_EQ(tb_kk_index(tri_a1, C3), 441);
    EXPECT_EQ(tb_kk_index(tri_d4, H8), 461);
    // Touching kings and, with the first king on the diagonal, a second above it, have none.
    EXPECT_EQ(tb_kk_index(tri_a1, B2), -1);
    EXPECT_EQ(tb_kk_index(tri_a1, 8), -1);
    EXPECT_EQ(tb_tri_index(4), -1); // e1 lies outside the triangle
}

TEST(SyzygyConstants, LeadingPawnGroupSizesMatchTheirCheckValues) {
    const std::uint64_t want[4][4] = {
        {6, 6, 6, 6}, {252, 180, 108, 36}, {5201, 2645, 953, 125}, {70315, 25375, 5491, 295}};
    for (int l = 1; l <= 4; ++l)
        for (int f = 0; f < 4; ++f)
            EXPECT_EQ(tb_pawn_group_size(l, f), want[l - 1][f]) << l << " pawns, file " << f;
    const std::uint64_t a_file[6] = {0, 47, 92, 135, 176, 215};
    const std::uint64_t d_file[6] = {0, 11, 20, 27, 32, 35};
    for (int r = 1; r <= 6; ++r) {
        EXPECT_EQ(tb_pawn_slot_offset(2, 8 * r), a_file[r - 1]);
        EXPECT_EQ(tb_pawn_slot_offset(2, 8 * r + 3), d_file[r - 1]);
    }
}

TEST(SyzygyNames, MaterialComesFromTheName) {
    TbMaterial m;
    ASSERT_TRUE(tb_material_from_name("KQRvKR", m));
    EXPECT_EQ(m.pieces, 5);
    EXPECT_EQ(m.count[0][QUEEN], 1);
    EXPECT_EQ(m.count[0][ROOK], 1);
    EXPECT_EQ(m.count[1][ROOK], 1);
    EXPECT_EQ(m.count[1][KING], 1);
    EXPECT_FALSE(m.has_pawns);
    EXPECT_FALSE(m.symmetric);
    ASSERT_TRUE(tb_material_from_name("KPvKP", m));
    EXPECT_TRUE(m.has_pawns);
    EXPECT_TRUE(m.symmetric);
}

TEST(SyzygyNames, MalformedNamesAreRefused) {
    TbMaterial m;
    for (const char* bad :
         {"", "KvK", "QKvK", "KQvQ", "KQKvK", "KQvKvK", "KXvK", "KQv", "vKQ", "KQRBNvKP", "KQ vK"})
        EXPECT_FALSE(tb_material_from_name(bad, m)) << bad;
}

// A real file held in an exact-size buffer, so that any read past its end is caught by the
// sanitizer build.
struct LoadedTable {
    std::vector<unsigned char> bytes;
    TbMaterial material;
    TbFile file;
    bool parsed = false;
};

void load(LoadedTable& t, const std::string& name, bool dtz) {
    t.bytes = test::read_bytes(test::syzygy_dir() + "/" + name + (dtz ? ".rtbz" : ".rtbw"));
    ASSERT_TRUE(tb_material_from_name(name.c_str(), t.material)) << name;
    t.parsed = tb_parse_file(t.file, t.bytes.data(), t.bytes.size(), t.material, dtz);
}

// Piece squares of a FEN by table piece code, colours swapped and ranks mirrored on request.
void placement(const std::string& fen, bool swap, Bitboard by_code[PIECE_CODES]) {
    const ProbePosition pos = test::probe_position_from_fen(fen);
    const Bitboard sets[7]  = {0,         pos.pawns,  pos.knights, pos.bishops,
                               pos.rooks, pos.queens, pos.kings};
    for (int c = 0; c < PIECE_CODES; ++c)
        by_code[c] = 0;
    for (int type = PAWN; type <= KING; ++type)
        for (Bitboard b = sets[type]; b;) {
            const int sq     = pop_lsb(b);
            const int colour = ((pos.white & bit(sq)) ? 0 : 1) ^ (swap ? 1 : 0);
            by_code[make_code(colour, type)] |= bit(swap ? sq ^ 56 : sq);
        }
}

struct WorkedPosition {
    const char* fen;
    const char* table;
    bool dtz;
    bool swap;
    int sub;
    std::uint64_t index;
    int raw;
};

class SyzygyWorked : public test::SyzygyTest,
                     public ::testing::WithParamInterface<WorkedPosition> {};

TEST_P(SyzygyWorked, IndexAndRawValueMatch) {
    const WorkedPosition& w = GetParam();
    LoadedTable t;
    load(t, w.table, w.dtz);
    ASSERT_TRUE(t.parsed) << w.table;
    Bitboard by_code[PIECE_CODES];
    placement(w.fen, w.swap, by_code);
    std::uint64_t index = 0;
    ASSERT_TRUE(tb_encode(t.file.sub[w.sub], by_code, index));
    EXPECT_EQ(index, w.index);
    EXPECT_EQ(tb_read_value(t.file, w.sub, index), w.raw);
}

INSTANTIATE_TEST_SUITE_P(
    CheckedPositions, SyzygyWorked,
    ::testing::Values(
        WorkedPosition{"4K3/8/8/1R6/5k2/8/8/8 b - - 0 1", "KRvK", false, false, 1, 21440, 0},
        WorkedPosition{"4K3/8/8/1R6/5k2/8/8/8 w - - 0 1", "KRvK", true, false, 0, 21440, 13},
        WorkedPosition{"8/8/8/3q4/8/8/2R5/k3K3 b - - 0 1", "KQvKR", false, true, 0, 1458086, 4},
        WorkedPosition{"8/8/8/3q4/8/8/2R5/k3K3 b - - 0 1", "KQvKR", true, true, 0, 609640, 4},
        WorkedPosition{"8/8/8/8/8/2k5/1r6/KQ6 w - - 0 1", "KQvKR", false, false, 0, 1853195, 4},
        WorkedPosition{"8/8/8/8/8/2k5/1r6/KQ6 w - - 0 1", "KQvKR", true, false, 0, 1641876, 0},
        WorkedPosition{"7k/8/6Q1/8/8/1K6/4Q3/4Q3 b - - 0 1", "KQQQvK", false, false, 1, 14069187,
                       2},
        WorkedPosition{"8/8/8/2K1P3/8/8/p6k/8 b - - 0 1", "KPvKP", false, true, 0, 966075, 4},
        WorkedPosition{"8/8/8/4B1r1/5R2/8/8/k1K5 b - - 0 1", "KRBvKR", false, false, 1, 71349244,
                       0},
        WorkedPosition{"8/8/8/4B1r1/5R2/8/8/k1K5 b - - 0 1", "KRBvKR", true, false, 0, 111504001,
                       50}));

// Parsing of the shared table files; skipped without them.
class SyzygyParse : public test::SyzygyTest {};

TEST_F(SyzygyParse, EveryShippedFileParses) {
    for (const char* name : {"KQvK", "KPvK", "KQvKQ", "KPvKP", "KRPvK", "KQQQvK", "KRBvKR"})
        for (const bool dtz : {false, true}) {
            LoadedTable t;
            load(t, name, dtz);
            EXPECT_TRUE(t.parsed) << name << (dtz ? " dtz" : " wdl");
        }
}

TEST_F(SyzygyParse, FileOfOtherMaterialIsRefused) {
    LoadedTable t;
    load(t, "KQvK", false);
    ASSERT_TRUE(t.parsed);
    TbMaterial other;
    ASSERT_TRUE(tb_material_from_name("KRvK", other));
    TbFile file;
    EXPECT_FALSE(tb_parse_file(file, t.bytes.data(), t.bytes.size(), other, false));
    ASSERT_TRUE(tb_material_from_name("KPvK", other));
    EXPECT_FALSE(tb_parse_file(file, t.bytes.data(), t.bytes.size(), other, false));
}

TEST_F(SyzygyParse, WrongKindOrSizeIsRefused) {
    LoadedTable t;
    load(t, "KRvK", false);
    TbFile file;
    EXPECT_FALSE(tb_parse_file(file, t.bytes.data(), t.bytes.size(), t.material, true));
    std::vector<unsigned char> shorter(t.bytes.begin(), t.bytes.end() - 1);
    EXPECT_FALSE(tb_parse_file(file, shorter.data(), shorter.size(), t.material, false));
    std::vector<unsigned char> longer = t.bytes;
    longer.insert(longer.end() - 16, 64, 0);
    EXPECT_FALSE(tb_parse_file(file, longer.data(), longer.size(), t.material, false));
}

} // namespace
} // namespace tarn
