#include "core/attacks.h"

#include <cstdlib>

namespace tarn {

AttackTables attack_tables;

namespace {

constexpr int STEP[DIRECTIONS]      = {8, -8, 1, -1, 9, 7, -7, -9};
constexpr int FILE_STEP[DIRECTIONS] = {0, 0, 1, -1, 1, -1, 1, -1};
constexpr int RANK_STEP[DIRECTIONS] = {1, -1, 0, 0, 1, 1, -1, -1};

bool on_board(int file, int rank) {
    return file >= 0 && file < 8 && rank >= 0 && rank < 8;
}

Bitboard offsets_from(int sq, const int (*offsets)[2], int count) {
    Bitboard b = 0;
    for (int i = 0; i < count; ++i) {
        const int f = file_of(sq) + offsets[i][0], r = rank_of(sq) + offsets[i][1];
        if (on_board(f, r))
            b |= bit(r * 8 + f);
    }
    return b;
}

constexpr Bitboard RANK_1_8        = 0xFF000000000000FFULL;
constexpr Bitboard FILE_A_H        = 0x8181818181818181ULL;
constexpr Bitboard RANK_1          = 0x00000000000000FFULL;
constexpr std::uint64_t MAGIC_SEED = 0x9E3779B97F4A7C15ULL;

// Magics that build_magic found from MAGIC_SEED, kept so that start-up does not repeat the
// search (a third of a second); each is checked when its table is filled, and searched for
// again should it ever fail.
constexpr std::uint64_t ROOK_MAGICS[64] = {
    0x1080004008801020ULL, 0x0840092002C03000ULL, 0x1900200010400900ULL, 0x0880100008000480ULL,
    0x4200100420080200ULL, 0x8100020100080400ULL, 0x0200040110886200ULL, 0x0200008040220411ULL,
    0x0404800084400220ULL, 0x0000401000402000ULL, 0x0086001081220440ULL, 0x0408800800100280ULL,
    0x000A001201040820ULL, 0x8848800200840080ULL, 0x4001000100040200ULL, 0x0442000102105084ULL,
    0x9080010020804100ULL, 0x0040404000201009ULL, 0x0000808010002009ULL, 0x2200090021D00100ULL,
    0x0008008008040080ULL, 0x0004004002010040ULL, 0x0011040008015042ULL, 0x00000A0001768104ULL,
    0x0000800080204009ULL, 0x2010004140002001ULL, 0x9800200280100080ULL, 0x1000100080080080ULL,
    0x0050500500080100ULL, 0x0000020080040080ULL, 0x0C10010400420810ULL, 0x1040008200005104ULL,
    0x01808240088004A0ULL, 0x0882804004802000ULL, 0x0880402001001100ULL, 0x2000210409001000ULL,
    0x2000480131001500ULL, 0x0000800400800200ULL, 0x000002380C001003ULL, 0x4600084882000431ULL,
    0x0080002000504000ULL, 0x0300500020004002ULL, 0x0040408200220011ULL, 0x0010040008004040ULL,
    0x0000080004008080ULL, 0x0010040002008080ULL, 0x2012004881020004ULL, 0x8300842444820011ULL,
    0x0088403882010200ULL, 0x0820400080210100ULL, 0x0110910040A00300ULL, 0x0801100280080480ULL,
    0x0242009008200600ULL, 0x1002000489500200ULL, 0x0040800200010080ULL, 0x0091800041000080ULL,
    0x0000209300488001ULL, 0x04C1002414824001ULL, 0x020020000B001041ULL, 0x7000100004200901ULL,
    0x8002002004100802ULL, 0x30010002084C0007ULL, 0x0888221800813004ULL, 0x4000002840840112ULL,
};
constexpr std::uint64_t BISHOP_MAGICS[64] = {
    0x20C0090901061081ULL, 0x0024040094030104ULL, 0x8210810200290200ULL, 0x0011040484620000ULL,
    0x0081104002221000ULL, 0x0009012011001350ULL, 0x0081010802400380ULL, 0x0000420210010408ULL,
    0x0008105002280050ULL, 0x0001028484040044ULL, 0x2A00880810408804ULL, 0x7020022282000100ULL,
    0x0084040420100A50ULL, 0x000401010840E000ULL, 0x2020020210420888ULL, 0x0008084202012010ULL,
    0x2010400810018800ULL, 0x0445122008020840ULL, 0x0804100808002008ULL, 0x0008002104110100ULL,
    0x0061005820080800ULL, 0x2001000200820100ULL, 0x480C210084010800ULL, 0x3004442500480420ULL,
    0x1010102240048100ULL, 0x00182009084220A3ULL, 0x8803090A10004205ULL, 0x0208080040202020ULL,
    0x000C044084010040ULL, 0x00A1010002004106ULL, 0x6008210020640202ULL, 0x1600902112860801ULL,
    0x00042008C1220200ULL, 0x010C042002440140ULL, 0x5022080200040820ULL, 0x0402004042940100ULL,
    0x0860108400008020ULL, 0x000C080022021000ULL, 0x0264080652822100ULL, 0x4005031221010401ULL,
    0x0004502410008400ULL, 0x000500B010A20400ULL, 0x0415094050080800ULL, 0x080000201800A104ULL,
    0x4022A80304000110ULL, 0x4012140802028020ULL, 0x40200104010100A0ULL, 0x12810806008B0C41ULL,
    0x0020441008080000ULL, 0x2002120084045420ULL, 0x0704020062080002ULL, 0x0000001084040001ULL,
    0x0322200891240200ULL, 0xF040200210024800ULL, 0x0140824832008042ULL, 0x000210020A004602ULL,
    0x0083042805141020ULL, 0x002C12009A011000ULL, 0x0041A00044140400ULL, 0x00004004020A0202ULL,
    0x0000140010020210ULL, 0x2864160811012200ULL, 0x2060080841082A17ULL, 0xA010041108003100ULL,
};

// Sparse random candidates (few set bits make good magics), from a fixed-seed generator so
// that every run builds the same tables.
std::uint64_t next_candidate(std::uint64_t& state) {
    std::uint64_t r = ~std::uint64_t{0};
    for (int i = 0; i < 3; ++i) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        r &= state * 0x2545F4914F6CDD1DULL;
    }
    return r;
}

// Finds a magic for one square and fills its slice of attack sets, which starts at `sets`;
// returns the number of entries used.
int build_magic(SliderMagic& m, int sq, Bitboard* sets, Bitboard (*traced)(int, Bitboard),
                std::uint64_t known, std::uint64_t& state) {
    const Bitboard edges =
        (RANK_1_8 & ~(RANK_1 << (8 * rank_of(sq)))) | (FILE_A_H & ~(FILE_A << file_of(sq)));
    m.mask         = traced(sq, 0) & ~edges;
    const int bits = popcount(m.mask);
    const int size = 1 << bits;
    m.shift        = 64 - bits;
    m.sets         = sets;
    Bitboard blockers[4096], reference[4096];
    int filled_in[4096] = {};
    Bitboard b          = 0;
    for (int i = 0; i < size; ++i) {
        blockers[i]  = b;
        reference[i] = traced(sq, b);
        b            = (b - m.mask) & m.mask;
    }
    for (int attempt = 1;; ++attempt) {
        m.magic = attempt == 1 && known ? known : next_candidate(state);
        if (popcount((m.mask * m.magic) >> 56) < 6)
            continue;
        bool good = true;
        for (int i = 0; i < size && good; ++i) {
            const auto index = static_cast<int>((blockers[i] * m.magic) >> m.shift);
            if (filled_in[index] != attempt) {
                filled_in[index] = attempt;
                sets[index]      = reference[i];
            } else if (sets[index] != reference[i]) {
                good = false;
            }
        }
        if (good)
            return size;
    }
}

// Shared candidate search of least_valuable_attacker and first_attacker: `mask` limits the
// candidates (occ, or every square), occ blocks the sliders.
int cheapest_attacker(const Position& pos, int sq, int colour, Bitboard occ, Bitboard mask) {
    const Bitboard* p = pos.pieces + 8 * colour;
    Bitboard b        = p[PAWN] & mask & pawn_attacks(colour ^ 1, sq);
    if (b)
        return lsb(b);
    b = p[KNIGHT] & mask & knight_attacks(sq);
    if (b)
        return lsb(b);
    const Bitboard diag = bishop_attacks(sq, occ), line = rook_attacks(sq, occ);
    b = p[BISHOP] & mask & diag;
    if (b)
        return lsb(b);
    b = p[ROOK] & mask & line;
    if (b)
        return lsb(b);
    b = p[QUEEN] & mask & (diag | line);
    if (b)
        return lsb(b);
    b = p[KING] & mask & king_attacks(sq);
    if (b)
        return lsb(b);
    return NO_SQUARE;
}

} // namespace

