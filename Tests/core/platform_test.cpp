// The platform layer's scheduling request and file tests.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "core/platform.h"
#include "support/test_support.h"

namespace tarn {
namespace {

// The calling thread's time slice in nanoseconds from the scheduler's own report, or -1 where
// the system does not show it.
long long own_slice() {
    const long tid = syscall(SYS_gettid);
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/sched");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("se.slice", 0) == 0)
            return std::stoll(line.substr(line.find(':') + 1));
    return -1;
}

// The protocol thread asks for a short slice; the search threads it starts must not inherit it,
// or every searcher would be switched ten times as often.
TEST(Platform, ShortSliceIsNotPassedToNewThreads) {
    bool favoured       = false;
    long long own       = -1;
    long long inherited = -1;
    std::thread protocol([&] {
        favoured = platform_favour_latency();
        own      = own_slice();
        std::thread searcher([&] { inherited = own_slice(); });
        searcher.join();
    });
    protocol.join();
    if (!favoured || own < 0)
        GTEST_SKIP() << "this system offers no slice request, or does not show slices";
    EXPECT_EQ(own, 100'000);
    EXPECT_GT(inherited, own);
}

TEST(Platform, DirectoriesAreToldFromFiles) {
    const std::string file = test::scratch_path("entry.txt");
    const std::string dir  = std::filesystem::path(file).parent_path().string();
    std::ofstream(file) << "x";
    EXPECT_TRUE(platform_is_directory(dir.c_str()));
    EXPECT_FALSE(platform_is_directory(file.c_str()));
    EXPECT_FALSE(platform_is_directory((file + ".missing").c_str()));
    EXPECT_TRUE(platform_file_exists(file.c_str()));
    EXPECT_TRUE(platform_remove_file(file.c_str()));
    EXPECT_FALSE(platform_file_exists(file.c_str()));
}

// Resident memory of this process in bytes, from /proc (0 when it cannot be read).
std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// A large block is aligned for large pages, writable to its last byte, and its pages go back to
// the system when it is freed, also when a larger block came and went before it (an allocator
// would keep the pages of the smaller ones for itself).
TEST(Platform, LargeBlocksGiveTheirMemoryBack) {
    constexpr std::size_t MB    = std::size_t{1} << 20;
    constexpr std::size_t SLACK = 4 * MB;
    const std::size_t before    = resident_bytes();
    ASSERT_GT(before, 0u);
    for (const std::size_t bytes : {24 * MB, 8 * MB, 16 * MB, 24 * MB + 1}) {
        auto* block = static_cast<unsigned char*>(platform_large_alloc(bytes));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % (2 * MB), 0u);
        for (std::size_t i = 0; i < bytes; i += 4096)
            block[i] = 1;
        block[bytes - 1] = 1;
        EXPECT_GE(resident_bytes() + SLACK, before + bytes) << bytes;
        platform_large_free(block, bytes);
        EXPECT_LE(resident_bytes(), before + SLACK) << bytes;
    }
    platform_large_free(nullptr, MB); // nothing to free: no effect
}

} // namespace
} // namespace tarn
