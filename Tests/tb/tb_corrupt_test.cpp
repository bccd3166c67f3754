// Damaged table files: copies of real files truncated, flipped at random bytes or with
// impossible fields must make probes fail or answer within range, never read outside the file
// or crash. The decoder is also run on exact-size heap copies, where the sanitizer build
// catches a read of even one byte past the end.

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "frontend/engine_process.h"
#include "tb/syzygy_decode.h"
#include "tb/syzygy_probe.h"
#include "tb/tb_probe.h"
#include "tb/tb_test_support.h"

namespace tarn {
namespace {

// Tables closed under captures, so every position of theirs can be probed completely.
const char* const TABLES[]       = {"KQvK", "KRvK", "KBvK", "KNvK", "KPvK", "KQvKR", "KRvKP"};
constexpr unsigned SEED          = 20240611;
constexpr int TRUNCATIONS        = 3;  // per file
constexpr int FLIP_VARIANTS      = 5;  // per file
constexpr int MAX_FLIPS          = 16; // bytes changed in one variant
constexpr int READS_PER_SUBTABLE = 64;
constexpr int MAX_DTZ            = 2 * 0xFFFF + 103; // largest a map entry can make
constexpr int FAILED             = 99;

struct Probed {
    ProbePosition pos;
    int wdl = FAILED;
    int dtz = FAILED;
};

std::vector<std::string> file_names() {
    std::vector<std::string> names;
    for (const char* t : TABLES) {
        names.push_back(std::string(t) + ".rtbw");
        names.push_back(std::string(t) + ".rtbz");
    }
    return names;
}

void probe(Probed& p) {
    p.wdl = p.dtz = FAILED;
    int v;
    if (probe_wdl(p.pos, v))
        p.wdl = v;
    if (probe_dtz(p.pos, v))
        p.dtz = v;
}

// Oracle positions of the chosen tables.
std::vector<Probed> positions() {
    std::vector<Probed> out;
    for (const auto& row : test::read_tsv("syzygy-oracle.tsv")) {
        const ProbePosition pos = test::probe_position_from_fen(row[0]);
        std::string white = "K", black = "K";
        const Bitboard sets[5] = {pos.queens, pos.rooks, pos.bishops, pos.knights, pos.pawns};
        for (int i = 0; i < 5; ++i) {
            white += std::string(popcount(sets[i] & pos.white), "QRBNP"[i]);
            black += std::string(popcount(sets[i] & pos.black), "QRBNP"[i]);
        }
        for (const char* t : TABLES)
            if (white + "v" + black == t || black + "v" + white == t)
                out.push_back(Probed{pos});
    }
    return out;
}

void load_quietly(const std::string& path) {
    test::StdoutCapture quiet;
    tb_init(path.c_str());
}

class TbCorruptFiles : public test::SyzygyTest {
protected:
    // The intact answers are worked out once for the suite.
    static void SetUpTestSuite() {
        dir = new test::TableDir;
        if (!test::has_syzygy_data())
            return; // every test skips
        for (const std::string& f : file_names()) {
            dir->copy_table(f);
            originals.push_back(test::read_bytes(test::syzygy_dir() + "/" + f));
        }
        load_quietly(dir->path());
        baseline = positions();
        for (Probed& p : baseline)
            probe(p);
    }
    static void TearDownTestSuite() {
        load_quietly("");
        delete dir;
        originals.clear();
        baseline.clear();
    }

    // The DTZ files of endings that are always drawn: probes answer before reading them.
    bool is_never_read(std::size_t f) const {
        return file_names()[f].find(".rtbz") != std::string::npos && originals[f].size() <= 80;
    }

    // Probes every position with one file replaced by `bytes`; returns how many failed and
    // checks that every answer is either the intact one (when `same_or_failed`) or in range.
    int probe_with(std::size_t file, const std::vector<unsigned char>& bytes, bool same_or_failed) {
        dir->write(file_names()[file], bytes);
        load_quietly(dir->path());
        int failed = 0;
        for (const Probed& want : baseline) {
            Probed got{want.pos};
            probe(got);
            failed += got.wdl == FAILED || got.dtz == FAILED;
            if (same_or_failed) {
                EXPECT_TRUE(got.wdl == FAILED || got.wdl == want.wdl);
                EXPECT_TRUE(got.dtz == FAILED || got.dtz == want.dtz);
            } else {
                EXPECT_TRUE(got.wdl == FAILED || (got.wdl >= -2 && got.wdl <= 2)) << got.wdl;
                EXPECT_TRUE(got.dtz == FAILED || (got.dtz >= -MAX_DTZ && got.dtz <= MAX_DTZ))
                    << got.dtz;
            }
        }
        dir->write(file_names()[file], originals[file]);
        return failed;
    }

