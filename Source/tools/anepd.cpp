#include "tools/anepd.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "core/fen.h"
#include "core/notation.h"
#include "frontend/output.h"
#include "frontend/run_settings.h"
#include "search/info_line.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/tt.h"
#include "tools/tool_search.h"

namespace tarn {

namespace {

constexpr const char* MOVE_SEPARATORS = " ,;\"\n";
constexpr const char* ITEM_SEPARATORS = ", \"\n";

// The non-empty words of text between any of the separator characters.
std::vector<std::string> split_words(const std::string& text, const char* separators) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(separators, at);
        if (start == std::string::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(separators, start), text.size());
        words.push_back(text.substr(start, end - start));
        at = end;
    }
    return words;
}

// The result record of one position: a record that carries a game result is kept as it is
// with the search score added; any other gets the answer and the score as "bm" and "ce".
void write_result(std::FILE* out, const std::string& line, const EpdRecord& record) {
    const Move answer = search_results.pv[1];
    if (!record.gr.empty())
        std::fprintf(out, "%s sc %d;\n", line.c_str(), search_results.best_score.load());
    else
        std::fprintf(out, "%s bm %s%s; ce %d;\n", record.position.c_str(),
                     SQUARE_NAMES[move_from(answer)], SQUARE_NAMES[move_to(answer)],
                     search_results.best_score.load());
}

// The per-position lines of a run that is not quiet, after the search.
void print_position_result() {
    const SearchState& s = search_state;
    Position& pos        = main_thread->board.pos;
    const double nodes   = static_cast<double>(search_results.nodes);
    print_final_line();
    print_format("move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps",
                 move_to_coord(pos, pos.side, search_results.pv[1], run_move_style()).c_str(),
                 s.elapsed.load(), search_results.best_score.load(), nodes,
                 nodes / (s.elapsed + 0.001) / 1000);
}

// Searches the record's position (already set on the game) and adds its answer to totals.
// Returns true when "quit" came during the search.
bool analyse_record(const std::string& line, const EpdRecord& record, AnalysisTotals& totals,
                    std::FILE* out, const SearchLimits& limits, TypedLineHandler on_typed_line) {
    SearchState& s     = search_state;
    const bool verbose = run_settings.noise != NOISE_SILENT;
    ++totals.records;
    if (verbose) {
        print_format("pos= %d", totals.records);
        print_line(line);
        show_board(main_thread->board.pos);
    }
    if (s.use_hash)
        tt_clear();
    search_tool_position(limits, on_typed_line);
    const bool quit = run_settings.quit;
    // A typed "position" may have replaced the game meanwhile; the answer belongs to the record.
    set_epd_position(main_thread->board.pos, record.position);
    totals.time += s.elapsed;
    totals.nodes += search_results.nodes;
    totals.depth += search_results.last_depth;
    totals.branching += branching_factor();
    const Move answer = search_results.pv[1];
    totals.correct += judge_answer(main_thread->board.pos, record, answer);
    score_answer(main_thread->board.pos, record, answer, totals.points, totals.points_possible);
    if (verbose)
        print_position_result();
    if (answer)
        write_result(out, line, record);
    return quit;
}

} // namespace

int judge_answer(Position& pos, const EpdRecord& record, Move answer) {
    Move move = NULL_MOVE;
    // A record counts once, however often a best move is listed.
    if (!record.bm.empty()) {
        for (const std::string& word : split_words(record.bm, MOVE_SEPARATORS))
            if (read_written_move(pos, word, move) && move == answer)
                return 1;
        return 0;
    }
    if (record.am.empty())
        return 0;
    bool readable = false;
    for (const std::string& word : split_words(record.am, MOVE_SEPARATORS)) {
        if (!read_written_move(pos, word, move))
            continue;
        if (move == answer)
            return 0;
        readable = true;
    }
    return readable ? 1 : 0;
}

void score_answer(Position& pos, const EpdRecord& record, Move answer, int& earned, int& possible) {
    if (record.c0.find('=') == std::string::npos)
        return;
    int best = 0, got = 0;
    bool found = false;
    for (const std::string& item : split_words(record.c0, ITEM_SEPARATORS)) {
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos)
            continue;
        const int points = static_cast<int>(std::strtol(item.c_str() + eq + 1, nullptr, 10));
        best             = std::max(best, points);
        Move move        = NULL_MOVE;
        if (!found && read_written_move(pos, item.substr(0, eq), move) && move == answer) {
            got   = points;
            found = true;
        }
    }
    possible += best;
    earned += got;
}

void print_analysis_summary(const AnalysisTotals& totals) {
    const int n = totals.records;
    print_format("%d / %d correct best moves", totals.correct, n);
    print_format("total nodes= %0.0f", static_cast<double>(totals.nodes));
    print_format("total time= %0.2f seconds", totals.time);
    print_format("avg depth= %0.1f", n ? static_cast<double>(totals.depth) / n : 0.0);
    print_format("avg nodes= %0.1f", n ? static_cast<double>(totals.nodes / n) : 0.0);
    print_format("node_rate= %0.0f", static_cast<double>(totals.nodes) / (0.001 + totals.time));
    print_format("avg bf= %0.2f", n ? totals.branching / n : 0.0);
    print_format("score= %d / %d", totals.points, totals.points_possible);
    print_line("");
}

void analyse_epd_file(const std::string& input, const std::string& output,
                      const SearchLimits& limits, TypedLineHandler on_typed_line) {
    const std::string out_name = output.empty() ? ANALYSIS_FILE : output;
    std::ifstream in;
    if (!open_tool_input(in, input))
        return;
    StagedFile staged;
    if (!open_tool_output(staged, out_name, false))
        return;
    std::FILE* out = staged.file;
    print_format("Analyzing %s...", input.c_str());
    if (limits.max_depth < ANALYSIS_NO_HASH_DEPTH)
        search_state.use_hash = 0;
    AnalysisTotals totals;
    std::string line;
    for (int number = 1; read_text_line(in, line); ++number) {
        // Sizes count the line feed, as the suites' line limits do.
        const int chars = static_cast<int>(line.size()) + 1;
        if (is_epd_remark(line) || chars < EPD_MIN_LINE_CHARS)
            continue;
        if (chars > EPD_MAX_LINE_CHARS) {
            print_format("info string line %d is too long, skipped", number);
            continue;
        }
        const EpdRecord record = parse_epd_record(line);
        if (!set_epd_position(main_thread->board.pos, record.position)) {
            print_format("info string line %d has no valid position, skipped", number);
            continue;
        }
        if (analyse_record(line, record, totals, out, limits, on_typed_line))
            break;
    }
    print_analysis_summary(totals);
    close_tool_output(staged);
}

} // namespace tarn
