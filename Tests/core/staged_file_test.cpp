#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

#include "core/staged_file.h"
#include "support/test_support.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

// A scratch folder per test, removed afterwards.
class StagedOutput : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratch_path("staged");
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const char* name) const { return (dir / name).string(); }
    static void write(const std::string& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path dir;
};

TEST_F(StagedOutput, TheRealFileChangesOnlyAtTheCommit) {
    const std::string out = path("out.epd");
    write(out, "old\n");
    StagedFile f;
    ASSERT_TRUE(staged_open(f, out, false));
    std::fputs("new line 1\n", f.file);
    std::fflush(f.file);
    // Written so far, as a kill would find it: the previous file is untouched.
    EXPECT_EQ(read(out), "old\n");
    EXPECT_EQ(read(out + STAGED_SUFFIX), "new line 1\n");
    std::fputs("new line 2\n", f.file);
    ASSERT_TRUE(staged_commit(f));
    EXPECT_EQ(read(out), "new line 1\nnew line 2\n");
    EXPECT_FALSE(fs::exists(out + STAGED_SUFFIX));
    EXPECT_EQ(f.file, nullptr);
}

TEST_F(StagedOutput, DiscardLeavesThePreviousFile) {
    const std::string out = path("book.bin");
    write(out, "previous");
    StagedFile f;
    ASSERT_TRUE(staged_open(f, out, true));
    std::fputs("half a book", f.file);
    staged_discard(f);
    EXPECT_EQ(read(out), "previous");
    EXPECT_FALSE(fs::exists(out + STAGED_SUFFIX));
}

TEST_F(StagedOutput, AppendStartsWithTheCurrentContents) {
    const std::string out = path("tmp.pgn");
    StagedFile f;
    ASSERT_TRUE(staged_open(f, out, false, true)); // no file yet: starts empty
    std::fputs("game 1\n\n", f.file);
    ASSERT_TRUE(staged_commit(f));
    ASSERT_TRUE(staged_open(f, out, false, true));
    std::fputs("game 2\n\n", f.file);
    ASSERT_TRUE(staged_commit(f));
    EXPECT_EQ(read(out), "game 1\n\ngame 2\n\n");
}

TEST_F(StagedOutput, AStaleSideFileIsReplaced) {
    const std::string out = path("out.epd");
    write(out + STAGED_SUFFIX, "left by a killed run");
    StagedFile f;
    ASSERT_TRUE(staged_open(f, out, false));
    std::fputs("fresh\n", f.file);
    ASSERT_TRUE(staged_commit(f));
    EXPECT_EQ(read(out), "fresh\n");
}

TEST_F(StagedOutput, FailuresKeepThePreviousState) {
    // No side file can be made in a folder that does not exist.
    StagedFile f;
    EXPECT_FALSE(staged_open(f, path("missing/out.epd"), false));
    EXPECT_EQ(f.file, nullptr);
    EXPECT_FALSE(staged_commit(f));
    // A folder under the output's name cannot be replaced by a file.
    const std::string taken = path("taken");
    fs::create_directories(fs::path(taken) / "inside");
    ASSERT_TRUE(staged_open(f, taken, false));
    std::fputs("text", f.file);
    EXPECT_FALSE(staged_commit(f));
    EXPECT_TRUE(fs::is_directory(fs::path(taken) / "inside"));
    EXPECT_FALSE(fs::exists(taken + STAGED_SUFFIX));
}

} // namespace
} // namespace tarn
