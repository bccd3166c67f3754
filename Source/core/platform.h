#pragma once
// Every operating-system difference lives here: the monotonic clock, sleeping, non-blocking
// reading of standard input, the timer-resolution hooks, the file tests and read-only file
// mapping. On POSIX the input
// is polled with a zero timeout and read as raw bytes; nothing else may read standard input
// through a buffered stream, whose buffer would hide waiting bytes from the poll.

#include <cstddef>
#include <cstdint>

namespace tarn {

// Seconds of a monotonic clock.
double platform_now();
// Sleeps about ms milliseconds; 0 yields the processor.
void platform_sleep_ms(int ms);
// Asks the scheduler to serve the calling thread promptly when it wakes (a short time slice):
// the thread that answers the protocol stays quick to reply even when more search threads than
// cores are busy. False where the system offers no such request; nothing else changes then.
bool platform_favour_latency();
// Processors this process may run on (at least 1).
int platform_cpu_count();
// Gives the calling thread the lowest scheduling weight (the highest niceness). Used for the
// helper search threads when there are more of them than processors, so that the threads that
// answer the protocol and decide the result are not starved by them. It cannot be undone.
void platform_lower_thread_priority();
// Result of platform_read_input: bytes read, nothing waiting, or the stream has ended.
constexpr long INPUT_NOTHING = 0;
constexpr long INPUT_ENDED   = -1;
// Reads at most cap bytes of standard input that are already waiting, without blocking.
long platform_read_input(char* buffer, std::size_t cap);
// Sleeps until standard input has something to read or has ended (when watch_input),
// platform_wake_input_waiter is called, or timeout_ms milliseconds have passed. A thread that waits
// like this instead of waking every so often to look uses almost no processor time, so the
// scheduler serves it at once when it wakes even while more busy threads than cores share the
// machine.
void platform_wait_input(int timeout_ms, bool watch_input);
// Ends a platform_wait_input early (or the next one, when none is waiting). Any thread.
void platform_wake_input_waiter();
// Reads one line of standard input, blocking (the console position editor only). Returns false
// at the end of input. The line feed is not stored.
bool platform_read_line_blocking(char* buffer, std::size_t cap);
// Timer resolution requests; POSIX timers need none, so these always succeed.
bool platform_timer_begin(int period_ms);
void platform_timer_end(int period_ms);
// Bytes of physical memory, or 0 when unknown. Large allocations are checked against it,
// since the system grants virtual memory it cannot back and ends the process on first use.
std::size_t platform_physical_memory();
// Bytes the system could still give without swapping (its own estimate), or 0 when unknown.
std::size_t platform_available_memory();
// An uninitialised block for a large table, aligned to 2 MB and offered to the system
// for large pages so that random probes do not miss the address-translation cache; null when
// memory is short. Released with platform_large_free, given the same size. Its pages go back
// to the system when it is freed.
void* platform_large_alloc(std::size_t bytes);
void platform_large_free(void* block, std::size_t bytes);
// File helpers: the log file, and readers that must not take a directory for an empty file.
bool platform_file_exists(const char* path);
bool platform_is_directory(const char* path);
bool platform_remove_file(const char* path);

// A whole file mapped read-only; data is nullptr when nothing is mapped.
struct MappedFile {
    const std::uint8_t* data = nullptr;
    std::size_t size         = 0;
};
// Maps a file read-only. False, with `file` left empty, when the file cannot be opened, is
// empty or cannot be mapped.
bool platform_map_file(const char* path, MappedFile& file);
// Releases a mapping and empties `file`. Returns 0, or the system's error code on failure.
int platform_unmap_file(MappedFile& file);

} // namespace tarn
