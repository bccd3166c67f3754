#include "match/openings.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "core/fen.h"
#include "match/pgn.h"
#include "match/rules.h"

namespace tarn {

namespace {

// Knight placements of Chess960 numbering: the two knights' places among five empty squares.
constexpr int KNIGHT_PLACES[10][2] = {{0, 1}, {0, 2}, {0, 3}, {0, 4}, {1, 2},
                                      {1, 3}, {1, 4}, {2, 3}, {2, 4}, {3, 4}};

bool is_number(const std::string& text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The FEN of an EPD line: its four position fields and the move counters when they follow.
std::string epd_position(const std::string& line) {
    std::istringstream words(line.substr(0, line.find(';')));
    std::vector<std::string> fields;
    for (std::string w; words >> w && fields.size() < 6;)
        fields.push_back(w);
    if (fields.size() < 4)
        return line;
    std::string fen = fields[0] + " " + fields[1] + " " + fields[2] + " " + fields[3];
    if (fields.size() == 6 && is_number(fields[4]) && is_number(fields[5]))
        fen += " " + fields[4] + " " + fields[5];
    return fen;
}

// Plays an opening through: sets its FEN and the coordinate text of its moves. False with a
// message when the position or a move cannot be played or the game is already over.
bool play_opening(GameBoard& board, const std::string& fen, const std::vector<std::string>& sans,
                  Opening& opening, std::string& error) {
    if (!board_set(board, fen, error))
        return false;
    opening     = Opening{};
    opening.fen = board_fen(board, true);
    for (std::size_t i = 0; i < sans.size(); ++i) {
        const Move move = board_find_san(board, sans[i]);
        if (move == NULL_MOVE) {
            error = "illegal move '" + sans[i] + "' at ply " + std::to_string(i + 1);
            return false;
        }
        opening.sans.push_back(board_san(board, move));
        opening.moves.push_back(board_coord(board, move));
        board_play(board, move);
    }
    if (board_rule_end(board) != RULE_NONE) {
        error = "the game is already over";
        return false;
    }
    return true;
}

void read_epd(std::istream& in, const OpeningsConfig& config, GameBoard& board,
              std::vector<Opening>& openings, std::vector<std::string>& warnings) {
    std::string line, error;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#')
            continue;
        Opening opening;
        if (play_opening(board, epd_position(line), {}, opening, error))
            openings.push_back(opening);
        else
            warnings.push_back(config.file + ":" + std::to_string(number) + ": " + error);
    }
}

void read_pgn(std::istream& in, const OpeningsConfig& config, GameBoard& board,
              std::vector<Opening>& openings, std::vector<std::string>& warnings) {
    PgnGame game;
    std::string error;
    int line = 0;
    for (int number = 1;; ++number) {
        const int first_line = line + 1;
        if (!pgn_read(in, game, error, line))
            break;
        const std::string where = config.file + ": game " + std::to_string(number) + " (line " +
                                  std::to_string(first_line) + "): ";
        if (!error.empty()) {
            warnings.push_back(where + error);
            continue;
        }
        std::string fen = pgn_tag(game, "FEN");
        if (fen.empty())
            fen = std::string(START_FEN) + " 0 1";
        std::vector<std::string> sans;
        for (const PgnMove& m : game.moves)
            if (config.plies <= 0 || static_cast<int>(sans.size()) < config.plies)
                sans.push_back(m.san);
        Opening opening;
        if (play_opening(board, fen, sans, opening, error))
            openings.push_back(opening);
        else
            warnings.push_back(where + error);
    }
}

} // namespace

bool load_openings(const OpeningsConfig& config, std::vector<Opening>& openings,
                   std::vector<std::string>& warnings, std::string& error) {
    std::ifstream in(config.file);
    if (!in) {
        error = "cannot open opening file " + config.file;
        return false;
    }
    GameBoard board;
    openings.clear();
    if (config.format == OPENINGS_PGN)
        read_pgn(in, config, board, openings, warnings);
    else
        read_epd(in, config, board, openings, warnings);
    board_free(board);
    if (openings.empty()) {
        error = "no playable opening in " + config.file;
        return false;
    }
    return true;
}

std::vector<int> opening_order(int count, bool random, std::uint32_t seed, int start) {
    std::vector<int> order(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        order[static_cast<std::size_t>(i)] = i;
    if (count == 0)
        return order;
    if (random) {
        // Fisher-Yates over the standard generator, whose output the standard fixes, so a seed
        // gives the same order everywhere (std::shuffle may differ between libraries).
        std::mt19937 rng(seed);
        for (int i = count - 1; i > 0; --i) {
            const int j = static_cast<int>(rng() % static_cast<std::uint32_t>(i + 1));
            std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(j)]);
        }
    }
    const int first = ((std::max(start, 1) - 1) % count);
    std::rotate(order.begin(), order.begin() + first, order.end());
    return order;
}

std::string chess960_fen(int index) {
    char rank[8]          = {0, 0, 0, 0, 0, 0, 0, 0};
    int n                 = index % CHESS960_POSITIONS;
    rank[2 * (n % 4) + 1] = 'B'; // light-squared bishop
    n /= 4;
    rank[2 * (n % 4)] = 'B'; // dark-squared bishop
    n /= 4;
    // The k-th empty file, counting from a.
    auto empty_file = [&rank](int k) {
        for (int f = 0; f < 8; ++f)
            if (!rank[f] && k-- == 0)
                return f;
        return 0;
    };
    rank[empty_file(n % 6)] = 'Q';
    n /= 6;
    const int first    = empty_file(KNIGHT_PLACES[n][0]);
    const int second   = empty_file(KNIGHT_PLACES[n][1]);
    rank[first]        = 'N';
    rank[second]       = 'N';
    const char rest[3] = {'R', 'K', 'R'};
    for (const char piece : rest)
        rank[empty_file(0)] = piece;
    std::string white(rank, 8), black = white;
    for (char& c : black)
        c = static_cast<char>(c - 'A' + 'a');
    return black + "/pppppppp/8/8/8/8/PPPPPPPP/" + white + " w KQkq - 0 1";
}

Opening extend_opening(const Opening& base, int plies, std::uint64_t seed) {
    Opening opening = base;
    if (plies <= 0)
        return opening;
    GameBoard board;
    std::string error;
    if (!board_set(board, base.fen, error)) {
        board_free(board);
        return opening;
    }
    for (const std::string& text : base.moves)
        board_play(board, board_find_coord(board, text));
    std::mt19937_64 draw(seed);
    for (int i = 0; i < plies; ++i) {
        const std::vector<Move> moves = board_legal_moves(board);
        if (moves.empty())
            break;
        const Move move       = moves[draw() % moves.size()];
        const std::string san = board_san(board, move), coord = board_coord(board, move);
        board_play(board, move);
        if (board_rule_end(board) != RULE_NONE || board_legal_moves(board).empty())
            break;
        opening.sans.push_back(san);
        opening.moves.push_back(coord);
    }
    board_free(board);
    return opening;
}

} // namespace tarn
