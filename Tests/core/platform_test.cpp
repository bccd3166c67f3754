// The platform layer's scheduling request and file tests.

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

#include "core/platform.h"

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
    const std::string dir  = ::testing::TempDir();
    const std::string file = dir + "tarn_platform_test.txt";
    std::ofstream(file) << "x";
    EXPECT_TRUE(platform_is_directory(dir.c_str()));
    EXPECT_FALSE(platform_is_directory(file.c_str()));
    EXPECT_FALSE(platform_is_directory((dir + "no_such_entry").c_str()));
    EXPECT_TRUE(platform_file_exists(file.c_str()));
    EXPECT_TRUE(platform_remove_file(file.c_str()));
    EXPECT_FALSE(platform_file_exists(file.c_str()));
}

} // namespace
} // namespace tarn
