#include "tools/epd.h"

#include <charconv>
#include <cstring>

#include "core/fen.h"
#include "core/notation.h"
#include "core/platform.h"
#include "frontend/output.h"

namespace tarn {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

void store_operand(EpdRecord& record, const std::string& opcode, const std::string& operand) {
    struct Slot {
        const char* opcode;
        std::string EpdRecord::*field;
    };
    static constexpr Slot SLOTS[] = {{"bm", &EpdRecord::bm}, {"am", &EpdRecord::am},
                                     {"ce", &EpdRecord::ce}, {"sc", &EpdRecord::sc},
                                     {"gr", &EpdRecord::gr}, {"id", &EpdRecord::id},
                                     {"c0", &EpdRecord::c0}};
    for (const Slot& slot : SLOTS)
        if (opcode == slot.opcode)
            record.*slot.field = operand;
}

} // namespace

EpdRecord parse_epd_record(const std::string& line) {
    EpdRecord record;
    const std::size_t n = line.size();
    std::size_t at      = 0;
    // The position fields, rejoined with single blanks whatever separated them.
    for (int field = 0; field < EPD_POSITION_FIELDS; ++field) {
        while (at < n && is_blank(line[at]))
            ++at;
        const std::size_t start = at;
        while (at < n && !is_blank(line[at]))
            ++at;
        if (at == start)
            break;
        if (!record.position.empty())
            record.position += ' ';
        record.position.append(line, start, at - start);
    }
    // Half-move clock and move number, when present.
    while (at < n && (is_blank(line[at]) || is_digit(line[at])))
        ++at;
    // Operations up to the first one without its semicolon. A semicolon inside a quoted
    // operand belongs to the operand.
    for (;;) {
        while (at < n && is_blank(line[at]))
            ++at;
        const std::size_t start = at;
        while (at < n && !is_blank(line[at]) && line[at] != ';')
            ++at;
        if (at == start)
            break;
        const std::string opcode = line.substr(start, at - start);
        while (at < n && is_blank(line[at]))
            ++at;
        const std::size_t operand_start = at;
        bool quoted                     = false;
        while (at < n && (quoted || line[at] != ';')) {
            if (line[at] == '"')
                quoted = !quoted;
            ++at;
        }
        if (at >= n)
            break;
        store_operand(record, opcode, trimmed(line.substr(operand_start, at - operand_start)));
        ++at;
    }
    return record;
}

bool epd_int(const std::string& text, int& value) {
    std::string t = trimmed(text);
    if (!t.empty() && t[0] == '+')
        t.erase(0, 1);
    if (t.empty())
        return false;
    const char* end   = t.data() + t.size();
    const auto result = std::from_chars(t.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

bool epd_result(const std::string& text, double& value) {
    std::string t = trimmed(text);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
        t = trimmed(t.substr(1, t.size() - 2));
    if (t == "1-0" || t == "0-1" || t == "1/2-1/2") {
        value = t == "1-0" ? 1.0 : t == "0-1" ? 0.0 : 0.5;
        return true;
    }
    if (t.empty())
        return false;
    const char* end   = t.data() + t.size();
    const auto result = std::from_chars(t.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= 0.0 && value <= 1.0;
}

bool is_epd_remark(const std::string& line) {
    return !line.empty() && (line[0] == ' ' || line[0] == '#' || line[0] == ';');
}

bool open_tool_input(std::ifstream& in, const std::string& name) {
    if (platform_is_directory(name.c_str())) {
        print_format("info string can't open %s: it is a directory", name.c_str());
        return false;
    }
    in.open(name);
    if (!in)
        print_format("info string can't open %s", name.c_str());
    return static_cast<bool>(in);
}

bool open_tool_output(StagedFile& out, const std::string& name, bool binary) {
    if (staged_open(out, name, binary))
        return true;
    print_format("info string can't open %s", name.c_str());
    return false;
}

bool close_tool_output(StagedFile& out) {
    if (staged_commit(out))
        return true;
    print_format("info string can't write %s", out.path.c_str());
    return false;
}

bool read_text_line(std::istream& in, std::string& line) {
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool set_epd_position(Position& pos, const std::string& position) {
    return parse_fen(pos, position.c_str()) == FEN_OK && position_is_searchable(pos);
}

bool read_written_move(Position& pos, const std::string& text, Move& move) {
    move                   = NULL_MOVE;
    const std::string word = trimmed(text.substr(0, text.find_first_of("#!?")));
    return !word.empty() && parse_move(pos, word.c_str(), move, run_move_style());
}

} // namespace tarn
