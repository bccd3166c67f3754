# Front door for building, running and testing the engine.
#   make run          build (optimised for this machine) and start the engine
#   make test         build and run every unit test and the capped perft suites
#   make EXE=NAME     build the optimised engine alone (no tests, no tools) and copy it to
#                     ./NAME, as distributed testing frameworks build an engine (CXX=... picks
#                     the compiler; the build goes to build-exe/)
#   make install      build, then install tarn and tarn-match in PREFIX/bin (PREFIX=/usr/local)
#   make portable     build for any x86-64-v2 machine
#   make asan-test    unit tests under AddressSanitizer and UndefinedBehaviorSanitizer
#   make tsan-check   a multi-thread search under ThreadSanitizer, failing on any report
#   make perft-suite  every perft record at its full depth, with a pass/fail count
#                     (PERFT_MAX=N skips depths with more than N leaves)
#   make perft-bench  perft leaf speed on the start position and Kiwipete, beside a
#                     reference engine's when one is installed
#   make eval-bench   hand-crafted evaluations per second over the perft positions and
#                     500 openings, with and without the evaluation caches
#   make tb-bench     tablebase WDL and DTZ probes per second on the oracle positions
#   make nn-bench     network evaluations per second, from scratch and incremental, beside
#                     the hand-crafted figure on the same positions
#   make train-bench  network-trainer positions per second on two threads, on positions
#                     from random play
#   make load-check   the engine under load over the protocol: isready and stop with 160
#                     threads, quit during a search, memory over many games and hash resizes
#   make soak         SOAK_GAMES (1000) fast games of the engine against itself, two threads
#                     on one side, a fifth from Chess960 positions: no failure may occur
#                     (SOAK_BUILD=build-asan plays the sanitizer build after make asan-test)
#   make bench        the single-thread benchmark whose node total is the bench signature
#   make match        a short match of Tarn against itself with Selectivity 0 on one side
#                     (MATCH_ARGS=... plays any other match; see the README)
#   make fuzz         build the fuzzers (clang-14, libFuzzer) and run each target for
#                     FUZZ_SECONDS seconds (60 by default) on its corpus
#   make fuzz-replay  build the fuzzers and run every corpus input once through them
#   make format       format the sources; make format-check only checks

JOBS      ?= 2
BUILD     ?= build
ASAN      ?= build-asan
TSAN      ?= build-tsan
PORTABLE  ?= build-portable
EXE_BUILD ?= build-exe
EXE       ?=
PREFIX    ?= /usr/local
FUZZ      ?= build-fuzz
FUZZ_SECONDS ?= 60
CMAKE_GEN := cmake -S . -DCMAKE_BUILD_TYPE=Release
SOURCES   := $(shell find Source Tests Training -name '*.cpp' -o -name '*.h' 2>/dev/null)
CLANG_FORMAT ?= $(shell command -v clang-format-14 2>/dev/null || echo clang-format)
SHARED    := $(if $(TARN_SHARED_DATA),$(TARN_SHARED_DATA),../shared/data)
PERFT_MAX ?= 0 # largest leaf count run per record by perft-suite; 0 runs every depth
MATCH_ARGS ?= -engine cmd=$(BUILD)/tarn name=Tarn -engine cmd=$(BUILD)/tarn name=Tarn-sel0 \
              option.Selectivity=0 -each nodes=2000 option.Hash=16 -games 40 -repeat \
              -concurrency 2 -openings file=$(SHARED)/openings-uho4060v4.txt order=random \
              -pgnout file=$(BUILD)/match.pgn

.PHONY: all exe install build run test portable asan-test tsan-check perft-suite perft-bench eval-bench tb-bench train-bench load-check soak bench format format-check format-version clean match nn-bench fuzz fuzz-build fuzz-replay

all: $(if $(EXE),exe,build)

exe:
	@test -n "$(EXE)" || { echo "make exe: say where the engine goes with EXE=NAME"; exit 1; }
	$(CMAKE_GEN) -B $(EXE_BUILD) -DCMAKE_CXX_COMPILER=$(CXX) -DTARN_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	cmake --build $(EXE_BUILD) -j $(JOBS) --target tarn
	cp $(EXE_BUILD)/tarn $(EXE)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

build:
	$(CMAKE_GEN) -B $(BUILD) $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/tarn

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

portable:
	$(CMAKE_GEN) -B $(PORTABLE) -DTARN_ARCH=x86-64-v2 $(CMAKE_FLAGS) >/dev/null
	cmake --build $(PORTABLE) -j $(JOBS)

asan-test:
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" -DTARN_SANITIZE=ON -DTARN_PERFT_CAP=20000 $(CMAKE_FLAGS) >/dev/null
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS)

tsan-check:
	cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" -DTARN_TSAN=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(TSAN) -j $(JOBS) --target tarn
	Tests/tools/tsan_search.sh $(TSAN)/tarn

fuzz-build:
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Debug -DTARN_FUZZ=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build $(FUZZ) -j $(JOBS)

fuzz: fuzz-build
	Tests/fuzz/run_fuzz.sh $(FUZZ) $(FUZZ_SECONDS)

fuzz-replay: fuzz-build
	cd $(FUZZ) && ctest --output-on-failure -j $(JOBS) -L fuzz

perft-suite: build
	./$(BUILD)/tarn_perft suite Tests/data/perft-standard.txt --max-nodes $(PERFT_MAX)
	./$(BUILD)/tarn_perft suite Tests/data/perft-impossible.txt --max-nodes $(PERFT_MAX)
	./$(BUILD)/tarn_perft suite Tests/data/perft-chess960.txt --chess960 --max-nodes $(PERFT_MAX)

perft-bench: build
	Tests/bench/perft_bench.sh $(BUILD)

eval-bench: build
	./$(BUILD)/tarn_evalbench $(SHARED)/perft-standard.txt $(SHARED)/openings-uho4060v4.txt --roots 647

tb-bench: build
	./$(BUILD)/tarn_tbbench $(SHARED)/syzygy $(SHARED)/syzygy-oracle.tsv

nn-bench: build
	./$(BUILD)/tarn_nnbench $(SHARED)/perft-standard.txt $(SHARED)/openings-uho4060v4.txt --roots 647

train-bench: build
	./$(BUILD)/Training/trainer/tarn-train --bench --threads 2

load-check: build
	./$(BUILD)/tarn_load ./$(BUILD)/tarn $(LOAD_ARGS)

SOAK_BUILD ?= $(BUILD)
SOAK_GAMES ?= 1000
soak: build
	Tests/tools/soak.sh ./$(SOAK_BUILD)/tarn ./$(BUILD)/Training/match/tarn-match $(SOAK_GAMES)

bench: build
	./$(BUILD)/tarn -pbench -d 12

match: build
	./$(BUILD)/Training/match/tarn-match $(MATCH_ARGS)

format: format-version
	$(CLANG_FORMAT) -i $(SOURCES)

format-check: format-version
	$(CLANG_FORMAT) --dry-run --Werror $(SOURCES)

# Versions of clang-format lay code out differently: the tree is formatted with 14.
format-version:
	@$(CLANG_FORMAT) --version | grep -q 'version 14\.' || \
		{ echo "make format needs clang-format 14 (CLANG_FORMAT=$(CLANG_FORMAT) is not)"; exit 1; }

clean:
	rm -rf $(BUILD) $(ASAN) $(PORTABLE) $(EXE_BUILD) $(FUZZ)
