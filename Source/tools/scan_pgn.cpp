#include "tools/scan_pgn.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "core/attacks.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "frontend/engine_options.h"
#include "frontend/output.h"
#include "search/thread_data.h"
#include "tools/epd.h"

namespace tarn {

namespace {

constexpr int GAME_PROGRESS_STEP    = 100;
constexpr int MISTAKE_FIRST_PLY     = 12;
constexpr int MISTAKE_LAST_MARGIN   = 10;
constexpr int MISTAKE_BEFORE_LOW    = -999;
constexpr int MISTAKE_BEFORE_HIGH   = 249;
constexpr int MISTAKE_RISE          = 30;
constexpr int MISTAKE_LASTING_RISE  = 50;
constexpr int RESULT_LABEL_MARGIN   = 4;  // the last plies of a game get no result label
constexpr int RESULT_LABEL_OPENING  = 20; // plies in which a 0.00 score means book
constexpr int RESULT_LABEL_LAST_PLY = 279;
constexpr int RESULT_LABEL_RULE50   = 30;
constexpr int BEST_MOVE_LAST_PLY    = 250;
constexpr int BEST_MOVE_DECIDED     = 501; // a game this far off is not followed further
constexpr int ROOK_UNITS            = 5;

bool has(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

bool starts(const std::string& text, const char* part) {
    return text.compare(0, std::strlen(part), part) == 0;
}

// The value of a header line: the text between its first pair of double quotes.
std::string tag_value(const std::string& line) {
    const std::size_t open = line.find('"');
    if (open == std::string::npos)
        return "";
    const std::size_t close = line.find('"', open + 1);
    return line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

// Whether black makes move k of a game that starts from fen ("" for the start position).
bool mover_is_black(const std::string& fen, int k) {
    const std::size_t blank = fen.find(' ');
    const bool black_starts = blank != std::string::npos && fen.compare(blank + 1, 1, "b") == 0;
    return ((k + (black_starts ? 1 : 0)) & 1) != 0;
}

bool is_real(int eval) {
    return std::abs(eval) < EVAL_VALID_LIMIT;
}

void read_header(ScannedGame& game, ScanOutput& output, const std::string& line) {
    if (game.count > 0)
        output.positions += write_game(game, output);
    if (output.variant == 1) {
        std::fprintf(output.out, "%s\n", line.c_str());
        if (has(line, "Round "))
            std::fprintf(output.out, "[Tag \"game_%d\"]\n", output.games);
    }
    if (starts(line, "[Event ")) {
        game.fen.clear();
        game.skip = false;
    }
    if (starts(line, "[White "))
        game.fen.clear();
    if (starts(line, "[Result ")) {
        const std::string result = tag_value(line);
        game.result              = result == "1-0"   ? RESULT_WHITE_WINS
                                   : result == "0-1" ? RESULT_BLACK_WINS
                                                     : RESULT_OTHER;
        game.result_known        = result == "1-0" || result == "0-1" || result == "1/2-1/2";
        if (!game.skip && ++output.games % GAME_PROGRESS_STEP == 0)
            print_direct("game %d\n", output.games);
    }
    if (starts(line, "[FEN "))
        game.fen = tag_value(line);
    if (starts(line, "[Site "))
        game.site_flag = has(line, "fcp-tourney");
    if (has(line, "unterminated") || has(line, "time forfeit") || has(line, "abandoned"))
        game.skip = true;
    // A header ends the move text before it, including a comment left open there.
    game.count           = 0;
    game.overflow        = false;
    game.comment_depth   = 0;
    game.variation_depth = 0;
    game.moves[0].eval   = EVAL_NONE;
    game.comment.clear();
}

void add_move(ScannedGame& game, const std::string& word) {
    if (game.count >= SCAN_MAX_PLIES) {
        game.overflow = true;
        return;
    }
    ScannedMove& move   = game.moves[game.count++];
    const std::size_t n = std::min<std::size_t>(word.size(), SCAN_MOVE_CHARS);
    std::memcpy(move.text, word.data(), n);
    move.text[n] = 0;
    game.comment.clear();
    game.moves[game.count].eval = EVAL_NONE;
}

void close_comment(ScannedGame& game) {
    if (game.count == 0 || game.overflow || game.variation_depth > 0)
        return;
    const int k        = game.count - 1;
    game.moves[k].eval = static_cast<std::int16_t>(
        comment_evaluation(game.comment, mover_is_black(game.fen, k), game.site_flag));
}

void read_move_text(ScannedGame& game, const std::string& line) {
    const std::size_t n = line.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = line[i];
        if (game.comment_depth > 0) {
            if (c == '{') {
                ++game.comment_depth;
            } else if (c == '}') {
                if (--game.comment_depth == 0)
                    close_comment(game);
            } else if (game.comment.size() < SCAN_COMMENT_CHARS && game.variation_depth == 0) {
                game.comment += c;
            }
        } else if (c == '{') {
            game.comment_depth = 1;
        } else if (c == ';') {
            break; // a comment to the end of the line
        } else if (c == '(') {
            ++game.variation_depth;
        } else if (c == ')') {
            game.variation_depth -= game.variation_depth > 0 ? 1 : 0;
        } else if (game.variation_depth > 0) {
            continue;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            std::size_t end = i;
            while (end < n && line[end] != ' ' && line[end] != '\t' && line[end] != '{' &&
                   line[end] != '}' && line[end] != '(' && line[end] != ')' && line[end] != ';')
                ++end;
            add_move(game, line.substr(i, end - i));
            i = end - 1;
        }
    }
    if (game.comment_depth > 0 && game.comment.size() < SCAN_COMMENT_CHARS)
        game.comment += ' ';
}

// The listing of one move for variant 1; writes the punishing reply of a mistake to tmpX.
// Returns whether the move was a mistake.
bool list_move(const ScannedGame& game, ScanOutput& output, int k, bool after_mistake) {
    const Position& pos   = main_thread->board.pos;
    const bool white      = pos.side == WHITE;
    const int eval        = game.moves[k].eval;
    const char* move      = game.moves[k].text;
    const std::string fen = write_fen(pos, true);
    char text[64]         = "";
    if (eval >= EVAL_LISTED_MIN)
        std::snprintf(text, sizeof text, "%6.2f", (white ? eval : -eval) / 100.0);
    std::string note = text;
    if (after_mistake) {
        note += " ! " + fen + " bm " + move + ";";
        std::fprintf(output.mistakes, "%s bm %s;\n", fen.c_str(), move);
    }
    const bool mistake = is_mistake(game, k);
    if (mistake)
        note += " ? " + fen + " am " + move + ";";
    char prefix[16] = "     ";
    if (white)
        std::snprintf(prefix, sizeof prefix, "%3d. ", k / 2 + 1);
    std::fprintf(output.out, "%s %-6s  {%s}\n", prefix, move, note.c_str());
    return mistake;
}

// Writes the labelled position before move k for variants 2 to 4; returns the number written.
int label_position(const ScannedGame& game, ScanOutput& output, int k) {
    Position& pos          = main_thread->board.pos;
    const int eval         = game.moves[k].eval;
    const int ce           = pos.side == WHITE ? eval : -eval;
    const char* move       = game.moves[k].text;
    const double result    = game.result == RESULT_WHITE_WINS   ? 1.0
                             : game.result == RESULT_BLACK_WINS ? 0.0
                                                                : 0.5;
    const double for_mover = pos.side == WHITE ? result : 1.0 - result;
    if (output.variant == 2) {
        if (k >= game.count - RESULT_LABEL_MARGIN || !game.result_known ||
            (k < RESULT_LABEL_OPENING && eval == 0) || k > RESULT_LABEL_LAST_PLY ||
            pos.rule50 > RESULT_LABEL_RULE50 || !is_real(eval))
            return 0;
        std::fprintf(output.out, "%s ce %d; gr %0.1f;\n", write_fen(pos, false).c_str(), ce,
                     for_mover);
        return 1;
    }
    if (output.variant == 3) {
        if (k > BEST_MOVE_LAST_PLY || checker_of(pos, pos.side) != NO_SQUARE || !is_real(eval))
            return 0;
        std::fprintf(output.out, "%s bm %s; ce %d;\n", write_fen(pos, true).c_str(), move, ce);
        return 1;
    }
    const int pawns = popcount(pieces_of(pos, WHITE, PAWN) | pieces_of(pos, BLACK, PAWN));
    if (pos.piece_material[WHITE] != ROOK_UNITS || pos.piece_material[BLACK] != ROOK_UNITS ||
        pawns != 1 || !game.result_known)
        return 0;
    const std::string fen = write_fen(pos, true);
    if (is_real(eval))
        std::fprintf(output.out, "%s bm %s; ce %d; tune %0.5f;\n", fen.c_str(), move, ce,
                     for_mover);
    else
        std::fprintf(output.out, "%s bm %s; tune %0.5f;\n", fen.c_str(), move, for_mover);
    return 1;
}

} // namespace

int comment_evaluation(const std::string& text, bool mover_black, bool site_flag) {
    if (has(text, "book"))
        return 0;
    const auto held = [](double v) {
        return static_cast<int>(std::clamp(v, double{-EVAL_LIMIT}, double{EVAL_LIMIT}));
    };
    if (const std::size_t at = text.find("eval "); at != std::string::npos) {
        const char* start = text.c_str() + at + 5;
        char* end         = nullptr;
        const double v    = static_cast<double>(std::strtol(start, &end, 10));
        if (end == start)
            return EVAL_UNREADABLE;
        return mover_black ? -held(v) : held(v);
    }
    const std::size_t slash = text.find('/');
    if (slash == std::string::npos)
        return EVAL_UNREADABLE;
    const std::size_t blank = text.find_last_of(" \t", slash);
    const std::size_t start = blank == std::string::npos ? 0 : blank + 1;
    const std::string word  = text.substr(start, slash - start);
    if (word.size() <= 2)
        return EVAL_UNREADABLE;
    int value = 0;
    if (has(word, "-M")) {
        value = -EVAL_MATE;
    } else if (has(word, "+M")) {
        value = EVAL_MATE;
    } else {
        // Pawns to centipawns rounded, so that 0.57 reads as 57 and not as 56.99.
        const double pawns = std::strtod(word.c_str(), nullptr);
        if (!std::isfinite(pawns))
            return EVAL_UNREADABLE;
        value = held(std::round(pawns * 100.0));
    }
    return site_flag && mover_black ? -value : value;
}

bool is_mistake(const ScannedGame& game, int k) {
    if (k < MISTAKE_FIRST_PLY || k >= game.count - MISTAKE_LAST_MARGIN)
        return false;
    // Seen by the opponent of the mover, whose evaluations follow moves k - 1, k + 1, ...
    const bool opponent_black = mover_is_black(game.fen, k - 1);
    int e[4]                  = {};
    const int plies[4]        = {k - 1, k + 1, k + 3, k + 7};
    for (int i = 0; i < 4; ++i) {
        const int eval = game.moves[plies[i]].eval;
        if (!is_real(eval))
            return false;
        e[i] = opponent_black ? -eval : eval;
    }
    const int margin = std::abs(e[0]) / 10;
    return e[0] >= MISTAKE_BEFORE_LOW && e[0] <= MISTAKE_BEFORE_HIGH &&
           e[3] >= MISTAKE_BEFORE_LOW && e[1] - e[0] > margin + MISTAKE_RISE &&
           e[2] - e[0] > margin + MISTAKE_RISE && e[3] - e[0] > margin + MISTAKE_LASTING_RISE;
}

void scan_pgn_line(ScannedGame& game, ScanOutput& output, const std::string& line) {
    if (line.size() >= 1 && line[0] == '[' && (line.size() < 2 || line[1] != '%'))
        read_header(game, output, line);
    else if (!game.skip)
        read_move_text(game, line);
}

int write_game(const ScannedGame& game, ScanOutput& output) {
    Position& pos   = main_thread->board.pos;
    const char* fen = game.fen.empty() ? START_FEN : game.fen.c_str();
    if (!set_epd_position(pos, fen)) {
        print_format("info string game %d has no valid start position, skipped", output.games);
        return 0;
    }
    int written        = 0;
    bool after_mistake = false;
    for (int k = 0; k < game.count; ++k) {
        Move move = NULL_MOVE;
        if (!read_written_move(pos, game.moves[k].text, move))
            break;
        if (output.variant == 1) {
            after_mistake = list_move(game, output, k, after_mistake);
        } else {
            written += label_position(game, output, k);
        }
        make_game_move(pos, move);
        if (output.variant == 3 && std::abs(game.moves[k].eval) >= BEST_MOVE_DECIDED)
            break;
    }
    if (output.variant == 1)
        std::fprintf(output.out, "\n");
    return written;
}

void scan_pgn(const std::string& pgn, const std::string& output, int variant) {
    const std::string out_name = output.empty() ? SCAN_FILE : output;
    std::ifstream in;
    if (!open_tool_input(in, pgn))
        return;
    StagedFile out, mistakes;
    if (!open_tool_output(out, out_name, false))
        return;
    if (!open_tool_output(mistakes, SCAN_MISTAKES_FILE, false)) {
        staged_discard(out);
        return;
    }
    ScanOutput scan;
    scan.variant     = variant;
    scan.out         = out.file;
    scan.mistakes    = mistakes.file;
    live_options.Log = 0;
    auto game        = std::make_unique<ScannedGame>();
    std::string line;
    while (read_text_line(in, line))
        scan_pgn_line(*game, scan, line);
    if (game->count > 0)
        scan.positions += write_game(*game, scan);
    std::fprintf(scan.out, "\n");
    close_tool_output(out);
    close_tool_output(mistakes);
    print_direct("games= %d, positions= %d\n", scan.games, scan.positions);
}

} // namespace tarn
