#include "match/pgn.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <sstream>

namespace tarn {

namespace {

std::string escape_tag(const std::string& value) {
    std::string out;
    for (const char c : value) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? ' ' : c;
    }
    return out;
}

// A comment's text cannot hold a closing brace.
std::string comment_text(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '}')
            c = ')';
        else if (c == '\n')
            c = ' ';
    return out;
}

bool is_result(const std::string& token) {
    return token == "1-0" || token == "0-1" || token == "1/2-1/2" || token == "*";
}

// Side to move and full-move number of the game's first position.
void first_move_of(const PgnGame& game, bool& black_first, int& number) {
    black_first = false;
    number      = 1;
    std::istringstream fields(pgn_tag(game, "FEN"));
    std::string board, side, castling, ep, rule50, fullmove;
    fields >> board >> side >> castling >> ep >> rule50 >> fullmove;
    black_first = side == "b";
    int full    = 0;
    std::from_chars(fullmove.data(), fullmove.data() + fullmove.size(), full);
    if (full > 0)
        number = full;
}

// Parses `[Name "Value"]`; false when the line is not a tag pair.
bool read_tag(const std::string& line, std::string& name, std::string& value) {
    std::size_t at = 1;
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])))
        ++at;
    const std::size_t name_start = at;
    while (at < line.size() && (std::isalnum(static_cast<unsigned char>(line[at])) ||
                                line[at] == '_' || line[at] == '-'))
        ++at;
    name = line.substr(name_start, at - name_start);
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])))
        ++at;
    if (name.empty() || at >= line.size() || line[at] != '"')
        return false;
    value.clear();
    for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size())
            ++at;
        value += line[at];
    }
    if (at >= line.size())
        return false;
    ++at;
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at])))
        ++at;
    return at < line.size() && line[at] == ']';
}

// What the movetext reader carries from one line to the next.
struct MovetextState {
    int variation_depth = 0;
    bool in_comment     = false;
    std::string comment; // the comment being read
    std::string extra;   // a second comment after a move: the final comment if nothing follows
    bool has_result = false;
};

void attach_comment(PgnGame& game, MovetextState& st) {
    std::string text        = st.comment;
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last  = text.find_last_not_of(" \t");
    text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (st.variation_depth > 0)
        return;
    if (!game.moves.empty() && game.moves.back().comment.empty() && st.extra.empty())
        game.moves.back().comment = text;
    else
        st.extra += (st.extra.empty() ? "" : " ") + text;
}

// Handles one whitespace-free token of movetext outside comments.
void take_token(PgnGame& game, MovetextState& st, std::string token) {
    if (st.variation_depth > 0 || token.empty())
        return;
    if (is_result(token)) {
        game.result = token;
        if (!st.extra.empty())
            game.final_comment = st.extra;
        st.extra.clear();
        st.has_result = true;
        return;
    }
    // Move numbers, alone ("12." "12...") or glued to the move ("12.e4").
    std::size_t at = 0;
    while (at < token.size() && std::isdigit(static_cast<unsigned char>(token[at])))
        ++at;
    if (at > 0 && at < token.size() && token[at] == '.') {
        while (at < token.size() && token[at] == '.')
            ++at;
        token = token.substr(at);
    } else if (at == token.size()) {
        return;
    }
    while (!token.empty() && (token.back() == '!' || token.back() == '?'))
        token.pop_back();
    if (token.empty() || token[0] == '$')
        return;
    if (!st.extra.empty() && !game.moves.empty())
        game.moves.back().comment += " " + st.extra;
    st.extra.clear();
    game.moves.push_back(PgnMove{token, ""});
}

