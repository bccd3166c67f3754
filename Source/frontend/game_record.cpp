#include "frontend/game_record.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/fen.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "core/platform.h"
#include "core/staged_file.h"
#include "frontend/output.h"
#include "search/search_state.h"
#include "search/thread_data.h"
#include "search/tt.h"

namespace tarn {

SearchLimits game_limits;

namespace {

constexpr std::size_t PGN_LINE_CHARS  = 1022;
constexpr std::size_t EPD_LINE_CHARS  = 254;
constexpr std::size_t EPD_KEY_CHARS   = 78;
constexpr std::size_t EDIT_LINE_CHARS = 77;
constexpr int MOVES_PER_SAVED_LINE    = 11;
constexpr int WANTED_WITH_TAG         = 100000;

Position& game() {
    return main_thread->board.pos;
}

void set_clocks_to_move_time() {
    game_limits.clock[WHITE] = game_limits.clock[BLACK] = game_limits.move_time;
}

// Copy of the game record, to put back when an edit leaves a position the engine cannot
// search.
struct GameSnapshot {
    Position pos;
    std::vector<UndoRecord> undo;
    int game_ply = 0;
};

GameSnapshot take_snapshot() {
    GameSnapshot s;
    s.pos      = game();
    s.game_ply = main_thread->board.game_ply;
    s.undo.assign(main_thread->board.undo, main_thread->board.undo + s.game_ply + 1);
    return s;
}

void restore_snapshot(const GameSnapshot& s) {
    game()                        = s.pos;
    game().owner                  = &main_thread->board;
    main_thread->board.game_ply   = static_cast<std::int16_t>(s.game_ply);
    main_thread->board.search_ply = 1;
    std::copy(s.undo.begin(), s.undo.end(), main_thread->board.undo);
}

// A PGN move token made readable: annotations and mate signs go, a leading move number or
// result goes (the word keeps its letters from the first one on).
std::string move_token(const std::string& word) {
    std::size_t start = 0;
    while (start < word.size() && !std::isalpha(static_cast<unsigned char>(word[start])))
        ++start;
    std::string move = word.substr(start);
    while (!move.empty() && std::strchr("+#!?", move.back()))
        move.pop_back();
    return move;
}

} // namespace

bool set_game_fen(const char* fen) {
    ThreadData* scratch = thread_data_create();
    if (!scratch)
        return false;
    scratch->board.pos.side = game().side;
    const bool ok =
        parse_fen(scratch->board.pos, fen) == FEN_OK && position_is_searchable(scratch->board.pos);
    thread_data_destroy(scratch);
    if (!ok) {
        print_line("info string invalid position");
        return false;
    }
    parse_fen(game(), fen);
    return true;
}

void game_play(Move move) {
    make_game_move(game(), move);
}

bool game_take_back() {
    if (main_thread->board.game_ply < 1)
        return false;
    unmake_game_move(game());
    return true;
}

Move game_replay_kept() {
    const Move kept = main_thread->board.undo[main_thread->board.game_ply].move;
    if (kept == NULL_MOVE || main_thread->board.game_ply >= MAX_GAME_PLY)
        return NULL_MOVE;
    const Move legal = find_legal_move(game(), kept);
    if (legal != NULL_MOVE)
        game_play(legal);
    return legal;
}

void load_game(const std::string& file, const std::string& tag) {
    print_format("loading %s, tag %s", file.c_str(), tag.c_str());
    std::ifstream in(file);
    if (!in) {
        set_clocks_to_move_time();
        return;
    }
    read_game(in, tag);
    show_board(game());
    set_clocks_to_move_time();
}

bool read_game(std::istream& in, const std::string& tag) {
    parse_fen(game(), START_FEN);
    int wanted  = tag.empty() ? 1 : WANTED_WITH_TAG;
    int current = 0, depth = 0;
    std::string pending; // moves waiting for an open comment or variation to close
    std::string line;
    bool stop = false;
    while (!stop && std::getline(in, line)) {
        if (line.size() > PGN_LINE_CHARS)
            line.resize(PGN_LINE_CHARS);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find("[Event ") != std::string::npos)
            ++current;
        if (!tag.empty() && line.find(tag) != std::string::npos)
            wanted = current;
        if (current > wanted)
            break;
        if (current < wanted)
            continue;
        if (line.find("[FEN ") != std::string::npos) {
            const std::size_t a = line.find('"'), b = line.find('"', a + 1);
            if (a != std::string::npos && b != std::string::npos &&
                !set_game_fen(line.substr(a + 1, b - a - 1).c_str())) {
                stop = true;
                break;
            }
            continue;
        }
        if (depth == 0 && !line.empty() && line[0] == '[')
            continue;
        // Comments and variations are dropped, their nesting counted across lines; a ";"
        // outside them comments out the rest of the line.
        for (char c : line) {
            if (c == ';' && depth == 0)
                break;
            if (c == '{' || c == '(')
                ++depth;
            else if ((c == '}' || c == ')') && depth > 0)
                --depth;
            else if (depth == 0)
                pending += c;
        }
        pending += ' ';
        if (depth > 0)
            continue;
        std::istringstream words(pending);
        pending.clear();
        std::string word;
        while (words >> word) {
            const std::string text = move_token(word);
            if (text.empty() || text == "e.p.")
                continue;
            Move move = NULL_MOVE;
            if (main_thread->board.game_ply >= MAX_GAME_PLY ||
                !parse_move(game(), text.c_str(), move, run_move_style())) {
                print_format("can't parse move '%s'", word.c_str());
                stop = true;
                break;
            }
            game_play(move);
        }
    }
    main_thread->board.undo[main_thread->board.game_ply].move = 0;
    return !stop;
}

