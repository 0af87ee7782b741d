// Shared by the fuzz targets: how a target reports a broken property, and a
// scratch directory for the loaders that only read files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// A property the input broke: a crash that libFuzzer keeps with its input.
[[noreturn]] inline void fuzz_fail(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// A directory of this process, removed when it exits normally (a crash
// leaves it for the post-mortem).
inline const std::string& fuzz_dir() {
    struct Dir {
        std::string path;
        Dir() {
            char tmpl[] = "/tmp/zov-fuzz-XXXXXX";
            if (!mkdtemp(tmpl)) fuzz_fail("no scratch directory");
            path = tmpl;
        }
        ~Dir() { std::filesystem::remove_all(path); }
    };
    static Dir dir;
    return dir.path;
}

// Writes the input as the scratch file `name`; returns its path.
inline std::string fuzz_file(const char* name, const uint8_t* data, size_t size) {
    std::string path = fuzz_dir() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
        fuzz_fail("scratch file not written");
    return path;
}
