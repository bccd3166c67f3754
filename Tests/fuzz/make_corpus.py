#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets under Tests/fuzz/corpus/TARGET/seed-*.

The seeds come from the shared test data (perft positions, openings, engine games, tablebase
files); the book and training-record seeds are made from them by the engine itself, whose
binary is the first argument. Regression inputs (crash-*) found by fuzzing are kept beside
the seeds and never touched here. Run it again only to change the seeds:

    Tests/fuzz/make_corpus.py build/tarn
"""

import os
import random
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.normpath(os.path.join(HERE, "..", "..", "..", "shared", "data"))
CORPUS = os.path.join(HERE, "corpus")


def shared(name):
    return os.path.join(SHARED, name)


def fens_of(name, count, step=1):
    """The FEN part of every step-th line of a perft or openings file, at most count of them."""
    fens = []
    with open(shared(name)) as f:
        for i, line in enumerate(f):
            if i % step == 0 and line.strip():
                fens.append(line.split(";")[0].strip())
            if len(fens) == count:
                break
    return fens


def four_fields(fen):
    return " ".join(fen.split()[:4])


def pgn_games(count, max_move_lines):
    """The first games of the engine games, each cut to its first move lines."""
    games, header, moves = [], [], []
    with open(shared("games-engine-selfplay.pgn")) as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("[Event ") and header and moves:
                games.append((header, moves))
                header, moves = [], []
                if len(games) == count:
                    break
            if line.startswith("["):
                header.append(line)
            elif line.strip():
                moves.append(line)
    texts = []
    for header, moves in games:
        result = next((h.split('"')[1] for h in header if h.startswith("[Result ")), "*")
        texts.append("\n".join(header) + "\n\n" + "\n".join(moves[:max_move_lines]) + " " +
                     result + "\n")
    return texts


def san_moves(game_text, count):
    """The first move words (SAN) of a game text, without numbers and comments."""
    words, depth = [], 0
    body = game_text.split("\n\n", 1)[1]
    for token in body.replace("{", " { ").replace("}", " } ").split():
        if token == "{":
            depth += 1
        elif token == "}":
            depth -= 1
        elif depth == 0 and not token[0].isdigit() and token not in ("*", "1-0", "0-1"):
            words.append(token)
        if len(words) == count:
            break
    return words


class Corpus:
    def __init__(self):
        self.written = 0

    def put(self, target, name, data):
        folder = os.path.join(CORPUS, target)
        os.makedirs(folder, exist_ok=True)
        if isinstance(data, str):
            data = data.encode()
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data)
        self.written += 1


def clear_seeds():
    if not os.path.isdir(CORPUS):
        return
    for target in os.listdir(CORPUS):
        folder = os.path.join(CORPUS, target)
        for name in os.listdir(folder):
            if name.startswith("seed-"):
                os.remove(os.path.join(folder, name))


def command_seeds(c):
    standard = fens_of("perft-standard.txt", 6, 20)
    chess960 = fens_of("perft-chess960.txt", 3, 300)
    opening = fens_of("openings-uho4060v4.txt", 2, 50)
    uci = [
        "uci\nisready\nucinewgame\nposition startpos moves e2e4 e7e5 g1f3\ngo depth 3\n",
        "setoption name Hash value 2\nsetoption name MultiPV value 3\n"
        "position fen %s\ngo nodes 500\nisready\n" % standard[1],
        "setoption name UCI_Chess960 value true\nposition fen %s moves\ngo depth 2\n"
        "setoption name UCI_Chess960 value false\n" % chess960[0],
        "position fen %s\ngo wtime 1000 btime 1000 winc 10 binc 10 movestogo 5\nstop\n"
        % opening[0],
        "setoption name Threads value 2\nposition startpos\ngo infinite\nstop\n"
        "setoption name Clear_Hash\nsetoption name Contempt value 20\ngo depth 2\n",
        "position startpos moves e2e4 c7c5\ngo ponder movetime 50\nponderhit\ngo depth 0\n"
        "go depth -1\ngo depth 99999999999\n",
        "setoption name UCI_LimitStrength value true\nsetoption name UCI_Elo value 1600\n"
        "position fen %s\ngo depth 2\n" % standard[3],
        "setoption name Use_NN_eval value false\nposition fen %s\ngo movetime 20\n"
        "setoption name Selectivity value 0\ngo depth 2\n_show\nquit\n" % standard[4],
    ]
    for i, script in enumerate(uci):
        c.put("commands", "uci-%d" % i, "\x00" + script)
    console = [
        "new\ne4\ne5\nNf3\nbd\nundo\n]\nev\nsp\nswap\npv\nquit\n",
        "fen %s\nperft 2\nmv\nbd\nlmr\ntag\nan 2\n" % standard[2],
        "set depth 2\nset multipv 2\ngo\nset level 40 5:00 0\nset nodes 300\ngo\njump 1\n",
        "fen %s\nset frc 1\nO-O\nperft 1\nundo\nbook\nuci\nisready\n" % chess960[1],
        "new\nd4\nd5\nc4\ne6\nNc3\nNf6\nBg5\nBe7\nundo\nundo\n]\n]\nsave\nget 1\nset ss 1\n",
    ]
    for i, script in enumerate(console):
        c.put("commands", "console-%d" % i, "\x01" + script)


def fen_seeds(c):
    for i, fen in enumerate(fens_of("perft-standard.txt", 16, 9)):
        c.put("fen", "standard-%d" % i, fen)
    for i, fen in enumerate(fens_of("perft-chess960.txt", 10, 96)):
        c.put("fen", "chess960-%d" % i, fen)
    with open(shared("perft-chess960.txt")) as f:
        xfen = [line.split(";")[0] for line in f if " KQkq " in line or " KQ " in line][:5]
    for i, fen in enumerate(xfen):
        c.put("fen", "xfen-%d" % i, fen)
    for i, fen in enumerate(fens_of("perft-impossible.txt", 6)):
        c.put("fen", "impossible-%d" % i, fen)
    for i, fen in enumerate(fens_of("openings-noob3moves.txt", 4, 100)):
        c.put("fen", "opening-%d" % i, four_fields(fen))


def move_seeds(c):
    games = pgn_games(3, 6)
    for i, game in enumerate(games):
        c.put("moves", "game-%d" % i,
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -\n" +
              "\n".join(san_moves(game, 12)) + "\n")
    standard = fens_of("perft-standard.txt", 8, 17)
    chess960 = fens_of("perft-chess960.txt", 4, 240)
    words = ["e4", "exd5", "O-O", "o-o-o", "0-0", "e1g1", "e1h1", "e7e8q", "e8=Q+", "Nbd7",
             "N1f3", "Qxh8#", "a7a8n", "bxc8=R", "Kxe2", "ed", "b1c3!?", "Rfe1"]
    for i, fen in enumerate(standard + chess960):
        picked = random.Random(i).sample(words, 6)
        c.put("moves", "position-%d" % i, fen + "\n" + "\n".join(picked) + "\n")


def pgn_seeds(c):
    games = pgn_games(4, 8)
    with open(shared("openings-noob3moves.txt")) as f:
        fen = f.readline().strip()
    with_fen = ('[Event "x"]\n[FEN "%s"]\n[SetUp "1"]\n[Result "1/2-1/2"]\n\n'
                '4. e4 {+0.10/5 0.1s} dxe4 (4... e6 5. Nf3) 5. Nc3 $1 {-0.2/6} Nf6 1/2-1/2\n'
                % fen)
    for i, game in enumerate(games):
        c.put("pgn_load", "game-%d" % i, game)
        c.put("pgn_book", "game-%d" % i, game)
    c.put("pgn_load", "fen-tag", with_fen)
    c.put("pgn_book", "fen-tag", with_fen)
    c.put("pgn_book", "games", "\n".join(games))
    for variant in range(4):
        c.put("pgn_scan", "variant%d" % (variant + 1), chr(variant) + "\n".join(games[:3]))
    c.put("pgn_scan", "variant2-fen", "\x01" + with_fen)


def epd_lines(count, step):
    lines = []
    for i, fen in enumerate(fens_of("openings-uho4060v4.txt", count, step)):
        lines.append("%s ce %d; gr %s; id \"uho %d\";" %
                     (four_fields(fen), (i * 37) % 400 - 200, ["1", "0.5", "0"][i % 3], i))
    return lines


def epd_seeds(c):
    suite = [
        'r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Bb5; id "ruy";',
        'rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2 bm Nf3 Nc3; '
        'c0 "Nf3=10, Nc3=7, d4=5"; id "open";',
        '6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - am Ra2; bm Ra8#; id "mate";',
        '4k3/8/8/8/8/8/4P3/4K3 w - - bm e4; ce 120; sc 80; gr 1-0;',
        '# a remark',
        '8/8/8/8/8/8/8/8 w - - bm e4;',
    ]
    c.put("epd", "suite", "\n".join(suite) + "\n")
    c.put("epd", "labels", "\n".join(epd_lines(12, 40)) + "\n")
    for i, fen in enumerate(fens_of("perft-standard.txt", 6, 23)):
        c.put("epd", "perft-%d" % i, fen + ' bm a1a2; c0 "a1a2=3";\n')
    c.put("epd_tools", "suite", "\n".join(suite[:4]) + "\n")
    c.put("epd_tools", "labels", "\n".join(epd_lines(4, 100)) + "\n")
    c.put("epd2bin", "labels", "\n".join(epd_lines(16, 30)) + "\n")
    with open(shared("syzygy-oracle.tsv")) as f:
        next(f)
        tb = [four_fields(line.split("\t")[0]) + " ce 0; gr 0.5;" for _, line in zip(range(6), f)]
    c.put("epd2bin", "endings", "\n".join(tb) + "\n")
    c.put("epd2bin", "scores", "\n".join(l.replace(" ce ", " sc ") for l in epd_lines(6, 70)) + "\n")


def config_seeds(c):
    configs = [
        "Hash = 2\nThreads = 2\nContempt = 10\nSelectivity = 120\nMultiPV = 2\n",
        "# comment line\nMoveOverhead = 100   # trailing comment\r\nPonder = false\n"
        "OwnBook = true\nOwnBook_Depth = 8\nOwnBook_Variety = 50\n",
        "UCI_LimitStrength = true\nUCI_Elo = 1800\nSyzygyProbeDepth6 = 4\nUse_NN_eval = false\n",
        "NN_File = embedded\nUCI_Chess960 = true\nClear_Hash = 1\nLog = false\n",
        "ConfigFilePath = engine.cfg\nSyzygyPath = <empty>\nOwnBook_File = missing.bin\n",
    ]
    for i, text in enumerate(configs):
        c.put("config", "config-%d" % i, text)


def book_seeds(c, tarn):
    with tempfile.TemporaryDirectory() as work:
        pgn = os.path.join(work, "games.pgn")
        with open(pgn, "w") as f:
            f.write("\n".join(pgn_games(400, 1000)))
        subprocess.run([tarn, "-mkbook", pgn], cwd=work, stdout=subprocess.DEVNULL, check=True)
        with open(os.path.join(work, "tmp_book.bin"), "rb") as f:
            book = f.read()
    start_key = 0x463B96181691FC9C
    entries = [book[i:i + 16] for i in range(0, len(book), 16)]
    keys = [struct.unpack(">Q", e[:8])[0] for e in entries]
    at = next((i for i, k in enumerate(keys) if k >= start_key), 0)
    c.put("book", "around-start", b"".join(entries[max(0, at - 100):at + 100]))
    c.put("book", "first", b"".join(entries[:64]))
    c.put("book", "last", b"".join(entries[-64:]))
    c.put("book", "torn", b"".join(entries[at:at + 8]) + b"\x01\x02\x03")


def network_seeds(c):
    def network(n_inputs, material, hidden1, buckets, seed):
        rng = random.Random(seed)
        # W1, then W2 of eight rows (no second hidden layer, so no W3), then the tail.
        count = (n_inputs + material + 8) * hidden1 + 8
        header = struct.pack("<7Hi", 564, 1, n_inputs, material, hidden1, 0, buckets, count)
        weights = struct.pack("<%dh" % count, *(rng.randint(-600, 600) for _ in range(count)))
        return header + weights
    small = network(1536, 0, 16, 1, 1)
    c.put("network", "hidden16", small)
    c.put("network", "passers-material36", network(1792, 36, 16, 7, 2))
    c.put("network", "header-only", small[:18])
    c.put("network", "torn-weights", small[:1000])


def tablebase_seeds(c):
    tables = ["KRvK", "KQvK", "KPvK", "KNvKN", "KBvKB", "KRvKR", "KNNvK", "KBvKN", "KRPvK",
              "KQvKQ", "KQQvK", "KPPvK", "KRvKB", "KQPvK", "KQRvK", "KRRvK"]
    for i, name in enumerate(tables):
        with open(shared(os.path.join("syzygy", name + ".rtbw")), "rb") as f:
            wdl = f.read()
        dtz = b""
        if i < 10:
            with open(shared(os.path.join("syzygy", name + ".rtbz")), "rb") as f:
                dtz = f.read()
        c.put("tablebase", name, bytes([i]) + struct.pack("<I", len(wdl)) + wdl + dtz)


def training_seeds(c, tarn):
    with tempfile.TemporaryDirectory() as work:
        epd = os.path.join(work, "labels.epd")
        with open(epd, "w") as f:
            f.write("\n".join(epd_lines(60, 10)) + "\n")
        subprocess.run([tarn, "-epd2bin", epd], cwd=work, stdout=subprocess.DEVNULL, check=True)
        with open(os.path.join(work, "labels.bin"), "rb") as f:
            records = f.read()
    c.put("train_records", "records", records)
    c.put("train_records", "torn", records[:40 * 5 + 17])
    damaged = bytearray(records[:40 * 8])
    damaged[40 + 33] = 99
    damaged[80 + 32] = 0x30
    damaged[120 + 34:120 + 36] = struct.pack("<h", 3000)
    c.put("train_records", "damaged", bytes(damaged))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_corpus.py TARN_BINARY")
    tarn = os.path.abspath(sys.argv[1])
    clear_seeds()
    c = Corpus()
    command_seeds(c)
    fen_seeds(c)
    move_seeds(c)
    pgn_seeds(c)
    epd_seeds(c)
    config_seeds(c)
    book_seeds(c, tarn)
    network_seeds(c)
    tablebase_seeds(c)
    training_seeds(c, tarn)
    print("%d seeds written under %s" % (c.written, CORPUS))


if __name__ == "__main__":
    main()
