#include "eval/nn_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <new>

#include "frontend/output.h"

#ifdef TARN_EMBEDDED_NETWORK
// Bounds of the network file that nn_embed.S copies into the program image.
extern "C" const unsigned char tarn_embedded_network[];
extern "C" const unsigned char tarn_embedded_network_end[];
#endif

namespace tarn {

Network network;

namespace {

// One unit in the last place above the double nearest to 0.18: files hold weights on a scale
// 1 / 0.18 larger than the evaluation computes with, and this factor turns 100 into exactly 18.
constexpr double WEIGHT_SCALE          = std::bit_cast<double>(std::uint64_t{0x3FC70A3D70A3D70B});
constexpr std::size_t BUFFER_ALIGNMENT = 64;
constexpr std::size_t READ_CHUNK_BYTES = 1 << 14;
constexpr const char* EMBEDDED_LABEL   = "embedded network";

// Where the bytes of a network come from: an open file, or memory (the built-in copy).
struct NetworkSource {
    std::ifstream* file        = nullptr;
    const unsigned char* bytes = nullptr; // read when file is null
    std::size_t size           = 0;       // bytes available in all
    std::size_t offset         = 0;       // bytes taken so far
    bool embedded              = false;   // report weights beyond the built-in limit
};

bool read_bytes(NetworkSource& src, unsigned char* out, std::size_t n) {
    if (n > src.size - src.offset)
        return false;
    if (src.file) {
        src.file->read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n));
        if (!*src.file)
            return false;
    } else {
        std::memcpy(out, src.bytes + src.offset, n);
    }
    src.offset += n;
    return true;
}

int read_u16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}

// Fills in the counts and block sizes that follow from the dimensions.
void set_block_sizes(Network& net) {
    net.inputs_total = net.n_inputs + net.n_material_inputs;
    net.size_w1      = net.inputs_total * net.hidden1;
    net.size_w2      = std::max(NN_OUTPUT_ROWS, net.hidden2) * net.hidden1;
    net.size_w3      = std::max(NN_OUTPUT_ROWS, net.n_buckets) * net.hidden2;
    net.count        = net.size_w1 + net.size_w2 + net.size_w3 + NN_TAIL_VALUES;
}

// Reads the dimensions from a header. Returns why this engine cannot evaluate such a network,
// or nullptr. Every feature index must fall inside W1 and inside the thread's marks.
const char* take_header(Network& net, const unsigned char* header) {
    net.id                = static_cast<std::uint16_t>(read_u16(header));
    net.version           = static_cast<std::uint16_t>(read_u16(header + 2));
    net.n_inputs          = read_u16(header + 4);
    net.n_material_inputs = read_u16(header + 6);
    net.hidden1           = read_u16(header + 8);
    net.hidden2           = read_u16(header + 10);
    net.n_buckets         = read_u16(header + 12);
    const int slots       = net.n_inputs == NN_PASSER_INPUTS ? NN_PIECE_SLOTS + 1 : NN_PIECE_SLOTS;
    if (net.hidden2 != 0)
        return "a second hidden layer is not supported";
    if (net.hidden1 % NN_HIDDEN_STEP != 0)
        return "hidden1 is not a multiple of 16";
    if (net.n_inputs % 4 != 0 || net.n_inputs / 4 < slots * 64)
        return "n_inputs does not hold four colour blocks of all piece slots";
    if (net.n_inputs + net.n_material_inputs > NN_MAX_INPUTS)
        return "more than 1840 inputs";
    set_block_sizes(net);
    return nullptr;
}

NnLoadResult cant_load(const char* name, const char* why) {
    print_format("info string can't load %s: %s", name, why);
    return NN_CANT_LOAD;
}

// Makes a complete network the one in force.
void install(Network& fresh) {
    fresh.w1         = fresh.weights.get();
    fresh.w2         = fresh.w1 + fresh.size_w1;
    fresh.w3         = fresh.w2 + fresh.size_w2;
    fresh.tail       = fresh.w3 + fresh.size_w3;
    fresh.generation = network.generation + 1;
    network          = std::move(fresh);
}