void attack_tables_init() {
    AttackTables& t = attack_tables;
    for (int sq = 0; sq < 64; ++sq) {
        t.bishop_rays[sq] = t.rook_rays[sq] = 0;
        for (int d = 0; d < DIRECTIONS; ++d) {
            Bitboard ray = 0;
            int f = file_of(sq) + FILE_STEP[d], r = rank_of(sq) + RANK_STEP[d];
            for (; on_board(f, r); f += FILE_STEP[d], r += RANK_STEP[d])
                ray |= bit(r * 8 + f);
            t.ray[d][sq] = ray;
            (FILE_STEP[d] && RANK_STEP[d] ? t.bishop_rays[sq] : t.rook_rays[sq]) |= ray;
        }
        static constexpr int KNIGHT_OFFSETS[8][2] = {{1, 2},   {2, 1},   {2, -1}, {1, -2},
                                                     {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
        static constexpr int KING_OFFSETS[8][2]   = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                                     {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
        static constexpr int WHITE_PAWN[2][2]     = {{-1, 1}, {1, 1}};
        static constexpr int BLACK_PAWN[2][2]     = {{-1, -1}, {1, -1}};
        t.knight_attacks[sq]                      = offsets_from(sq, KNIGHT_OFFSETS, 8);
        t.king_attacks[sq]                        = offsets_from(sq, KING_OFFSETS, 8);
        t.pawn_attacks[sq]                        = offsets_from(sq, WHITE_PAWN, 2);
        t.pawn_attacks[64 + sq]                   = offsets_from(sq, BLACK_PAWN, 2);
    }
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            Bitboard bb = 0;
            for (int d = 0; d < DIRECTIONS; ++d) {
                if (!(t.ray[d][a] & bit(b)))
                    continue;
                for (int s = a + STEP[d]; s != b; s += STEP[d])
                    bb |= bit(s);
            }
            t.between[a * 64 + b] = bb;
        }
    }
    std::uint64_t state = MAGIC_SEED;
    int rook_used = 0, bishop_used = 0;
    for (int sq = 0; sq < 64; ++sq) {
        rook_used += build_magic(t.rook_magic[sq], sq, t.rook_sets + rook_used, rook_attacks_traced,
                                 ROOK_MAGICS[sq], state);
        bishop_used += build_magic(t.bishop_magic[sq], sq, t.bishop_sets + bishop_used,
                                   bishop_attacks_traced, BISHOP_MAGICS[sq], state);
    }
}

bool attacked(const Position& pos, int sq, int colour) {
    const Bitboard* p = pos.pieces + 8 * colour;
    if (p[PAWN] & pawn_attacks(colour ^ 1, sq))
        return true;
    if (p[KNIGHT] & knight_attacks(sq))
        return true;
    if (p[KING] & king_attacks(sq))
        return true;
    const Bitboard occ = occupancy(pos);
    Bitboard b         = (p[BISHOP] | p[QUEEN]) & attack_tables.bishop_rays[sq];
    while (b)
        if (!(between(pop_lsb(b), sq) & occ))
            return true;
    b = (p[ROOK] | p[QUEEN]) & attack_tables.rook_rays[sq];
    while (b)
        if (!(between(pop_lsb(b), sq) & occ))
            return true;
    return false;
}

int least_valuable_attacker(const Position& pos, int sq, int colour, Bitboard occ) {
    return cheapest_attacker(pos, sq, colour, occ, occ);
}

int first_attacker(const Position& pos, int sq, int colour, Bitboard occ) {
    return cheapest_attacker(pos, sq, colour, occ, ~Bitboard{0});
}

} // namespace tarn