void read_movetext_line(PgnGame& game, MovetextState& st, const std::string& line) {
    std::string token;
    for (std::size_t i = 0; i < line.size() && !st.has_result; ++i) {
        const char c = line[i];
        if (st.in_comment) {
            if (c == '}') {
                st.in_comment = false;
                attach_comment(game, st);
            } else {
                st.comment += c;
            }
            continue;
        }
        if (c == '{' || c == '(' || c == ')' || c == ';' ||
            std::isspace(static_cast<unsigned char>(c))) {
            take_token(game, st, token);
            token.clear();
        }
        if (c == '{') {
            st.in_comment = true;
            st.comment.clear();
        } else if (c == '(') {
            ++st.variation_depth;
        } else if (c == ')') {
            st.variation_depth = std::max(0, st.variation_depth - 1);
        } else if (c == ';') {
            break;
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            token += c;
        }
    }
    if (st.in_comment)
        st.comment += ' ';
    else
        take_token(game, st, token);
}

} // namespace

void pgn_set_tag(PgnGame& game, const std::string& name, const std::string& value) {
    for (auto& tag : game.tags)
        if (tag.first == name) {
            tag.second = value;
            return;
        }
    game.tags.emplace_back(name, value);
}

std::string pgn_tag(const PgnGame& game, const std::string& name) {
    for (const auto& tag : game.tags)
        if (tag.first == name)
            return tag.second;
    return "";
}

std::string pgn_write(const PgnGame& game) {
    std::string out;
    for (const auto& [name, value] : game.tags)
        out += "[" + name + " \"" + escape_tag(value) + "\"]\n";
    out += '\n';

    std::vector<std::string> units;
    bool black_first = false;
    int number       = 1;
    first_move_of(game, black_first, number);
    for (std::size_t i = 0; i < game.moves.size(); ++i) {
        const bool white_moves = (i % 2 == 0) != black_first;
        std::string unit;
        if (white_moves)
            unit = std::to_string(number) + ". ";
        else if (i == 0)
            unit = std::to_string(number) + "... ";
        unit += game.moves[i].san;
        if (!game.moves[i].comment.empty())
            unit += " {" + comment_text(game.moves[i].comment) + "}";
        units.push_back(unit);
        if (!white_moves)
            ++number;
    }
    // The reason the game ended stays with the last move, or stands alone without moves.
    if (!game.final_comment.empty()) {
        const std::string comment =
            std::string("{").append(comment_text(game.final_comment)).append("}");
        if (units.empty())
            units.push_back(comment);
        else
            units.back() += " " + comment;
    }
    units.push_back(game.result);

    std::string line;
    for (const std::string& unit : units) {
        if (!line.empty() && line.size() + 1 + unit.size() > PGN_LINE_WIDTH) {
            out += line + '\n';
            line.clear();
        }
        line += (line.empty() ? "" : " ") + unit;
    }
    out += line + "\n\n";
    return out;
}

bool pgn_read(std::istream& in, PgnGame& game, std::string& error, int& line_number) {
    game = PgnGame{};
    error.clear();
    std::string line;
    bool started = false, in_moves = false;
    MovetextState st;
    while (!st.has_result) {
        // A tag line after movetext without a result starts the next game.
        if (in_moves && !st.in_comment && in.peek() == '[')
            break;
        if (!std::getline(in, line))
            break;
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '%' && !st.in_comment)
            continue;
        const std::size_t first = line.find_first_not_of(" \t");
        if (!in_moves && first == std::string::npos)
            continue;
        if (!in_moves && line[first] == '[') {
            started = true;
            std::string name, value;
            if (read_tag(line.substr(first), name, value))
                pgn_set_tag(game, name, value);
            else if (error.empty())
                error = "line " + std::to_string(line_number) + ": bad tag: " + line;
            continue;
        }
        started  = true;
        in_moves = true;
        read_movetext_line(game, st, line);
    }
    if (!started)
        return false;
    if (!st.has_result && error.empty())
        error = "line " + std::to_string(line_number) + ": game without a result";
    if (!st.has_result && !st.extra.empty())
        game.final_comment = st.extra;
    return true;
}

} // namespace tarn
