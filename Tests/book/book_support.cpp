#include "book/book_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "core/makemove.h"
#include "core/notation.h"

namespace tarn::test {

ScratchDir::ScratchDir() {
    path_ = (std::filesystem::temp_directory_path() / "tarn_book_XXXXXX").string();
    if (!mkdtemp(path_.data()))
        std::abort();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::file(const char* name) const {
    return path_ + "/" + name;
}

void write_book(const std::string& path, const std::vector<BookEntry>& entries) {
    std::string bytes;
    for (const BookEntry& e : entries) {
        unsigned char b[BOOK_ENTRY_BYTES];
        book_encode_entry(e, b);
        bytes.append(reinterpret_cast<const char*>(b), BOOK_ENTRY_BYTES);
    }
    write_bytes(path, bytes);
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

void write_text(const std::string& path, const std::string& text) {
    write_bytes(path, text);
}

std::vector<BookEntry> read_book(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<BookEntry> entries;
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return entries;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size() % BOOK_ENTRY_BYTES, 0u) << path;
    for (std::size_t at = 0; at + BOOK_ENTRY_BYTES <= bytes.size(); at += BOOK_ENTRY_BYTES)
        entries.push_back(
            book_decode_entry(reinterpret_cast<const unsigned char*>(bytes.data() + at)));
    return entries;
}

BookEntry entry_for(ThreadData& td, const char* move_text, int weight) {
    const Move move = find_legal_move(td.board.pos, parse_coord_move(td.board.pos, move_text));
    EXPECT_NE(move, NULL_MOVE) << move_text << " is not legal here";
    return BookEntry{book_key(td.board.pos), to_polyglot(move), static_cast<std::uint16_t>(weight),
                     0};
}

void play(ThreadData& td, const std::vector<const char*>& moves) {
    for (const char* text : moves) {
        const Move move = find_legal_move(td.board.pos, parse_coord_move(td.board.pos, text));
        ASSERT_NE(move, NULL_MOVE) << text << " is not legal here";
        td.board.search_ply = 1;
        make_move(td.board.pos, move);
        td.board.search_ply = 1;
    }
}

} // namespace tarn::test
