#include "tb/tb_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>

#include "core/fen.h"
#include "support/test_support.h"
#include "tb/tb_probe.h"

namespace tarn::test {

namespace {

constexpr const char* SYZYGY_DATA[3] = {"syzygy", "syzygy-oracle.tsv", "syzygy-root.tsv"};

} // namespace

std::string syzygy_dir() {
    return shared_data("syzygy");
}

bool has_syzygy_data() {
    for (const char* name : SYZYGY_DATA)
        if (!has_shared_data(name))
            return false;
    return true;
}

void SyzygyTest::SetUp() {
    for (const char* name : SYZYGY_DATA)
        if (!has_shared_data(name))
            GTEST_SKIP() << no_shared_data(name);
}

std::vector<std::vector<std::string>> read_tsv(const char* name) {
    std::vector<std::vector<std::string>> rows;
    const std::string path = shared_data(name);
    std::ifstream in(path);
    if (!in) {
        ADD_FAILURE() << "missing test data file " << path;
        return rows;
    }
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::vector<std::string> fields;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t'))
            fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

ProbePosition probe_position_from_fen(const std::string& fen, unsigned rule50) {
    ThreadDataHandle td;
    return tb_probe_position(set_fen(*td, fen.c_str()), rule50);
}

std::string probe_move_text(int from, int to, int promotion) {
    std::string text = std::string(SQUARE_NAMES[from]) + SQUARE_NAMES[to];
    if (promotion)
        text += static_cast<char>(PIECE_LETTERS[promotion] - 'A' + 'a');
    return text;
}

TableDir::TableDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarn-tb-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        path_ = pattern;
    else
        ADD_FAILURE() << "cannot create a scratch directory";
}

TableDir::~TableDir() {
    std::error_code ec;
    if (!path_.empty())
        std::filesystem::remove_all(path_, ec);
}

void TableDir::copy_table(const std::string& file_name) const {
    std::error_code ec;
    std::filesystem::copy_file(syzygy_dir() + "/" + file_name, path_ + "/" + file_name,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec)
        ADD_FAILURE() << "cannot copy " << file_name << ": " << ec.message();
}

void TableDir::write(const std::string& file_name, const std::vector<unsigned char>& bytes) const {
    std::ofstream out(path_ + "/" + file_name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << file_name;
}

std::vector<unsigned char> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "missing test data file " << path;
        return {};
    }
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

} // namespace tarn::test
