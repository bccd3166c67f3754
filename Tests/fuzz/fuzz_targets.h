#pragma once
// The fuzz targets: one entry per reader of outside input, each taking one input of any bytes.
// An entry returns 0; a broken property (a position that does not read back as it was
// written, a move text that names another move) aborts with a message, as a crash does, so
// that the fuzzer keeps the input. The same entries run under clang's libFuzzer (a generated
// LLVMFuzzerTestOneInput per target) and under the corpus replay of the normal test run.

#include <cstddef>
#include <cstdint>

namespace tarn::fuzz {

// One entry: the target's name (its corpus folder) and the function that runs one input.
using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);
struct FuzzTarget {
    const char* name;
    FuzzEntry run;
};

// UCI and console command lines through the dispatcher, searches cut to a few nodes.
int fuzz_commands(const std::uint8_t* data, std::size_t size);
// FEN and X-FEN text, with the write-and-read-back round trip.
int fuzz_fen(const std::uint8_t* data, std::size_t size);
// Algebraic and coordinate move text, with every legal move's texts read back.
int fuzz_moves(const std::uint8_t* data, std::size_t size);
// PGN through the console's "load".
int fuzz_pgn_load(const std::uint8_t* data, std::size_t size);
// PGN through the book builder, whose book must then read back.
int fuzz_pgn_book(const std::uint8_t* data, std::size_t size);
// PGN through the scanner of "-scan_pgn1" .. "-scan_pgn4", whose positions must read back.
int fuzz_pgn_scan(const std::uint8_t* data, std::size_t size);
// EPD records as the batch tools read them.
int fuzz_epd(const std::uint8_t* data, std::size_t size);
// Whole EPD files through "-anepd" and "-mktune1" at depth 1.
int fuzz_epd_tools(const std::uint8_t* data, std::size_t size);
// The configuration file.
int fuzz_config(const std::uint8_t* data, std::size_t size);
// A Polyglot book file probed from several positions.
int fuzz_book(const std::uint8_t* data, std::size_t size);
// A network file; an accepted one must evaluate.
int fuzz_network(const std::uint8_t* data, std::size_t size);
// A tablebase file, mapped and probed from positions of its material.
int fuzz_tablebase(const std::uint8_t* data, std::size_t size);
// Training records as the trainer reads them.
int fuzz_train_records(const std::uint8_t* data, std::size_t size);
// Labelled EPD through "-epd2bin", whose records must then read back.
int fuzz_epd2bin(const std::uint8_t* data, std::size_t size);

constexpr FuzzTarget FUZZ_TARGETS[] = {
    {"commands", fuzz_commands},
    {"fen", fuzz_fen},
    {"moves", fuzz_moves},
    {"pgn_load", fuzz_pgn_load},
    {"pgn_book", fuzz_pgn_book},
    {"pgn_scan", fuzz_pgn_scan},
    {"epd", fuzz_epd},
    {"epd_tools", fuzz_epd_tools},
    {"config", fuzz_config},
    {"book", fuzz_book},
    {"network", fuzz_network},
    {"tablebase", fuzz_tablebase},
    {"train_records", fuzz_train_records},
    {"epd2bin", fuzz_epd2bin},
};

} // namespace tarn::fuzz
