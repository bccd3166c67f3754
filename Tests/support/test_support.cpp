#include "support/test_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/movegen.h"
#include "frontend/startup.h"

namespace tarn::test {

namespace {
std::once_flag tables_once;
}

ThreadData* new_thread_data() {
    std::call_once(tables_once, init_engine_tables);
    return thread_data_create();
}

Position& set_fen(ThreadData& td, const char* fen) {
    parse_fen(td.board.pos, fen);
    return td.board.pos;
}

std::string test_data_path(const char* name) {
    return std::string(TARN_TEST_DATA_DIR) + "/" + name;
}

std::string test_data_head(const char* name, int stop) {
    const std::string file = test_data_path(name);
    std::ifstream in(file);
    if (!in) {
        ADD_FAILURE() << "missing test data file " << file;
        return "";
    }
    std::string text, line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (number >= stop && line.rfind("[Event ", 0) == 0)
            break;
        text += line + "\n";
    }
    return text;
}

std::string shared_data_dir() {
    const char* dir = std::getenv("TARN_SHARED_DATA");
    return dir && *dir ? dir : TARN_SHARED_DATA_DIR;
}

std::string shared_data(const char* name) {
    return shared_data_dir() + "/" + name;
}

bool has_shared_data(const char* name) {
    std::error_code error;
    return std::filesystem::exists(shared_data(name), error);
}

std::string no_shared_data(const char* name) {
    return "no shared test data " + shared_data(name) +
           " (set TARN_SHARED_DATA to the folder that has it)";
}

} // namespace tarn::test

namespace tarn::test {

std::vector<std::string> suite_fens(const char* name) {
    std::vector<std::string> fens;
    const std::string path = test_data_path(name);
    std::ifstream in(path);
    if (!in) {
        ADD_FAILURE() << "missing test data file " << path;
        return fens;
    }
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            fens.push_back(line.substr(0, line.find(';')));
    return fens;
}

void visit_suite_positions_and_children(ThreadData& td, std::initializer_list<const char*> suites,
                                        const std::function<void(Position&)>& visit) {
    for (const char* suite : suites) {
        for (const std::string& fen : suite_fens(suite)) {
            Position& pos = set_fen(td, fen.c_str());
            visit(pos);
            if (::testing::Test::HasFatalFailure())
                return;
            for (const Move m : legal_moves(pos)) {
                make_move(pos, m);
                visit(pos);
                unmake_move(pos);
                if (::testing::Test::HasFatalFailure())
                    return;
            }
        }
    }
}

bool same_position(const Position& a, const Position& b) {
    return std::memcmp(a.board, b.board, sizeof a.board) == 0 &&
           std::memcmp(a.pieces, b.pieces, sizeof a.pieces) == 0 && a.touched == b.touched &&
           std::memcmp(a.castle_loss, b.castle_loss, sizeof a.castle_loss) == 0 &&
           std::memcmp(a.castle_path, b.castle_path, sizeof a.castle_path) == 0 && a.key == b.key &&
           a.pawn_key == b.pawn_key &&
           std::memcmp(a.material_sig, b.material_sig, sizeof a.material_sig) == 0 &&
           std::memcmp(a.piece_material, b.piece_material, sizeof a.piece_material) == 0 &&
           std::memcmp(a.castle_rook, b.castle_rook, sizeof a.castle_rook) == 0 &&
           std::memcmp(a.king_sq, b.king_sq, sizeof a.king_sq) == 0 && a.side == b.side &&
           a.ep_square == b.ep_square && a.castle_rights == b.castle_rights && a.rule50 == b.rule50;
}

std::vector<std::string> read_lines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string scratch_path(const std::string& tag) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "none";
    for (char& ch : name)
        if (ch == '/')
            ch = '_';
    const std::size_t build = std::hash<std::string>{}(TARN_BINARY);
    const std::string file  = "tarn-test-" + std::to_string(build) + "-" + name + "-" + tag;
    return (std::filesystem::temp_directory_path() / file).string();
}

} // namespace tarn::test
