// tarn-train: trains the evaluation network on training records, exports it in the engine's
// network file format, and checks an exported file against the engine. See --help.

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "trainer/train_export.h"
#include "trainer/train_loop.h"
#include "trainer/train_vary.h"

namespace {

constexpr int BENCH_POSITIONS = 200000;

constexpr const char* USAGE =
    "usage:\n"
    "  tarn-train --data A.bin[,B.bin...] [options]    train a network\n"
    "  tarn-train --export CHECKPOINT OUT.net [--data A.bin,...]\n"
    "                                                 quantise a checkpoint to a network file\n"
    "  tarn-train --check NET.net DATA.bin [N]        compare the engine's evaluation with\n"
    "                                                 the trainer's on N positions (10000)\n"
    "  tarn-train --vary IN.epd OUT.epd [--per N] [--seed N]\n"
    "                                                 N (4) positions one or two random moves\n"
    "                                                 from each position, for relabelling\n"
    "  tarn-train --bench [--threads N] [--positions N]\n"
    "                                                 training speed on random-play positions\n"
    "options:\n"
    "  --out DIR       checkpoints (DIR/last.ckpt) and networks (DIR/epoch-N.net); train-out\n"
    "  --epochs N      epochs to train (10)\n"
    "  --batch N       positions per minibatch (16384)\n"
    "  --lr X          Adam learning rate (0.001)\n"
    "  --lr-drop N     epochs between learning-rate drops (4)\n"
    "  --lr-gamma X    factor of each drop (0.3)\n"
    "  --lambda X      weight of the search score in the target; the rest is the game\n"
    "                  result (0.75)\n"
    "  --threads N     threads (2)\n"
    "  --seed N        seed of the weights, the validation split and the shuffles (1)\n"
    "  --val X         share of positions held out for validation (0.02)\n"
    "  --quiet         leave out positions where a capture wins material (static exchange)\n"
    "  --hce-data F,.. also train on these files, labelled by the hand-crafted evaluation\n"
    "  --val-data F,.. validate on these files (other games) instead of a share of --data\n"
    "  --factorise     share what the two king-wing halves of the board inputs learn\n"
    "  --resume        continue from DIR/last.ckpt with the same data and seed\n"
    "  --init NET      start from a network file instead of random weights\n"
    "  --score first|second  which score of the records labels them: the second (default) is\n"
    "                  the relabelling search's \"sc\" when there was one, else the game's\n"
    "The loss is the mean squared error between the network's win probability and the target\n"
    "lambda * p(score) + (1 - lambda) * result, p(s) = 1 / (1 + e^(-0.006 s)).\n";

// The command line, read left to right.
struct Args {
    tarn::TrainConfig config;
    std::vector<std::string> positional; // operands of --export and --check
    std::string mode    = "train";
    int bench_positions = BENCH_POSITIONS;
    int vary_per        = 4;
};

bool parse_int(const char* text, long long lo, long long hi, long long& out) {
    const char* end = text + std::strlen(text);
    const auto r    = std::from_chars(text, end, out);
    return r.ec == std::errc{} && r.ptr == end && out >= lo && out <= hi;
}

bool parse_real(const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    out       = std::strtod(text, &end);
    return *text && end && *end == '\0' && out >= lo && out <= hi;
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string part  = text.substr(from, comma - from);
        if (!part.empty())
            parts.push_back(part);
        if (comma == std::string::npos)
            return parts;
        from = comma + 1;
    }
}

