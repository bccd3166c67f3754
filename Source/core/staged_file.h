#pragma once
// Output files that are never left half-written. A file is written under its own name with
// ".part" added and renamed over the real name only once every byte is out, so a run killed
// at any moment leaves either the previous file or the complete new one; at worst a stale
// ".part" file stays beside it, which the next run replaces. An append keeps the same promise
// by copying the current contents into the side file before the new records.

#include <cstdio>
#include <string>

namespace tarn {

constexpr const char* STAGED_SUFFIX = ".part";

// One output in progress.
struct StagedFile {
    std::FILE* file = nullptr; // the side file, open while the output is written
    std::string path;          // the real name
    std::string part_path;     // the side file's name
};

// --- set-up ---
// Opens the side file of path for writing (binary or text); with `append` it starts with the
// current contents of path, if any. False when the side file cannot be made.
bool staged_open(StagedFile& out, const std::string& path, bool binary, bool append = false);

// --- changes ---
// Closes the side file and renames it over the real name. False when a write, the close or
// the rename failed; the side file is then removed and the real file is as it was.
bool staged_commit(StagedFile& out);
// Closes and removes the side file; the real file is as it was.
void staged_discard(StagedFile& out);

} // namespace tarn
