// The driver's file tests: a settings record, HOME in a temporary directory
// and helpers to write and read whole files there.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "support/capture.h"
#include "zov_driver.h"

namespace fs = std::filesystem;

inline void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::vector<std::string> names_in(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class DriverFiles : public ::testing::Test {
protected:
    TempDir dir;
    std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";
    mode_t old_mask = umask(022);

    // No test may make folders in the user's real home.
    void SetUp() override {
        setenv("HOME", dir.path().c_str(), 1);
        driver_init(0);
    }
    void TearDown() override {
        driver_deinit();
        setenv("HOME", old_home.c_str(), 1);
        umask(old_mask);
    }
};
