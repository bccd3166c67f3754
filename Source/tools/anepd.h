#pragma once
// EPD test-suite analysis ("-anepd"): every position of a suite is searched with the limits of
// the command line and the answer judged by the record's best moves ("bm"), its move to avoid
// ("am") and the scored moves of its comment ("c0"). One result record per position goes to
// the output file and a summary follows. Searches run on a search thread while this thread
// takes typed commands: "stop" ends a position's search, "quit" the analysis after it.

#include <cstdint>
#include <string>

#include "core/board.h"
#include "tools/epd.h"
#include "tools/tool_search.h"

namespace tarn {

constexpr const char* ANALYSIS_FILE  = "analysis.epd";
constexpr int ANALYSIS_NO_HASH_DEPTH = 4;  // shallower searches run without the hash table
constexpr int EPD_MIN_LINE_CHARS     = 10; // line feed included; shorter lines are skipped
constexpr int EPD_MAX_LINE_CHARS     = 510;

// Totals of one analysis run.
struct AnalysisTotals {
    int records         = 0;
    int correct         = 0;
    int points          = 0;   // earned by the answers
    int points_possible = 0;   // best answer of every record
    double time         = 0.0; // seconds
    std::uint64_t nodes = 0;
    int depth           = 0;   // completed iterations, summed
    double branching    = 0.0; // effective branching factors, summed
};

// 1 when answer is one of the record's best moves, or (without "bm") avoids the listed move.
int judge_answer(Position& pos, const EpdRecord& record, Move answer);
// Adds the points of answer and of the record's best answer from its "c0" items.
void score_answer(Position& pos, const EpdRecord& record, Move answer, int& earned, int& possible);
// The summary lines of a run.
void print_analysis_summary(const AnalysisTotals& totals);
// Analyses every record of input within `limits`; output "" means "analysis.epd". Lines typed
// meanwhile go to on_typed_line ("stop" ends a search, "quit" the run).
void analyse_epd_file(const std::string& input, const std::string& output,
                      const SearchLimits& limits, TypedLineHandler on_typed_line);

} // namespace tarn
