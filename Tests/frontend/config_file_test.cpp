#include <cstdio>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

#include "eval/eval_params.h"
#include "eval/eval_support.h"
#include "frontend/config_file.h"
#include "frontend/options.h"
#include "support/test_support.h"

namespace tarn {
namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override { test::init_eval(); }
    std::string path = test::scratch_path("config.txt");

    void TearDown() override {
        std::remove(path.c_str());
        saved_options = EngineOptions{};
        live_options  = EngineOptions{};
        init_eval_params();
    }
    // Writes the file, loads it and returns what was printed.
    std::string load(const std::string& text, bool* read = nullptr) {
        std::ofstream(path, std::ios::binary) << text;
        testing::internal::CaptureStdout();
        const bool ok = load_config(path.c_str());
        if (read)
            *read = ok;
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(ConfigFile, AppliesNameValueLinesThroughTheSetter) {
    bool read             = false;
    const std::string out = load("MultiPV = 3\nMoveOverhead=70\n", &read);
    EXPECT_TRUE(read);
    EXPECT_NE(out.find("info string loading parameters from " + path), std::string::npos);
    EXPECT_EQ(live_options.MultiPV, 3);
    EXPECT_EQ(live_options.MoveOverhead, 70);
    EXPECT_EQ(live_options.options_changed, 1);
    EXPECT_EQ(saved_options.MultiPV, 3); // the loaded values become the defaults
}

TEST_F(ConfigFile, SkipsCommentsShortLinesAndLinesWithoutEquals) {
    load("# MultiPV = 5\nab\n\nMultiPV 6\nMoveOverhead = 80 # not 90\n");
    EXPECT_EQ(live_options.MultiPV, 1);
    EXPECT_EQ(live_options.MoveOverhead, 80);
}

TEST_F(ConfigFile, ValueKeepsBlanksBeforeAComment) {
    load("OwnBook_File = book.bin   # comment\r\nNN_File =  net.bin\r\n");
    EXPECT_STREQ(live_options.OwnBook_File, "book.bin   ");
    EXPECT_STREQ(live_options.NN_File, "net.bin"); // a carriage return ends the line
}

TEST_F(ConfigFile, TailOfAnOverlongLineIsNotReadAsALine) {
    const std::string filler(300, 'x');
    load("OwnBook_File = " + filler + "MultiPV = 4\nMoveOverhead = 60\n");
    EXPECT_EQ(live_options.MultiPV, 1);
    EXPECT_EQ(live_options.MoveOverhead, 60);
    EXPECT_EQ(std::strlen(live_options.OwnBook_File),
              static_cast<std::size_t>(OPTION_PATH_CHARS - 1));
}

TEST_F(ConfigFile, MissingFileIsNamedAndNoFileIsSilent) {
    const EngineOptions before = live_options;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(load_config("/nonexistent/tarn.cfg"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "info string can't open configuration file /nonexistent/tarn.cfg\n");
    EXPECT_EQ(live_options.MultiPV, before.MultiPV);
    EXPECT_EQ(live_options.options_changed, before.options_changed);

    testing::internal::CaptureStdout();
    EXPECT_FALSE(load_config(""));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "no file named, nothing to say";
}

TEST_F(ConfigFile, FileNamingItselfIsLoadedOnce) {
    const std::string out = load("ConfigFilePath = " + path + "\n");
    std::size_t loads     = 0;
    for (std::size_t at = out.find("loading parameters"); at != std::string::npos;
         at             = out.find("loading parameters", at + 1))
        ++loads;
    EXPECT_EQ(loads, 1u);
}

TEST_F(ConfigFile, SettingConfigFilePathLoadsTheFile) {
    std::ofstream(path, std::ios::binary) << "MultiPV = 5\n";
    testing::internal::CaptureStdout();
    set_option("ConfigFilePath", path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("info string loading parameters from " + path), std::string::npos);
    EXPECT_EQ(live_options.MultiPV, 5);
}

TEST_F(ConfigFile, ApplyingConfigFilePathOnlyNamesTheFile) {
    std::ofstream(path, std::ios::binary) << "MultiPV = 5\n";
    testing::internal::CaptureStdout();
    apply_option("ConfigFilePath", path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("loading parameters"), std::string::npos);
    EXPECT_STREQ(live_options.ConfigFilePath, path.c_str());
    EXPECT_EQ(live_options.MultiPV, 1);
}

} // namespace
} // namespace tarn
