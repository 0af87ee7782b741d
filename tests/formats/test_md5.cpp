// MD5: the RFC 1321 test suite, and digests of random messages compared with
// coreutils' md5sum on the same bytes, across the padding boundaries and in
// any split into appends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/mman.h>

#include "support/capture.h"
#include "zov_md5.h"

namespace {

std::string hex(const md5_byte_t digest[16]) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 16; i++) {
        out += digits[digest[i] >> 4];
        out += digits[digest[i] & 15];
    }
    return out;
}

// The digest of `n` bytes appended in pieces of at most `piece` bytes.
std::string md5_of(const void* data, size_t n, size_t piece = SIZE_MAX) {
    md5_state_t st;
    md5_init(&st);
    const md5_byte_t* p = (const md5_byte_t*)data;
    for (size_t done = 0; done < n;) {
        size_t k = std::min(piece, n - done);
        md5_append(&st, p + done, (int)k);
        done += k;
    }
    md5_byte_t digest[16];
    md5_finish(&st, digest);
    return hex(digest);
}

std::string md5_of(const std::string& s) { return md5_of(s.data(), s.size()); }

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// md5sum's digests of the messages, each written to its own temporary file,
// all summed by one run of the command.
std::vector<std::string> md5sum_of(const std::vector<std::string>& messages) {
    TempDir dir;
    std::string cmd = "cd '" + dir.path() + "' && md5sum -b";
    for (size_t i = 0; i < messages.size(); i++) {
        std::ofstream(dir / std::to_string(i), std::ios::binary) << messages[i];
        cmd += " " + std::to_string(i);
    }
    cmd += " > sums";
    if (std::system(cmd.c_str()) != 0) return {};
    // Lines "<hex> *<name>".
    std::map<size_t, std::string> by_name;
    std::istringstream lines(read_file(dir / "sums"));
    std::string digest, name;
    while (lines >> digest >> name) by_name[std::stoul(name.substr(1))] = digest;
    std::vector<std::string> out;
    for (size_t i = 0; i < messages.size(); i++) out.push_back(by_name[i]);
    return out;
}

std::string random_bytes(std::mt19937& rng, size_t n) {
    std::string s(n, '\0');
    for (char& c : s) c = (char)(rng() % 5 == 0 ? 0 : rng());
    return s;
}

} // namespace

TEST(Md5, Rfc1321TestSuite) {
    const char* suite[][2] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (auto& t : suite) EXPECT_EQ(md5_of(t[0]), t[1]) << "MD5 (\"" << t[0] << "\")";
}

TEST(Md5, RandomMessagesMatchMd5sumAcrossThePaddingBoundaries) {
    std::mt19937 rng(1321);
    std::vector<std::string> messages;
    for (int len = 0; len <= 300; len++) messages.push_back(random_bytes(rng, len));
    for (int len : {511, 512, 513, 1000, 4096, 65536 + 55, 65536 + 56, 65536 + 57})
        messages.push_back(random_bytes(rng, len));
    std::vector<std::string> expected = md5sum_of(messages);
    ASSERT_EQ(expected.size(), messages.size()) << "md5sum failed";
    for (size_t i = 0; i < messages.size(); i++)
        ASSERT_EQ(md5_of(messages[i]), expected[i]) << "length " << messages[i].size();
}

TEST(Md5, AnySplitIntoAppendsGivesTheSameDigest) {
    std::mt19937 rng(64);
    std::string msg = random_bytes(rng, 1000);
    std::string whole = md5_of(msg);
    for (size_t piece : {1, 3, 55, 56, 57, 63, 64, 65, 127, 128, 129, 999})
        EXPECT_EQ(md5_of(msg.data(), msg.size(), piece), whole) << "pieces of " << piece;
    for (int round = 0; round < 200; round++) {
        md5_state_t st;
        md5_init(&st);
        for (size_t done = 0; done < msg.size();) {
            size_t k = std::min(msg.size() - done, (size_t)(rng() % 150));
            md5_append(&st, (const md5_byte_t*)msg.data() + done, (int)k);
            done += k;
        }
        md5_byte_t digest[16];
        md5_finish(&st, digest);
        ASSERT_EQ(hex(digest), whole) << "round " << round;
    }
}

TEST(Md5, UnalignedDataGivesTheSameDigest) {
    std::mt19937 rng(3);
    std::string msg = random_bytes(rng, 700);
    std::string whole = md5_of(msg);
    std::vector<char> shifted(msg.size() + 8);
    for (size_t off = 1; off < 8; off++) {
        std::memcpy(shifted.data() + off, msg.data(), msg.size());
        EXPECT_EQ(md5_of(shifted.data() + off, msg.size()), whole) << "offset " << off;
    }
}

TEST(Md5, AppendOfNothingOrANegativeCountLeavesTheContextUnchanged) {
    md5_state_t st;
    md5_init(&st);
    md5_append(&st, (const md5_byte_t*)"hello", 5);
    md5_state_t before = st;
    md5_append(&st, (const md5_byte_t*)"world", 0);
    md5_append(&st, (const md5_byte_t*)"world", -1);
    md5_append(&st, (const md5_byte_t*)"world", -2147483647 - 1);
    EXPECT_EQ(std::memcmp(&st, &before, sizeof st), 0);
    md5_byte_t digest[16];
    md5_finish(&st, digest);
    EXPECT_EQ(hex(digest), md5_of("hello"));
}

// One append of 2^29 bytes: its bit count, 2^32, fits neither an int nor
// the low word.  Zero pages mapped read-only cost no memory.
TEST(Md5, OneAppendOf512MiBCountsItsBitsInTheHighWord) {
    const size_t n = (size_t)1 << 29;
    void* zeros = mmap(nullptr, n, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(zeros, MAP_FAILED);
    md5_state_t st;
    md5_init(&st);
    md5_append(&st, (const md5_byte_t*)zeros, (int)n);
    munmap(zeros, n);
    EXPECT_EQ(st.count[0], 0u);
    EXPECT_EQ(st.count[1], 1u);
    md5_byte_t digest[16];
    md5_finish(&st, digest);

    TempDir dir;
    std::string cmd =
        "head -c " + std::to_string(n) + " /dev/zero | md5sum > '" + (dir / "sum") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    EXPECT_EQ(hex(digest), read_file(dir / "sum").substr(0, 32));
}

TEST(Md5, LowWordOfTheBitCountCarriesIntoTheHighWord) {
    md5_state_t st;
    md5_init(&st);
    st.count[0] = 0xfffffff8; // 2^29 - 1 bytes so far
    md5_append(&st, (const md5_byte_t*)"xy", 2);
    EXPECT_EQ(st.count[0], 8u);
    EXPECT_EQ(st.count[1], 1u);
}
