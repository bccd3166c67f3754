#include "eval/nn_support.h"

#include <filesystem>

#include "eval/eval_support.h"
#include "eval/evaluate.h"
#include "frontend/engine_options.h"
#include "frontend/engine_process.h"
#include "frontend/run_settings.h"

namespace tarn::test {

NnLoadResult load_named(const std::string& name, std::string* printed) {
    copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, name.c_str());
    StdoutCapture capture;
    const NnLoadResult result = load_network(live_options.NN_File);
    const std::string text    = capture.take();
    if (printed)
        *printed = text;
    return result;
}

std::vector<std::int16_t> load_synthetic(const SyntheticNet& net, const std::string& tag) {
    const std::vector<std::int16_t> weights = synthetic_weights(net);
    const std::string path                  = scratch_path(tag);
    EXPECT_TRUE(write_bytes(path, network_file_bytes(net, weights))) << "can't write " << path;
    EXPECT_EQ(load_named(path), NN_LOADED) << "can't load " << path;
    std::filesystem::remove(path);
    return weights;
}

void NetworkTest::SetUp() {
    init_eval();
}

void NetworkTest::TearDown() {
    nn_unload();
    copy_option_text(live_options.NN_File, OPTION_NAME_CHARS, NN_EMBEDDED_NAME);
    run_settings.use_nn = 1;
}

} // namespace tarn::test
