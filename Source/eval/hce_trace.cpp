// The breakdown printed for an evaluation in trace mode: blended section totals per colour
// with the material of each piece type taken out, the pieces found hanging and the free passed
// pawns, a summary line, and in the full mode every parameter and square table.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/fen.h"
#include "eval/eval_params.h"
#include "eval/hce.h"
#include "eval/hce_endings.h"
#include "frontend/output.h"

namespace tarn {

namespace {

constexpr const char* SECTION_NAMES[HCE_SECTIONS] = {
    "pawns:", "knights:", "bishops:", "rooks:",  "queens:",
    "king:",  "ppawns:",  "threats:", "special:"};

// Titles of the square tables in printing order.
struct TableTitle {
    const char* title;
    int table;
};
constexpr TableTitle TABLE_TITLES[PST_TABLES] = {
    {"Pawn1", PST_P1},   {"Pawn2", PST_P2},   {"Connected Pawn", PST_CP}, {"Defended Pawn", PST_DP},
    {"Knight1", PST_N1}, {"Knight2", PST_N2}, {"Bishop1", PST_B1},        {"Bishop2", PST_B2},
    {"Rook1", PST_R1},   {"Rook2", PST_R2},   {"Queen1", PST_Q1},         {"Queen2", PST_Q2},
    {"King", PST_K}};

// Packed material of one colour: count times the material weight of each piece type.
int material_of(const Position& pos, int colour) {
    const MaterialCounts m = material_counts(pos, colour);
    return m.pawns * param_value(MTL_PAWN) + m.knights * param_value(MTL_KNIGHT) +
           m.bishops * param_value(MTL_BISHOP) + m.rooks * param_value(MTL_ROOK) +
           m.queens * param_value(MTL_QUEEN);
}

// Material of the piece type whose section this is, or 0 for the other sections.
int section_material(const Position& pos, int section, int colour) {
    static_assert(SEC_PAWNS + 1 == SEC_KNIGHTS && SEC_KNIGHTS + 3 == SEC_QUEENS);
    if (section > SEC_QUEENS)
        return 0;
    const int type  = PAWN + section - SEC_PAWNS;
    const int count = popcount(pos.pieces[make_code(colour, type)]);
    return count * param_value(MTL_PAWN + section - SEC_PAWNS);
}

void print_squares(const char* title, Bitboard squares) {
    if (!squares)
        return;
    std::string line = title;
    while (squares) {
        line += ' ';
        line += SQUARE_NAMES[pop_lsb(squares)];
    }
    print_line(line);
}

// A record's halves as stored (the end half exact even when the mid half is negative).
void param_halves(int index, int& mid, int& end) {
    const int value = param_value(index);
    mid             = packed_mid(value);
    end             = (value - mid) / PACK_END;
}

void print_parameters() {
    for (int i = 0; i < PST_FIRST; ++i) {
        const char* name = eval_param_table.records[i].name;
        if (std::strstr(name, "PST_"))
            continue;
        int mid = 0, end = 0;
        param_halves(i, mid, end);
        print_format("%-22s  %4d , %4d", name, mid, end);
    }
    for (const TableTitle& t : TABLE_TITLES) {
        print_line(t.title);
        for (int rank = 7; rank >= 0; --rank) {
            std::string line;
            char cell[16];
            for (int half = 0; half < 2; ++half) {
                if (half)
                    line += "     ";
                for (int file = 0; file < 8; ++file) {
                    int mid = 0, end = 0;
                    param_halves(PST_FIRST + 64 * t.table + 8 * rank + file, mid, end);
                    std::snprintf(cell, sizeof cell, " %3d", half ? end : mid);
                    line += cell;
                }
            }
            print_line(line);
        }
        print_line("");
    }
}

} // namespace

void hce_print_trace(const Position& pos, const HceScratch& e, int result, int trace,
                     int last_nn_score, int root_qsearch) {
    print_line("           white  black");
    for (int s = 0; s < HCE_SECTIONS; ++s) {
        int v[2];
        for (const int c : {WHITE, BLACK})
            v[c] = hce_blend(e.section[s][c], e.phase) -
                   hce_blend(section_material(pos, s, c), e.phase);
        print_format("%-10s  %4d   %4d", SECTION_NAMES[s], v[WHITE], v[BLACK]);
    }
    print_squares("hung pieces on: ", e.hung);
    print_squares("free pawns on: ", e.free_passers);
    const int material = hce_blend(material_of(pos, WHITE) - material_of(pos, BLACK), e.phase);
    print_format("nne= %d, hce= %d, qscore= %d, mtl= %d, phase= %0.2f, sf= %0.2f, rule50= %d",
                 last_nn_score, result, root_qsearch, pos.side == WHITE ? material : -material,
                 static_cast<double>(e.phase), static_cast<double>(e.scale), pos.rule50);
    print_line("");
    if (trace == TRACE_PARAMS)
        print_parameters();
}

} // namespace tarn