// Reads header and weights into a new buffer and installs them when everything was there.
NnLoadResult read_network(NetworkSource& src, const char* name) {
    unsigned char header[NN_HEADER_BYTES];
    if (!read_bytes(src, header, NN_HEADER_BYTES))
        return cant_load(name, "it ends inside the header");
    Network fresh;
    if (const char* problem = take_header(fresh, header))
        return cant_load(name, problem);
    const std::size_t count = static_cast<std::size_t>(fresh.count);
    // Checked before allocating, so a damaged header cannot ask for memory the data lacks.
    if (2 * count > src.size - src.offset)
        return cant_load(name, "it ends inside the weights");
    fresh.weights = nn_allocate(count);
    if (!fresh.weights) {
        print_line("allocating memory for net failed!");
        return NN_NO_MEMORY;
    }
    unsigned char chunk[READ_CHUNK_BYTES];
    std::int16_t* out = fresh.weights.get();
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min(count - done, READ_CHUNK_BYTES / 2);
        if (!read_bytes(src, chunk, 2 * n))
            return cant_load(name, "it ends inside the weights");
        for (std::size_t i = 0; i < n; ++i) {
            const int stored = static_cast<std::int16_t>(read_u16(chunk + 2 * i));
            if (src.embedded &&
                (stored > NN_EMBEDDED_WEIGHT_LIMIT || -stored > NN_EMBEDDED_WEIGHT_LIMIT))
                print_line("error!");
            out[done + i] = nn_scale_weight(stored);
        }
        done += n;
    }
    install(fresh);
    return NN_LOADED;
}

NnLoadResult load_new() {
    print_line("creating new net...");
    Network fresh;
    fresh.id                = NN_STANDARD_ID;
    fresh.version           = NN_STANDARD_VERSION;
    fresh.n_inputs          = NN_STANDARD_INPUTS;
    fresh.n_material_inputs = NN_STANDARD_MATERIAL_INPUTS;
    fresh.hidden1           = NN_STANDARD_HIDDEN1;
    fresh.n_buckets         = NN_STANDARD_BUCKETS;
    set_block_sizes(fresh);
    // Weights start at 0, so an untrained network scores every position 0.
    fresh.weights = nn_allocate(static_cast<std::size_t>(fresh.count));
    if (!fresh.weights) {
        print_line("allocating memory for net failed!");
        return NN_NO_MEMORY;
    }
    install(fresh);
    return NN_LOADED;
}

NnLoadResult load_embedded() {
#ifdef TARN_EMBEDDED_NETWORK
    NetworkSource src;
    src.bytes    = tarn_embedded_network;
    src.size     = static_cast<std::size_t>(tarn_embedded_network_end - tarn_embedded_network);
    src.embedded = true;
    const NnLoadResult result = read_network(src, EMBEDDED_LABEL);
    if (result == NN_LOADED)
        print_line("info string using embedded network");
    return result;
#else
    print_line("info string no embedded network in this build, using the hand-crafted evaluation");
    nn_unload();
    return NN_NOT_EMBEDDED;
#endif
}

NnLoadResult load_file(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        print_format("info string can't open %s", path);
        return NN_CANT_OPEN;
    }
    NetworkSource src;
    src.file = &file;
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    file.seekg(0, std::ios::beg);
    src.size                  = size > 0 ? static_cast<std::size_t>(size) : 0;
    const NnLoadResult result = read_network(src, path);
    if (result == NN_LOADED)
        print_format("info string loaded %s", path);
    return result;
}

} // namespace

void NnBufferFree::operator()(std::int16_t* p) const {
    ::operator delete[](p, std::align_val_t{BUFFER_ALIGNMENT});
}

NnLoadResult load_network(const char* name) {
    if (std::strcmp(name, NN_NEW_NAME) == 0)
        return load_new();
    if (std::strcmp(name, NN_EMBEDDED_NAME) == 0)
        return load_embedded();
    return load_file(name);
}

void nn_unload() {
    const std::uint32_t generation = network.generation;
    network                        = Network{};
    network.generation             = generation + 1;
}

NnBuffer nn_allocate(std::size_t values) {
    const std::size_t bytes = std::max<std::size_t>(values, 1) * sizeof(std::int16_t);
    void* memory = ::operator new[](bytes, std::align_val_t{BUFFER_ALIGNMENT}, std::nothrow);
    if (!memory)
        return nullptr;
    std::memset(memory, 0, bytes);
    return NnBuffer(static_cast<std::int16_t*>(memory));
}

bool nn_has_embedded() {
#ifdef TARN_EMBEDDED_NETWORK
    return true;
#else
    return false;
#endif
}

std::int16_t nn_scale_weight(int stored) {
    return static_cast<std::int16_t>(static_cast<int>(stored * WEIGHT_SCALE));
}

} // namespace tarn
