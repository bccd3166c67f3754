#include "book/book_build.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "book/book.h"
#include "core/fen.h"
#include "core/makemove.h"
#include "core/notation.h"
#include "core/platform.h"
#include "core/staged_file.h"
#include "core/thread_board.h"
#include "frontend/output.h"

namespace tarn {

namespace {

constexpr std::uint32_t FIRST_POOL_NODES = 4096;
constexpr int WIN_POINTS                 = 4; // raw weight = 4 wins - 2 losses + draws
constexpr int LOSS_POINTS                = 2;

// Every statistics node in one pool that grows without throwing; buckets chain by index.
struct BookStats {
    std::vector<std::uint32_t> head = std::vector<std::uint32_t>(BOOK_BUCKETS, BOOK_NO_NODE);
    BookStatNode* nodes             = nullptr;
    std::uint32_t count             = 0;
    std::uint32_t capacity          = 0;
};

// The game being read.
struct PgnGame {
    int outcome           = 0;     // +1 white won, -1 black won, 0 drawn
    bool skip             = true;  // no result yet, an unknown result, or a set-up position
    int taken             = 0;     // moves taken from this game
    int comment           = 0;     // brace depth
    int variation         = 0;     // parenthesis depth
    bool stop             = false; // a move failed to parse: the rest of the game is ignored
    bool result_in_header = false; // a result tag was seen and no move text since
    bool fen_pending      = false; // a set-up tag came before the result tag of its game
};

// Everything one build reads into: the game record, the statistics and the running counts.
struct BookReader {
    ThreadBoard& td;
    BookStats& stats;
    PgnGame game;
    BookBuildCounts counts;
    bool out_of_memory = false;
};

bool stats_grow(BookStats& s) {
    if (s.capacity >= BOOK_NO_NODE / 2)
        return false;
    const std::uint32_t capacity = s.capacity ? s.capacity * 2 : FIRST_POOL_NODES;
    BookStatNode* nodes          = new (std::nothrow) BookStatNode[capacity];
    if (!nodes)
        return false;
    std::copy(s.nodes, s.nodes + s.count, nodes);
    delete[] s.nodes;
    s.nodes    = nodes;
    s.capacity = capacity;
    return true;
}

void stats_release(BookStats& s) {
    delete[] s.nodes;
    s.nodes    = nullptr;
    s.count    = 0;
    s.capacity = 0;
}

void count_outcome(BookStatNode& node, int outcome) {
    if (outcome > 0)
        ++node.wins;
    else if (outcome < 0)
        ++node.losses;
    else
        ++node.draws;
}

// Counts one result for (key, move): an existing node, or a new one placed after every node of
// a smaller or equal key, which keeps the bucket sorted and equal keys in creation order.
bool stats_add(BookStats& s, std::uint64_t key, Move move, int outcome) {
    std::uint32_t& head = s.head[key >> BOOK_BUCKET_SHIFT];
    std::uint32_t prev  = BOOK_NO_NODE;
    for (std::uint32_t i = head; i != BOOK_NO_NODE && s.nodes[i].key <= key; i = s.nodes[i].next) {
        if (s.nodes[i].key == key && s.nodes[i].move == move) {
            count_outcome(s.nodes[i], outcome);
            return true;
        }
        prev = i;
    }
    if (s.count == s.capacity && !stats_grow(s))
        return false;
    const std::uint32_t index = s.count++;
    BookStatNode& node        = s.nodes[index];
    node                      = BookStatNode{key, 0, 0, 0, move, BOOK_NO_NODE};
    count_outcome(node, outcome);
    std::uint32_t& link = prev == BOOK_NO_NODE ? head : s.nodes[prev].next;
    node.next           = link;
    link                = index;
    return true;
}

bool contains(const std::string& line, const char* text) {
    return line.find(text) != std::string::npos;
}

// A "[Result " line ends the game before it and starts the next from the start position.
void start_game(BookReader& r, const std::string& line) {
    PgnGame& g = r.game;
    parse_fen(r.td.pos, START_FEN);
    if (++r.counts.games % BOOK_DOT_GAMES == 0)
        print_direct(".");
    const bool set_up  = g.fen_pending;
    g                  = PgnGame{};
    g.result_in_header = true;
    g.skip             = set_up;
    if (contains(line, "1-0"))
        g.outcome = 1;
    else if (contains(line, "0-1"))
        g.outcome = -1;
    else if (contains(line, "1/2"))
        g.outcome = 0;
    else
        g.skip = true;
}

// A set-up position: the game it belongs to is skipped, also when the tag precedes the
// result tag of that game.
void mark_set_up(PgnGame& g) {
    if (g.result_in_header)
        g.skip = true;
    else
        g.fen_pending = true;
}

// Blanks and tabs separate tokens; braces and parentheses are tokens of their own; other
// control characters are dropped; tokens are cut to BOOK_TOKEN_CHARS.
std::vector<std::string> pgn_tokens(const std::string& line) {
    std::vector<std::string> tokens;
    std::string token;
    const auto flush = [&]() {
        if (!token.empty())
            tokens.push_back(token);
        token.clear();
    };
    for (const char c : line) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == ' ' || c == '\t') {
            flush();
        } else if (c == '{' || c == '}' || c == '(' || c == ')') {
            flush();
            tokens.emplace_back(1, c);
        } else if (u >= 32 && u != 127 && token.size() < BOOK_TOKEN_CHARS) {
            token += c;
        }
    }
    flush();
    return tokens;
}

