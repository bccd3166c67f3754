#include <filesystem>
#include <gtest/gtest.h>

#include "eval/nn.h"
#include "eval/nn_file.h"
#include "eval/nn_support.h"
#include "support/test_support.h"

namespace tarn {
namespace {

using test::SyntheticNet;

class NetworkFile : public test::NetworkTest {
protected:
    // Writes bytes to a scratch file and returns its path.
    std::string write(const std::vector<unsigned char>& bytes, const std::string& tag = "file") {
        const std::string path = test::scratch_path(tag);
        EXPECT_TRUE(test::write_bytes(path, bytes));
        paths.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const std::string& p : paths)
            std::filesystem::remove(p);
        test::NetworkTest::TearDown();
    }
    std::vector<std::string> paths;
};

SyntheticNet small_net() {
    SyntheticNet net;
    net.hidden1 = 32;
    return net;
}

TEST(NetworkWeights, ScaleByALittleOverPointEighteenTowardZero) {
    EXPECT_EQ(nn_scale_weight(100), 18);
    EXPECT_EQ(nn_scale_weight(-100), -18);
    EXPECT_EQ(nn_scale_weight(1), 0);
    EXPECT_EQ(nn_scale_weight(-6), -1); // -1.08 truncates toward zero
    EXPECT_EQ(nn_scale_weight(5), 0);
    EXPECT_EQ(nn_scale_weight(6), 1);
    EXPECT_EQ(nn_scale_weight(32767), 5898);
    EXPECT_EQ(nn_scale_weight(-32768), -5898);
}

TEST_F(NetworkFile, ReadsTheHeaderAndLaysOutTheBlocks) {
    SyntheticNet net                       = small_net();
    net.id                                 = 77;
    net.version                            = 3;
    net.n_material_inputs                  = 40;
    net.n_buckets                          = 5;
    const std::vector<std::int16_t> stored = test::load_synthetic(net);
    ASSERT_TRUE(nn_ready());
    EXPECT_EQ(network.id, 77);
    EXPECT_EQ(network.version, 3);
    EXPECT_EQ(network.n_inputs, 1536);
    EXPECT_EQ(network.n_material_inputs, 40);
    EXPECT_EQ(network.inputs_total, 1576);
    EXPECT_EQ(network.hidden1, 32);
    EXPECT_EQ(network.hidden2, 0);
    EXPECT_EQ(network.n_buckets, 5);
    EXPECT_EQ(network.size_w1, 1576 * 32);
    EXPECT_EQ(network.size_w2, 8 * 32);
    EXPECT_EQ(network.size_w3, 0);
    EXPECT_EQ(network.count, 1576 * 32 + 8 * 32 + 8);
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(network.count));
    // Without a second hidden layer the tail follows W2 directly.
    EXPECT_EQ(network.w2, network.w1 + network.size_w1);
    EXPECT_EQ(network.w3, network.w2 + network.size_w2);
    EXPECT_EQ(network.tail, network.w2 + network.size_w2);
    for (std::size_t i = 0; i < stored.size(); ++i)
        ASSERT_EQ(network.w1[i], nn_scale_weight(stored[i])) << "weight " << i;
    EXPECT_EQ(network.tail[NN_BIAS_INDEX], nn_scale_weight(stored[stored.size() - 7]));
}

TEST_F(NetworkFile, StandardDimensionsGiveTheStandardSizes) {
    const SyntheticNet net;
    const std::vector<std::int16_t> weights = test::synthetic_weights(net);
    EXPECT_EQ(weights.size(), static_cast<std::size_t>(NN_STANDARD_WEIGHTS));
    const std::string path = write(test::network_file_bytes(net, weights));
    EXPECT_EQ(std::filesystem::file_size(path), NN_STANDARD_FILE_BYTES);
    std::string printed;
    EXPECT_EQ(test::load_named(path, &printed), NN_LOADED);
    EXPECT_EQ(printed, "info string loaded " + path + "\n");
    EXPECT_EQ(network.count, NN_STANDARD_WEIGHTS);
}

TEST_F(NetworkFile, TheStoredWeightCountIsNotTrusted) {
    const SyntheticNet net = small_net();
    const std::string path = write(test::network_file_bytes(net, test::synthetic_weights(net), 7));
    EXPECT_EQ(test::load_named(path), NN_LOADED);
    EXPECT_EQ(network.count, 1572 * 32 + 8 * 32 + 8);
}

// Loads path, which must fail with `expected`, print a line starting with `message` and leave
// the 32-unit network loaded before in force.
void expect_kept(const std::string& path, NnLoadResult expected, const std::string& message) {
    const std::uint32_t generation = network.generation;
    const std::int16_t* weights    = network.w1;
    std::string printed;
    EXPECT_EQ(test::load_named(path, &printed), expected);
    EXPECT_EQ(printed.rfind(message, 0), 0u) << printed;
    EXPECT_TRUE(nn_ready());
    EXPECT_EQ(network.generation, generation);
    EXPECT_EQ(network.w1, weights);
    EXPECT_EQ(network.hidden1, 32);
}

TEST_F(NetworkFile, HeaderWithoutCountKeepsTheNetworkInForce) {
    test::load_synthetic(small_net());
    std::vector<unsigned char> bytes = test::network_file_bytes(small_net(), {});
    bytes.resize(14); // the seven 16-bit fields only
    const std::string path = write(bytes);
    expect_kept(path, NN_CANT_LOAD, "info string can't load " + path);
}

