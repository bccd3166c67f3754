#include "eval/eval_support.h"

#include <cctype>
#include <sstream>
#include <vector>

#include "eval/eval_params.h"
#include "support/test_support.h"

namespace tarn::test {

namespace {

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, sep))
        parts.push_back(part);
    return parts;
}

std::string join(const std::vector<std::string>& parts, const char* sep) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += sep;
        out += parts[i];
    }
    return out;
}

} // namespace

void init_eval() {
    thread_data_destroy(new_thread_data()); // builds every start-up table once
    init_eval_params();
}

void isolate_param(int index, int mid) {
    for (int i = 0; i < EVAL_PARAMS; ++i)
        apply_param_default(i, eval_param_table.records[i].name, i == index ? mid : 0, 0);
}

int isolated_weight(float w) {
    return static_cast<int>(1000.0f * w);
}

int hce_of(ThreadData& td, const char* fen) {
    set_fen(td, fen);
    return hce_evaluate(td.board.pos, td.eval, td.board.pos.side, 1);
}

HceScratch terms_of(ThreadData& td, const char* fen) {
    set_fen(td, fen);
    HceScratch e;
    hce_score_terms(td.board.pos, td.eval, e, td.board.pos.side, 1);
    return e;
}

std::string flip_colours(const std::string& fen) {
    std::vector<std::string> fields = split(fen, ' ');
    std::vector<std::string> ranks  = split(fields[0], '/');
    std::vector<std::string> flipped(ranks.rbegin(), ranks.rend());
    for (std::string& r : flipped)
        for (char& c : r)
            c = std::isupper(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c))
                                                            : static_cast<char>(std::toupper(c));
    fields[0] = join(flipped, "/");
    if (fields.size() > 1)
        fields[1][0] = fields[1][0] == 'w' ? 'b' : 'w';
    if (fields.size() > 2 && fields[2] != "-") {
        std::string castle;
        for (char c : fields[2])
            castle += std::isupper(static_cast<unsigned char>(c))
                          ? static_cast<char>(std::tolower(c))
                          : static_cast<char>(std::toupper(c));
        fields[2] = castle;
    }
    if (fields.size() > 3 && fields[3] != "-")
        fields[3][1] = static_cast<char>('1' + '8' - fields[3][1]);
    return join(fields, " ");
}

std::string mirror_files(const std::string& fen) {
    std::vector<std::string> fields = split(fen, ' ');
    std::vector<std::string> ranks  = split(fields[0], '/');
    for (std::string& r : ranks)
        r.assign(r.rbegin(), r.rend());
    fields[0] = join(ranks, "/");
    if (fields.size() > 2) {
        fields[2].resize(1);
        fields[2][0] = '-';
    }
    if (fields.size() > 3 && fields[3] != "-")
        fields[3][0] = static_cast<char>('a' + 'h' - fields[3][0]);
    return join(fields, " ");
}

} // namespace tarn::test