// The move text inside a token: move numbers in front and annotation marks behind removed.
// Empty when the token holds no move (a move number alone, a game result).
std::string move_text_of(const std::string& token) {
    std::size_t at = 0;
    while (at < token.size() && !std::isalpha(static_cast<unsigned char>(token[at])) &&
           !(token[at] == '0' && at + 1 < token.size() && token[at + 1] == '-'))
        ++at;
    std::string text = token.substr(at);
    if (text == "0-1")
        return std::string();
    while (!text.empty() && (text.back() == '!' || text.back() == '?' || text.back() == '#'))
        text.pop_back();
    return text;
}

// Plays one move of the game and counts it. Returns false when reading must end (no memory).
bool take_move(BookReader& r, const std::string& text) {
    PgnGame& g              = r.game;
    Position& pos           = r.td.pos;
    const std::uint64_t key = book_key(pos);
    const int outcome       = pos.side == WHITE ? g.outcome : -g.outcome;
    Move move               = NULL_MOVE;
    if (r.td.game_ply >= MAX_GAME_PLY || !parse_move(pos, text.c_str(), move, run_move_style())) {
        g.stop = true;
        print_direct("game %d: can't parse move '%s', the rest of the game is skipped\n",
                     r.counts.games, text.c_str());
        return true;
    }
    ++g.taken;
    make_game_move(pos, move);
    if (!stats_add(r.stats, key, move, outcome)) {
        r.out_of_memory = true;
        return false;
    }
    r.counts.nodes = static_cast<int>(r.stats.count);
    return true;
}

void read_move_text(BookReader& r, const std::string& line) {
    PgnGame& g = r.game;
    for (const std::string& token : pgn_tokens(line)) {
        if (g.stop || r.out_of_memory)
            return;
        if (token == "{") {
            ++g.comment;
        } else if (token == "}") {
            g.comment = std::max(0, g.comment - 1);
        } else if (token == "(") {
            ++g.variation;
        } else if (token == ")") {
            g.variation = std::max(0, g.variation - 1);
        } else if (token[0] == '$' || g.comment || g.variation) {
            continue;
        } else if (token[0] == ';') {
            return; // the rest of the line is a comment
        } else if (const std::string text = move_text_of(token); !text.empty()) {
            if (!take_move(r, text))
                return;
        }
    }
}

void read_line(BookReader& r, const std::string& line) {
    PgnGame& g = r.game;
    if (contains(line, "[Result ")) {
        start_game(r, line);
        return;
    }
    if (contains(line, "[FEN ")) {
        mark_set_up(g);
        return;
    }
    if (g.comment == 0 && (line.empty() || line[0] == '[' || line[0] == ';'))
        return;
    g.result_in_header = false;
    g.fen_pending      = false;
    if (!g.skip && g.taken < BOOK_GAME_PLIES)
        read_move_text(r, line);
}

