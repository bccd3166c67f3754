#include "core/staged_file.h"

#include <filesystem>
#include <system_error>

namespace tarn {

namespace {

constexpr std::size_t COPY_CHUNK = 65536;

// Copies the file at path, if there is one, to the end of out. False when reading or writing
// failed part way.
bool copy_existing(const std::string& path, std::FILE* out) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return true;
    char chunk[COPY_CHUNK];
    bool ok = true;
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
        ok = ok && std::fwrite(chunk, 1, n, out) == n;
    ok = ok && !std::ferror(in);
    std::fclose(in);
    return ok;
}

} // namespace

bool staged_open(StagedFile& out, const std::string& path, bool binary, bool append) {
    out.path      = path;
    out.part_path = path + STAGED_SUFFIX;
    out.file      = std::fopen(out.part_path.c_str(), binary ? "wb" : "w");
    if (!out.file)
        return false;
    if (append && !copy_existing(path, out.file)) {
        staged_discard(out);
        return false;
    }
    return true;
}

bool staged_commit(StagedFile& out) {
    if (!out.file)
        return false;
    bool ok  = std::fflush(out.file) == 0 && !std::ferror(out.file);
    ok       = std::fclose(out.file) == 0 && ok;
    out.file = nullptr;
    std::error_code error;
    if (ok)
        std::filesystem::rename(out.part_path, out.path, error);
    if (ok && !error)
        return true;
    std::filesystem::remove(out.part_path, error);
    return false;
}

void staged_discard(StagedFile& out) {
    if (out.file)
        std::fclose(out.file);
    out.file = nullptr;
    std::error_code error;
    std::filesystem::remove(out.part_path, error);
}

} // namespace tarn