void save_game() {
    // The file is rewritten with the game added, so that it never ends in half a game.
    StagedFile staged;
    if (!staged_open(staged, SAVE_FILE_NAME, false, true)) {
        print_format("info string can't open %s", SAVE_FILE_NAME);
        return;
    }
    std::FILE* out  = staged.file;
    const int plies = main_thread->board.game_ply;
    while (game_take_back()) {
    }
    std::fprintf(out, "[Event \"Unknown\"]\n");
    for (int i = 0; i < plies; ++i) {
        const Move move = main_thread->board.undo[main_thread->board.game_ply].move;
        std::fprintf(out, "%s ", move_to_san(game(), move, run_move_style()).san.c_str());
        if ((i + 1) % MOVES_PER_SAVED_LINE == 0)
            std::fprintf(out, "\n");
        game_play(move);
    }
    std::fprintf(out, "\n\n");
    if (!staged_commit(staged))
        print_format("info string can't write %s", SAVE_FILE_NAME);
}

void get_epd(const std::string& id) {
    std::string key = "id \"" + id + "\"";
    if (key.size() > EPD_KEY_CHARS)
        key.resize(EPD_KEY_CHARS);
    std::ifstream in(EPD_FILE_NAME);
    std::string record;
    std::string line;
    while (in && std::getline(in, line)) {
        if (line.size() > EPD_LINE_CHARS)
            line.resize(EPD_LINE_CHARS);
        if (line.empty() || line[0] == ';' || line[0] == ' ')
            continue;
        if (line.find(key) != std::string::npos) {
            record = line;
            break;
        }
    }
    // Without the file the command word stands in for the record; the board is shown and
    // the table cleared either way, whether or not the searches use it.
    print_line(in.is_open() ? record : std::string("get"));
    if (record.size() > 8) {
        const GameSnapshot before = take_snapshot();
        parse_fen(game(), record.c_str());
        if (!position_is_searchable(game())) {
            restore_snapshot(before);
            print_line("info string invalid position");
        }
    }
    show_board(game());
    tt_clear();
}

void edit_position() {
    print_line("\n");
    print_line(".                    end edit");
    print_line("#                    clear board");
    print_line("w  Pa2 Pb2 Kc2       white, pieces");
    print_line("b  Pa7 Pb7 Kc7       black, pieces");
    const GameSnapshot before = take_snapshot();
    char buffer[EDIT_LINE_CHARS + 2];
    while (platform_read_line_blocking(buffer, sizeof buffer)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (line[0] == '.')
            break;
        if (line[0] == '#') {
            reset_position(game());
            continue;
        }
        std::istringstream words(line);
        std::string colour_word;
        if (!(words >> colour_word) || (colour_word[0] != 'w' && colour_word[0] != 'b'))
            continue;
        const int colour = colour_word[0] == 'w' ? WHITE : BLACK;
        game().side      = static_cast<std::uint8_t>(colour);
        std::string w;
        while (words >> w) {
            if (w.size() < 3 || w[1] < 'a' || w[1] > 'h' || w[2] < '1' || w[2] > '8')
                break;
            const int sq = (w[1] - 'a') + 8 * (w[2] - '1');
            clear_square(game(), sq);
            const char* letter =
                std::strchr("pnbrqk", std::tolower(static_cast<unsigned char>(w[0])));
            if (letter && *letter)
                set_piece(game(), colour, static_cast<int>(letter - "pnbrqk") + 1, sq);
        }
    }
    set_castling(game(), "KQkq");
    game().ep_square = NO_SQUARE;
    compute_keys(game());
    main_thread->board.undo[0]  = UndoRecord{};
    main_thread->board.undo[1]  = UndoRecord{};
    main_thread->board.game_ply = 0;
    if (!position_is_searchable(game())) {
        restore_snapshot(before);
        print_line("info string invalid position");
    }
    show_board(game());
}

void jump_to(int n) {
    while (game_take_back()) {
    }
    while (main_thread->board.game_ply < 2 * n - 2 && game_replay_kept() != NULL_MOVE) {
    }
    show_board(game());
}

void show_table_pv() {
    const int p            = main_thread->board.search_ply;
    Move pv[PV_LENGTH + 2] = {};
    if (p <= MAX_DEPTH && search_state.use_hash) {
        TTEntry entry;
        entry.depth = TT_MISSING_DEPTH;
        tt_probe(game(), entry);
        if (entry.depth >= 0 && entry.move && !is_draw(game(), 0) &&
            tt_move_is_valid(game(), entry.move)) {
            pv[p] = entry.move;
            make_move(game(), entry.move);
            tt_pv_walk(game(), p + 1, pv);
            unmake_move(game());
        }
    }
    std::string text;
    int made = 0;
    for (int i = p; i < PV_LENGTH && pv[i]; ++i, ++made) {
        text += move_to_san(game(), pv[i], run_move_style()).san + " ";
        make_move(game(), pv[i]);
    }
    print_direct("PV: %s\n\n", text.c_str());
    show_board(game());
    while (made-- > 0)
        unmake_move(game());
}

} // namespace tarn
