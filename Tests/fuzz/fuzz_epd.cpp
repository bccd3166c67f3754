// EPD text as the batch tools read it. fuzz_epd runs every line through the record reader,
// the number readers, the position reader and the readers of the moves a record names, then
// judges an answer against the record as "-anepd" does; fuzz_epd_tools runs whole files
// through "-anepd" and "-mktune1"/"-mktune2" with depth-1 searches.

#include <algorithm>
#include <string>

#include "core/movegen.h"
#include "frontend/uci.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/fuzz_targets.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "tools/anepd.h"
#include "tools/epd.h"
#include "tools/tune_data.h"

namespace tarn::fuzz {

namespace {

constexpr std::size_t MAX_LINES = 64;

// Reads each blank-separated word of a move list; what reads must be legal.
void read_move_words(Position& pos, const std::string& list) {
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end  = std::min(list.find_first_of(" ,", at), list.size());
        const std::string word = list.substr(at, end - at);
        at                     = end + 1;
        Move m                 = NULL_MOVE;
        if (!word.empty() && read_written_move(pos, word, m) && !is_legal_move(pos, m))
            fail("EPD move '" + word + "' read as an illegal move");
    }
}

void read_record(const std::string& line) {
    is_epd_remark(line);
    const EpdRecord record = parse_epd_record(line);
    int number             = 0;
    double result          = 0;
    epd_int(record.ce, number);
    epd_int(record.sc, number);
    if (epd_result(record.gr, result) && !(result >= 0 && result <= 1))
        fail("game result read outside 0..1: " + record.gr);
    ThreadData& td = scratch_thread();
    if (!set_epd_position(td.board.pos, record.position))
        return;
    if (!position_is_consistent(td.board.pos))
        fail("EPD position read inconsistent: " + record.position);
    td.board.search_ply = 1;
    read_move_words(td.board.pos, record.bm);
    read_move_words(td.board.pos, record.am);
    const std::vector<Move> moves = legal_moves(td.board.pos);
    const Move answer             = moves.empty() ? NULL_MOVE : moves.front();
    judge_answer(td.board.pos, record, answer);
    int earned = 0, possible = 0;
    score_answer(td.board.pos, record, answer, earned, possible);
    if (earned > possible)
        fail("an answer earned more than the best answer of: " + line);
}

} // namespace

int fuzz_epd(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    const std::vector<std::string> lines = split_lines(as_text(data, size));
    for (std::size_t i = 0; i < lines.size() && i < MAX_LINES; ++i)
        read_record(lines[i]);
    return 0;
}

int fuzz_epd_tools(const std::uint8_t* data, std::size_t size) {
    engine_setup();
    reset_engine();
    reset_search_tables();
    const std::string input   = write_scratch("suite.epd", data, size);
    const SearchLimits limits = depth_limits(1);
    analyse_epd_file(input, scratch_path("analysis.epd"), limits, dispatch_line);
    for (const int variant : {1, 2})
        build_tuning_set(input, scratch_path("tune.epd"), variant, limits, dispatch_line);
    reset_engine();
    return 0;
}

} // namespace tarn::fuzz
