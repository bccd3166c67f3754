#include "core/platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace tarn {

namespace {

// The kernel's scheduling-attribute record (the first version, 56 bytes).
struct SchedAttr {
    std::uint32_t size;
    std::uint32_t sched_policy;
    std::uint64_t sched_flags;
    std::int32_t sched_nice;
    std::uint32_t sched_priority;
    std::uint64_t sched_runtime;
    std::uint64_t sched_deadline;
    std::uint64_t sched_period;
    std::uint32_t sched_util_min;
    std::uint32_t sched_util_max;
};
static_assert(sizeof(SchedAttr) == 56);

constexpr std::uint64_t SHORT_SLICE_NS           = 100'000; // the shortest slice granted
constexpr std::uint64_t SCHED_RESET_ON_FORK_FLAG = 1;

} // namespace

double platform_now() {
    const auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(t).count();
}

void platform_sleep_ms(int ms) {
    if (ms <= 0)
        sched_yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int platform_cpu_count() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    return std::max(1, CPU_COUNT(&set));
}

void platform_lower_thread_priority() {
    constexpr int LOWEST = 19;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), LOWEST);
}

bool platform_favour_latency() {
#ifdef SYS_sched_setattr
    // The thread's own niceness is kept: an unprivileged thread may not lower it.
    errno                = 0;
    const int nice_value = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    if (errno != 0)
        return false;
    SchedAttr attr{};
    attr.size          = sizeof attr;
    attr.sched_policy  = SCHED_OTHER;
    attr.sched_nice    = nice_value;
    attr.sched_runtime = SHORT_SLICE_NS;
    attr.sched_flags   = SCHED_RESET_ON_FORK_FLAG; // threads it starts get the usual slice
    return syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
#else
    return false;
#endif
}

long platform_read_input(char* buffer, std::size_t cap) {
    pollfd pfd{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&pfd, 1, 0);
    if (ready <= 0)
        return INPUT_NOTHING;
    if (pfd.revents & POLLNVAL)
        return INPUT_ENDED;
    if (!(pfd.revents & (POLLIN | POLLHUP | POLLERR)))
        return INPUT_NOTHING;
    const ssize_t n = read(STDIN_FILENO, buffer, cap);
    if (n > 0)
        return static_cast<long>(n);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return INPUT_NOTHING;
    return INPUT_ENDED;
}

namespace {

// A pipe whose reading end joins standard input in platform_wait_input's poll: a byte written
// to it ends the wait. Made on first use; both ends are non-blocking.
int wake_pipe[2] = {-1, -1};
std::once_flag wake_pipe_made;

void make_wake_pipe() {
    if (pipe(wake_pipe) != 0) {
        wake_pipe[0] = wake_pipe[1] = -1;
        return;
    }
    for (const int fd : wake_pipe)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

void platform_wait_input(int timeout_ms, bool watch_input) {
    std::call_once(wake_pipe_made, make_wake_pipe);
    // The wake pipe first, so that standard input can be left out of the poll.
    pollfd fds[2]      = {{wake_pipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const nfds_t count = watch_input ? 2 : 1;
    if (poll(fds, count, timeout_ms) > 0 && (fds[0].revents & POLLIN)) {
        char drain[64];
        while (read(wake_pipe[0], drain, sizeof drain) > 0) {
        }
    }
}

void platform_wake_input_waiter() {
    std::call_once(wake_pipe_made, make_wake_pipe);
    if (wake_pipe[1] >= 0) {
        const char byte                  = 1;
        [[maybe_unused]] const ssize_t n = write(wake_pipe[1], &byte, 1);
    }
}

bool platform_read_line_blocking(char* buffer, std::size_t cap) {
    std::size_t len = 0;
    for (;;) {
        char c;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            buffer[len] = 0;
            return len > 0;
        }
        if (c == '\n')
            break;
        if (len + 1 < cap)
            buffer[len++] = c;
    }
    buffer[len] = 0;
    return true;
}

std::size_t platform_physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long size  = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && size > 0 ? static_cast<std::size_t>(pages) * static_cast<std::size_t>(size)
                                 : 0;
}

std::size_t platform_available_memory() {
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f)
        return 0;
    char line[256];
    unsigned long long kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "MemAvailable: %llu kB", &kb) == 1)
            break;
    std::fclose(f);
    return static_cast<std::size_t>(kb) * 1024;
}

namespace {

constexpr std::size_t LARGE_PAGE = std::size_t{1} << 21;

std::size_t large_block_size(std::size_t bytes) {
    return (bytes + LARGE_PAGE - 1) / LARGE_PAGE * LARGE_PAGE;
}

} // namespace

void* platform_large_alloc(std::size_t bytes) {
    // Mapped from the system rather than taken from the allocator: the allocator keeps the
    // pages of a freed block of a few megabytes for later requests, and a process that resized
    // its table a thousand times held many megabytes more than its table.
    const std::size_t size = large_block_size(bytes);
    void* raw              = mmap(nullptr, size + LARGE_PAGE, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    // Keeps the aligned part of the mapping and returns the rest.
    const auto start       = reinterpret_cast<std::uintptr_t>(raw);
    const auto aligned     = (start + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
    const std::size_t lead = aligned - start;
    if (lead)
        munmap(raw, lead);
    munmap(reinterpret_cast<void*>(aligned + size), LARGE_PAGE - lead); // lead < LARGE_PAGE
    void* block = reinterpret_cast<void*>(aligned);
    madvise(block, size, MADV_HUGEPAGE);
    return block;
}

void platform_large_free(void* block, std::size_t bytes) {
    if (block)
        munmap(block, large_block_size(bytes));
}

bool platform_timer_begin(int) {
    return true;
}
void platform_timer_end(int) {}

bool platform_file_exists(const char* path) {
    struct stat st;
    return stat(path, &st) == 0;
}

bool platform_is_directory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool platform_remove_file(const char* path) {
    return std::remove(path) == 0;
}

bool platform_map_file(const char* path, MappedFile& file) {
    file         = MappedFile{};
    const int fd = open(path, O_RDONLY);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        close(fd);
        return false;
    }
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    void* view             = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd); // the mapping keeps the file open
    if (view == MAP_FAILED)
        return false;
    file.data = static_cast<const std::uint8_t*>(view);
    file.size = size;
    return true;
}

int platform_unmap_file(MappedFile& file) {
    int error = 0;
    if (file.data && munmap(const_cast<std::uint8_t*>(file.data), file.size) != 0)
        error = errno;
    file = MappedFile{};
    return error;
}

} // namespace tarn