    static test::TableDir* dir;
    static std::vector<std::vector<unsigned char>> originals;
    static std::vector<Probed> baseline;
};

test::TableDir* TbCorruptFiles::dir = nullptr;
std::vector<std::vector<unsigned char>> TbCorruptFiles::originals;
std::vector<Probed> TbCorruptFiles::baseline;

TEST_F(TbCorruptFiles, IntactCopiesAnswerEveryPosition) {
    ASSERT_GT(baseline.size(), 100u);
    for (const Probed& p : baseline) {
        EXPECT_NE(p.wdl, FAILED);
        EXPECT_NE(p.dtz, FAILED);
    }
}

TEST_F(TbCorruptFiles, TruncatedFilesFailTheProbesThatNeedThem) {
    std::mt19937 rng(SEED);
    for (std::size_t f = 0; f < originals.size(); ++f) {
        if (is_never_read(f))
            continue;
        for (int i = 0; i < TRUNCATIONS; ++i) {
            std::vector<unsigned char> bytes = originals[f];
            bytes.resize(std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(rng));
            EXPECT_GT(probe_with(f, bytes, true), 0)
                << file_names()[f] << " cut to " << bytes.size();
        }
    }
}

TEST_F(TbCorruptFiles, BadMagicFailsTheProbesThatNeedIt) {
    for (std::size_t f = 0; f < originals.size(); ++f) {
        if (is_never_read(f))
            continue;
        std::vector<unsigned char> bytes = originals[f];
        bytes[1] ^= 0x40;
        EXPECT_GT(probe_with(f, bytes, true), 0) << file_names()[f];
    }
}

TEST_F(TbCorruptFiles, RandomByteFlipsNeverLeaveTheRange) {
    std::mt19937 rng(SEED + 1);
    for (std::size_t f = 0; f < originals.size(); ++f)
        for (int v = 0; v < FLIP_VARIANTS; ++v) {
            std::vector<unsigned char> bytes = originals[f];
            const int flips = std::uniform_int_distribution<int>(1, MAX_FLIPS)(rng);
            for (int i = 0; i < flips; ++i) {
                const std::size_t at =
                    std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(rng);
                bytes[at] ^= static_cast<unsigned char>(rng() | 1);
            }
            probe_with(f, bytes, false);
        }
}

// ---------------------------------------------------------------------------------------------
// The decoder on exact-size copies
// ---------------------------------------------------------------------------------------------

struct Buffer {
    std::vector<unsigned char> bytes;
    TbMaterial material;
    bool dtz = false;
};

Buffer load_buffer(const std::string& table, bool dtz) {
    Buffer b;
    b.bytes = test::read_bytes(test::syzygy_dir() + "/" + table + (dtz ? ".rtbz" : ".rtbw"));
    b.dtz   = dtz;
    EXPECT_TRUE(tb_material_from_name(table.c_str(), b.material));
    return b;
}

// Parses a copy held in a buffer of exactly its size and reads values all over it.
bool parse_and_read(const Buffer& b, std::mt19937& rng, bool& read_failed) {
    std::vector<unsigned char> exact(b.bytes);
    exact.shrink_to_fit();
    TbFile file;
    if (!tb_parse_file(file, exact.data(), exact.size(), b.material, b.dtz))
        return false;
    read_failed = false;
    for (int s = 0; s < file.file_groups * file.sides; ++s)
        for (int i = 0; i < READS_PER_SUBTABLE; ++i) {
            const std::uint64_t index =
                std::uniform_int_distribution<std::uint64_t>(0, file.sub[s].size - 1)(rng);
            const int v = tb_read_value(file, s, index);
            EXPECT_GE(v, TB_READ_FAILED);
            EXPECT_LE(v, 0xFFF);
            read_failed |= v == TB_READ_FAILED;
        }
    return true;
}

// Damaged copies of the shared table files; skipped without them.
class TbCorruptBuffers : public test::SyzygyTest {};

TEST_F(TbCorruptBuffers, FlippedAndCutCopiesAreReadSafely) {
    std::mt19937 rng(SEED + 2);
    bool read_failed;
    for (const char* table : TABLES)
        for (const bool dtz : {false, true}) {
            const Buffer original = load_buffer(table, dtz);
            ASSERT_TRUE(parse_and_read(original, rng, read_failed)) << table;
            EXPECT_FALSE(read_failed) << table;
            for (int v = 0; v < 4 * FLIP_VARIANTS; ++v) {
                Buffer b        = original;
                const int flips = std::uniform_int_distribution<int>(1, MAX_FLIPS)(rng);
                for (int i = 0; i < flips; ++i)
                    b.bytes[std::uniform_int_distribution<std::size_t>(0, b.bytes.size() - 1)(
                        rng)] ^= static_cast<unsigned char>(rng() | 1);
                parse_and_read(b, rng, read_failed);
                b = original;
                b.bytes.resize(
                    std::uniform_int_distribution<std::size_t>(0, b.bytes.size() - 1)(rng));
                EXPECT_FALSE(parse_and_read(b, rng, read_failed)) << table;
            }
        }
}

// KQvKR.rtbw: one piece record, then the descriptor of its first sub-table at offset 10.
constexpr std::size_t KQVKR_DESCRIPTOR = 10;

TEST_F(TbCorruptBuffers, FieldsPointingOutsideTheFileAreRefused) {
    const Buffer original = load_buffer("KQvKR", false);
    TbFile file;
    ASSERT_TRUE(tb_parse_file(file, original.bytes.data(), original.bytes.size(), original.material,
                              false));
    ASSERT_FALSE(file.sub[0].flags & TB_SINGLE_VALUE);
    struct Patch {
        std::size_t at;
        unsigned char value;
        const char* what;
    };
    const std::size_t symbols = file.sub[0].symbols_at;
    for (const Patch& p : {Patch{KQVKR_DESCRIPTOR + 1, 0xFF, "block size"},
                           Patch{KQVKR_DESCRIPTOR + 2, 0x00, "span size"},
                           Patch{KQVKR_DESCRIPTOR + 7, 0x7F, "block count"},
                           Patch{KQVKR_DESCRIPTOR + 8, 0x40, "longest code"},
                           Patch{KQVKR_DESCRIPTOR + 9, 0x00, "shortest code"},
                           Patch{5, 0x0F, "group order"}, Patch{6, 0x01, "piece code"}}) {
        Buffer b      = original;
        b.bytes[p.at] = p.value;
        EXPECT_FALSE(tb_parse_file(file, b.bytes.data(), b.bytes.size(), b.material, false))
            << p.what;
    }
    // A symbol made a pair of itself would expand for ever.
    Buffer b             = original;
    b.bytes[symbols]     = 0;
    b.bytes[symbols + 1] = 0;
    b.bytes[symbols + 2] = 0;
    EXPECT_FALSE(tb_parse_file(file, b.bytes.data(), b.bytes.size(), b.material, false));
}

TEST_F(TbCorruptBuffers, ImpossibleBlockIndexFailsTheRead) {
    Buffer b = load_buffer("KQvKR", false);
    TbFile file;
    ASSERT_TRUE(tb_parse_file(file, b.bytes.data(), b.bytes.size(), b.material, false));
    const std::size_t entry = file.sub[0].sparse_at;
    ASSERT_NE(tb_read_value(file, 0, 0), TB_READ_FAILED);
    for (int i = 0; i < 4; ++i)
        b.bytes[entry + i] = 0xFF;
    ASSERT_TRUE(tb_parse_file(file, b.bytes.data(), b.bytes.size(), b.material, false));
    EXPECT_EQ(tb_read_value(file, 0, 0), TB_READ_FAILED);
    EXPECT_EQ(tb_read_value(file, 0, file.sub[0].size), TB_READ_FAILED); // past the last index
}

// A zeroed block decodes as a run of the longest codes, far more bits than the block holds: the
// walk must stop at the block's end instead of reading on past the end of the file.
TEST_F(TbCorruptBuffers, ZeroedLastBlockIsNotReadPastTheFileEnd) {
    for (const char* table : {"KQvKR", "KRvKP"}) {
        Buffer b = load_buffer(table, false);
        TbFile file;
        ASSERT_TRUE(tb_parse_file(file, b.bytes.data(), b.bytes.size(), b.material, false));
        const int last       = file.file_groups * file.sides - 1;
        const TbSubTable& st = file.sub[last];
        ASSERT_FALSE(st.flags & TB_SINGLE_VALUE) << table;
        const std::size_t block = st.data_at + ((st.nblocks - 1ULL) << st.blockbits);
        std::vector<unsigned char> exact(b.bytes.begin(), b.bytes.end());
        exact.shrink_to_fit();
        for (std::size_t i = block; i < exact.size(); ++i)
            exact[i] = 0;
        ASSERT_TRUE(tb_parse_file(file, exact.data(), exact.size(), b.material, false));
        EXPECT_EQ(tb_read_value(file, last, file.sub[last].size - 1), TB_READ_FAILED) << table;
    }
}

} // namespace
} // namespace tarn