// Reads one option with its value; false with a message when it is not understood.
bool take_option(Args& a, const std::string& name, const char* value, std::string& error) {
    tarn::TrainConfig& c = a.config;
    long long n          = 0;
    double x             = 0.0;
    bool ok              = true;
    if (name == "--data")
        c.data = split_list(value);
    else if (name == "--hce-data")
        c.hce_data = split_list(value);
    else if (name == "--val-data")
        c.val_data = split_list(value);
    else if (name == "--out")
        c.out_dir = value;
    else if (name == "--init")
        c.init_net = value;
    else if (name == "--epochs" && (ok = parse_int(value, 1, 100000, n)))
        c.epochs = static_cast<int>(n);
    else if (name == "--batch" && (ok = parse_int(value, 1, 1 << 22, n)))
        c.batch = static_cast<int>(n);
    else if (name == "--lr-drop" && (ok = parse_int(value, 1, 100000, n)))
        c.lr_drop = static_cast<int>(n);
    else if (name == "--threads" && (ok = parse_int(value, 1, tarn::TRAIN_TILES, n)))
        c.threads = static_cast<int>(n);
    else if (name == "--seed" && (ok = parse_int(value, 0, UINT32_MAX, n)))
        c.seed = static_cast<std::uint32_t>(n);
    else if (name == "--per" && (ok = parse_int(value, 1, tarn::VARY_MAX_PER_POSITION, n)))
        a.vary_per = static_cast<int>(n);
    else if (name == "--positions" && (ok = parse_int(value, 1, 100000000, n)))
        a.bench_positions = static_cast<int>(n);
    else if (name == "--lr" && (ok = parse_real(value, 0.0, 1.0, x)))
        c.lr = x;
    else if (name == "--lr-gamma" && (ok = parse_real(value, 0.0, 1.0, x)))
        c.lr_gamma = x;
    else if (name == "--lambda" && (ok = parse_real(value, 0.0, 1.0, x)))
        c.lambda = x;
    else if (name == "--val" && (ok = parse_real(value, 0.0, 0.5, x)))
        c.val = x;
    else if (name == "--score" &&
             (ok = std::strcmp(value, "first") == 0 || std::strcmp(value, "second") == 0))
        c.first_score = std::strcmp(value, "first") == 0;
    else if (ok) {
        error = "unknown option " + name;
        return false;
    }
    if (!ok)
        error = "bad value '" + std::string(value) + "' for " + name;
    return ok;
}

bool parse_args(int argc, char** argv, Args& a, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--resume") {
            a.config.resume = true;
        } else if (arg == "--quiet") {
            a.config.quiet_only = true;
        } else if (arg == "--factorise") {
            a.config.factorise = true;
        } else if (arg == "--bench" || arg == "--export" || arg == "--check" || arg == "--vary") {
            a.mode = arg.substr(2);
        } else if (arg.rfind("--", 0) == 0) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            if (!take_option(a, arg, argv[++i], error))
                return false;
        } else {
            a.positional.push_back(arg);
        }
    }
    return true;
}

int run(const Args& a) {
    const std::vector<std::string>& p = a.positional;
    if (a.mode == "bench" && p.empty())
        return tarn::run_train_bench(a.config.threads, a.bench_positions);
    if (a.mode == "export" && p.size() == 2)
        return tarn::run_export(p[0], p[1], a.config.data);
    if (a.mode == "check" && (p.size() == 2 || p.size() == 3)) {
        long long n = tarn::CHECK_DEFAULT_POSITIONS;
        if (p.size() == 3 && !parse_int(p[2].c_str(), 1, INT64_MAX, n)) {
            std::fprintf(stderr, "tarn-train: bad position count '%s'\n", p[2].c_str());
            return 1;
        }
        return tarn::run_check(p[0], p[1], static_cast<std::uint64_t>(n));
    }
    if (a.mode == "vary" && p.size() == 2) {
        tarn::VaryCount count;
        const bool ok = tarn::vary_positions(p[0], p[1], a.vary_per, a.config.seed, count);
        std::printf("read %llu positions, skipped %llu lines, wrote %llu variations\n",
                    static_cast<unsigned long long>(count.read),
                    static_cast<unsigned long long>(count.skipped),
                    static_cast<unsigned long long>(count.written));
        return ok ? 0 : 1;
    }
    if (a.mode == "train" && p.empty() && !a.config.data.empty())
        return tarn::run_training(a.config);
    std::fprintf(stderr, "tarn-train: nothing to do\n%s", USAGE);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // Progress reaches a log file line by line, as it reaches a terminal, so a long run can be
    // followed (and a stopped one shows how far it got).
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
    Args args;
    std::string error;
    if (!parse_args(argc, argv, args, error)) {
        std::fprintf(stderr, "tarn-train: %s\n%s", error.c_str(), USAGE);
        return 1;
    }
    return run(args);
}