// Writes the book under a side name and puts it in place once complete, so that a build cut
// short leaves the previous book.
bool write_book(const BookStats& s, const char* out_path, int& entries) {
    StagedFile out;
    if (!staged_open(out, out_path, true)) {
        print_format("info string can't create %s", out_path);
        return false;
    }
    unsigned char bytes[BOOK_ENTRY_BYTES];
    std::vector<BookStatNode> key_nodes;
    for (int b = 0; b < BOOK_BUCKETS; ++b) {
        std::uint32_t i = s.head[b];
        while (i != BOOK_NO_NODE) {
            key_nodes.clear();
            const std::uint64_t key = s.nodes[i].key;
            for (; i != BOOK_NO_NODE && s.nodes[i].key == key; i = s.nodes[i].next)
                key_nodes.push_back(s.nodes[i]);
            for (const BookEntry& e : book_entries_of_key(key_nodes)) {
                book_encode_entry(e, bytes);
                std::fwrite(bytes, 1, BOOK_ENTRY_BYTES, out.file);
                ++entries;
            }
        }
    }
    if (!staged_commit(out)) {
        print_format("info string can't write %s", out_path);
        return false;
    }
    return true;
}

} // namespace

std::vector<BookEntry> book_entries_of_key(const std::vector<BookStatNode>& nodes) {
    std::vector<BookEntry> out;
    std::vector<std::int64_t> raw;
    std::int64_t max_raw = 0;
    for (const BookStatNode& n : nodes) {
        const std::uint64_t score = std::uint64_t{n.wins} + n.draws;
        if (score <= std::max<std::uint64_t>(n.losses, BOOK_MIN_SCORE))
            continue;
        const std::int64_t value = WIN_POINTS * std::int64_t{n.wins} -
                                   LOSS_POINTS * std::int64_t{n.losses} + std::int64_t{n.draws};
        raw.push_back(value);
        max_raw = std::max(max_raw, value);
        out.push_back(BookEntry{n.key, to_polyglot(n.move), 0, 0});
    }
    // A move that lost more than it won keeps weight 0: listed in the book, never played.
    const double scale =
        max_raw > BOOK_MAX_WEIGHT ? static_cast<double>(BOOK_MAX_WEIGHT) / max_raw : 1.0;
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i].weight = static_cast<std::uint16_t>(raw[i] > 0 ? raw[i] * scale : 0);
    std::stable_sort(out.begin(), out.end(),
                     [](const BookEntry& a, const BookEntry& b) { return a.weight > b.weight; });
    if (out.size() > BOOK_MAX_CANDIDATES)
        out.resize(BOOK_MAX_CANDIDATES);
    return out;
}

BookBuildCounts build_book_file(ThreadBoard& td, const char* pgn_path, const char* out_path) {
    print_format(" Creating file %s from games in %s", out_path, pgn_path);
    if (platform_is_directory(pgn_path)) {
        print_format("info string can't open %s: it is a directory", pgn_path);
        return BookBuildCounts{};
    }
    std::ifstream in(pgn_path);
    if (!in) {
        print_format("info string can't open %s", pgn_path);
        return BookBuildCounts{};
    }
    BookStats stats;
    BookReader reader{td, stats, PgnGame{}, BookBuildCounts{}};
    std::string line;
    while (!reader.out_of_memory && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        read_line(reader, line);
    }
    BookBuildCounts counts = reader.counts;
    if (reader.out_of_memory) {
        print_format("info string out of memory after %d games, no book written", counts.games);
        stats_release(stats);
        return counts;
    }
    if (counts.games == 0) {
        // An empty or unreadable file must not replace a book that is already there.
        print_format("info string no games in %s, no book written", pgn_path);
        stats_release(stats);
        return counts;
    }
    print_direct("\nwriting book file ...");
    counts.written = write_book(stats, out_path, counts.entries);
    stats_release(stats);
    print_direct("\nngames= %d, nmoves= %d\n", counts.games, counts.nodes);
    print_direct("book contains %d moves\n", counts.entries);
    print_direct("done\n");
    return counts;
}

void build_book(ThreadBoard& game, const char* pgn_path) {
    build_book_file(game, pgn_path, BOOK_BUILD_FILE);
}

} // namespace tarn
