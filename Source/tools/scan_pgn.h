#pragma once
// PGN scanning ("-scan_pgn1" .. "-scan_pgn4"): engine games whose moves carry evaluation
// comments are replayed, without a search, and written out as EPD positions. Variant 1 lists
// each game with its evaluations, marks the moves after which the opponent's evaluation rose
// for good ("?") and the replies that should punish them ("!", also collected in "tmpX.epd");
// variant 2 labels positions with the game result, variant 3 with the move played and its
// evaluation, variant 4 picks rook endings with one pawn. Evaluations are kept from white's
// point of view and written from the side to move's.

#include <cstdint>
#include <cstdio>
#include <string>

namespace tarn {

constexpr const char* SCAN_FILE          = "tmp.epd";
constexpr const char* SCAN_MISTAKES_FILE = "tmpX.epd";
constexpr int SCAN_MAX_PLIES             = 791; // later moves of a game are ignored
constexpr int SCAN_MOVE_CHARS            = 8;
constexpr int SCAN_COMMENT_CHARS         = 4096;   // a comment's text beyond this is dropped
constexpr int EVAL_NONE                  = -30000; // the move had no comment
constexpr int EVAL_UNREADABLE            = -29999; // its comment held no score
constexpr int EVAL_LIMIT                 = 29998;  // read scores are held within +-this
constexpr int EVAL_LISTED_MIN            = -9999;  // lower scores are listed without a number
constexpr int EVAL_VALID_LIMIT           = 20000;  // |eval| below this is a real score
constexpr int EVAL_MATE                  = 9000;
constexpr int RESULT_WHITE_WINS          = 0;
constexpr int RESULT_BLACK_WINS          = 1;
constexpr int RESULT_OTHER               = 2;

// One ply as read: the move as written and the evaluation its comment gave (white's view).
struct ScannedMove {
    char text[SCAN_MOVE_CHARS + 1] = "";
    std::int16_t eval              = EVAL_NONE;
};

// The game being read, with the reader's state inside its move text.
struct ScannedGame {
    std::string fen; // of a "FEN" tag; empty for the start position
    int result          = RESULT_OTHER;
    bool result_known   = false; // "1-0", "0-1" or "1/2-1/2"
    bool skip           = false; // unterminated, forfeited or abandoned
    bool site_flag      = false; // the comments give the mover's view, not white's
    int count           = 0;     // moves read
    bool overflow       = false; // moves beyond the limit came; their comments are ignored
    int comment_depth   = 0;
    int variation_depth = 0; // open "(": the moves and comments inside belong to no record
    std::string comment;     // text of the comments since the last move
    ScannedMove moves[SCAN_MAX_PLIES + 1];
};

// Where a scan writes and what it has counted.
struct ScanOutput {
    std::FILE* out      = nullptr;
    std::FILE* mistakes = nullptr; // "tmpX.epd"
    int variant         = 1;
    int games           = 0;
    int positions       = 0;
};

// Evaluation in centipawns, white's view, of a move whose comment text is given: 0 for book
// moves, "eval N" in the mover's view, or a score/depth pair in white's view (the mover's with
// site_flag). EVAL_UNREADABLE when the text holds no score.
int comment_evaluation(const std::string& text, bool mover_black, bool site_flag);
// True when the evaluations after move k show it was a mistake of its mover. They are read from
// the view of the mover's opponent: read from white's view, as they are kept, a rise would mark
// white's good moves instead of its mistakes.
bool is_mistake(const ScannedGame& game, int k);
// Reads one line of a PGN file; a header line first writes out the game read before it.
void scan_pgn_line(ScannedGame& game, ScanOutput& output, const std::string& line);
// Replays the game read on the game record and writes its positions; returns the number of
// labelled positions (variants 2 to 4: the listing of variant 1 and its "bm" lines count none).
int write_game(const ScannedGame& game, ScanOutput& output);
// Scans a whole file; output "" means "tmp.epd".
void scan_pgn(const std::string& pgn, const std::string& output, int variant);

} // namespace tarn
