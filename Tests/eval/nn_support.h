#pragma once
// Helpers of the network tests: loading synthetic networks through the NN_File option with the
// printed lines captured, and a fixture that leaves no network, option or setting behind for the
// tests that follow in the same process.

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "eval/nn_file.h"
#include "support/nn_synthetic.h"
#include "support/test_support.h"

namespace tarn::test {

// Loads the source named `name` through the NN_File option and returns the result; the lines
// it printed go to `printed` when given.
NnLoadResult load_named(const std::string& name, std::string* printed = nullptr);
// Writes a synthetic network to a scratch file and loads it; returns its stored weights.
std::vector<std::int16_t> load_synthetic(const SyntheticNet& net, const std::string& tag = "net");

// Builds the tables and the parameter table; afterwards drops the network and restores
// NN_File, Use_NN_eval and the search's target time and root side.
class NetworkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

} // namespace tarn::test