TEST_F(NetworkFile, TruncatedWeightsKeepTheNetworkInForce) {
    test::load_synthetic(small_net());
    SyntheticNet other = small_net();
    other.hidden1      = 48;
    std::vector<unsigned char> bytes =
        test::network_file_bytes(other, test::synthetic_weights(other));
    bytes.pop_back();
    const std::string path = write(bytes);
    expect_kept(path, NN_CANT_LOAD, "info string can't load " + path);
}

TEST_F(NetworkFile, MissingFileKeepsTheNetworkInForce) {
    test::load_synthetic(small_net());
    const std::string path = test::scratch_path("missing");
    expect_kept(path, NN_CANT_OPEN, "info string can't open " + path + "\n");
}

TEST_F(NetworkFile, SourceNamesAreCaseSensitive) {
    test::load_synthetic(small_net());
    expect_kept("Embedded", NN_CANT_OPEN, "info string can't open Embedded\n");
    expect_kept("NEW", NN_CANT_OPEN, "info string can't open NEW\n");
}

// Dimensions the evaluation cannot use are refused before any weight is read.
struct Refusal {
    int n_inputs;
    int n_material_inputs;
    int hidden1;
    int hidden2;
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.n_inputs << "+" << r.n_material_inputs << " inputs, hidden " << r.hidden1 << "/"
        << r.hidden2;
}

class NetworkFileRefusal : public NetworkFile, public ::testing::WithParamInterface<Refusal> {};

TEST_P(NetworkFileRefusal, KeepsTheNetworkInForce) {
    test::load_synthetic(small_net());
    SyntheticNet bad       = small_net();
    bad.n_inputs           = GetParam().n_inputs;
    bad.n_material_inputs  = GetParam().n_material_inputs;
    bad.hidden1            = GetParam().hidden1;
    bad.hidden2            = GetParam().hidden2;
    const std::string path = write(test::network_file_bytes(bad, test::synthetic_weights(bad)));
    expect_kept(path, NN_CANT_LOAD, "info string can't load " + path + ": ");
}

INSTANTIATE_TEST_SUITE_P(
    UnusableDimensions, NetworkFileRefusal,
    ::testing::Values(Refusal{1536, 36, 32, 16},  // a second hidden layer
                      Refusal{1536, 36, 40, 0},   // hidden1 not a multiple of 16
                      Refusal{1534, 36, 32, 0},   // n_inputs not a multiple of 4
                      Refusal{1532, 36, 32, 0},   // colour blocks too small for six slots
                      Refusal{1808, 40, 16, 0},   // more than 1840 inputs
                      Refusal{1840, 36, 16, 0})); // ditto, board inputs alone fit

TEST_F(NetworkFile, NewIsAnEmptyStandardNetworkScoringZero) {
    std::string printed;
    EXPECT_EQ(test::load_named(NN_NEW_NAME, &printed), NN_LOADED);
    EXPECT_EQ(printed, "creating new net...\n");
    EXPECT_EQ(network.id, NN_STANDARD_ID);
    EXPECT_EQ(network.n_inputs, NN_STANDARD_INPUTS);
    EXPECT_EQ(network.n_material_inputs, NN_STANDARD_MATERIAL_INPUTS);
    EXPECT_EQ(network.hidden1, NN_STANDARD_HIDDEN1);
    EXPECT_EQ(network.n_buckets, NN_STANDARD_BUCKETS);
    EXPECT_EQ(network.count, NN_STANDARD_WEIGHTS);
    for (int i = 0; i < network.count; ++i)
        ASSERT_EQ(network.w1[i], 0);
    test::ThreadDataHandle td;
    test::set_fen(*td, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    EXPECT_EQ(nn_evaluate(td->board.pos, td->eval, td->board.search_ply), 0);
    EXPECT_EQ(td->eval.nn.last_sum, 0);
}

TEST_F(NetworkFile, EmbeddedLoadsTheBuiltInNetworkOrSaysThereIsNone) {
    test::load_synthetic(small_net());
    std::string printed;
    const NnLoadResult result = test::load_named(NN_EMBEDDED_NAME, &printed);
    if (nn_has_embedded()) {
        EXPECT_EQ(result, NN_LOADED);
        EXPECT_EQ(printed, "info string using embedded network\n");
        EXPECT_EQ(network.count, NN_STANDARD_WEIGHTS);
    } else {
        // No network is ever made up: the hand-crafted evaluation takes over.
        EXPECT_EQ(result, NN_NOT_EMBEDDED);
        EXPECT_EQ(printed, "info string no embedded network in this build, using the "
                           "hand-crafted evaluation\n");
        EXPECT_FALSE(nn_ready());
    }
}

TEST_F(NetworkFile, EveryLoadChangesTheGeneration) {
    test::load_synthetic(small_net());
    const std::uint32_t first = network.generation;
    test::load_synthetic(small_net());
    EXPECT_NE(network.generation, first);
    const std::uint32_t second = network.generation;
    nn_unload();
    EXPECT_FALSE(nn_ready());
    EXPECT_NE(network.generation, second);
}

} // namespace
} // namespace tarn
