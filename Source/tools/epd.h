#pragma once
// EPD records as the batch tools read them: the four position fields of FEN, optional move
// counters, then items of the form opcode, blank, operand, semicolon. Only the operands the
// tools use are kept, as text. The number readers are strict: a malformed "ce" or "gr" is
// reported by the tool and the record skipped, never read as 0.

#include <cstdio>
#include <fstream>
#include <string>

#include "core/board.h"
#include "core/staged_file.h"

namespace tarn {

constexpr int EPD_POSITION_FIELDS = 4;

// The parts of one EPD line that the tools read; an operand is empty when its opcode is absent.
struct EpdRecord {
    std::string position; // placement, side, castling, en passant, one blank apart
    std::string bm;       // best moves, any separators
    std::string am;       // move to avoid
    std::string ce;       // centipawn evaluation, side to move's view
    std::string sc;       // search score, side to move's view
    std::string gr;       // game result for the side to move: 1, 0.5 or 0
    std::string id;       // record name
    std::string c0;       // comment; "move=points" items score an answer
};

// Splits one line (without its line end) into the position text and the operands; operands
// of other opcodes are passed over. Always succeeds.
EpdRecord parse_epd_record(const std::string& line);
// Reads a whole signed integer; blanks around it are allowed, anything else is not.
bool epd_int(const std::string& text, int& value);
// Reads a game result: a number from 0 to 1, or "1-0", "0-1", "1/2-1/2".
bool epd_result(const std::string& text, double& value);
// True for lines every tool passes over: those that begin with a blank, "#" or ";".
bool is_epd_remark(const std::string& line);
// Opens a tool's input file; says "info string can't open" when it cannot.
bool open_tool_input(std::ifstream& in, const std::string& name);
// Opens a tool's output file for writing, staged under a side name until it is complete
// (core/staged_file.h); false, with the same message, when it cannot.
bool open_tool_output(StagedFile& out, const std::string& name, bool binary);
// Puts a complete output in place of the file of its name; false, with "info string can't
// write", when that failed (the previous file then stays).
bool close_tool_output(StagedFile& out);
// Next line of a text file without its line end (line feed, or carriage return and line feed).
bool read_text_line(std::istream& in, std::string& line);
// Sets pos from the position text; false when the text does not give a position the engine
// can search (pos is then unusable until it is set again).
bool set_epd_position(Position& pos, const std::string& position);
// Reads a move of the side to move as a suite or a game writes it: any notation the engine
// reads, with check, mate and annotation marks ("+", "#", "!", "?") allowed after it.
bool read_written_move(Position& pos, const std::string& text, Move& move);

} // namespace tarn
