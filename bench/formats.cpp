// MD5 and Base64 throughput against OpenSSL's libcrypto (EVP MD5 and EVP's
// Base64 blocks) on the same random bytes, from one cache line to 1 MiB.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <random>
#include <string>

#include "zov_base64.h"
#include "zov_md5.h"

namespace {

const std::string& bytes(size_t n) {
    static std::string data;
    if (data.size() < n) {
        std::mt19937 rng(106);
        data.resize(n);
        for (char& c : data) c = (char)rng();
    }
    static std::string out;
    out = data.substr(0, n);
    return out;
}

const unsigned char* u8(const std::string& s) { return (const unsigned char*)s.data(); }

void sizes(benchmark::internal::Benchmark* b) {
    for (long n : {64, 1024, 64 * 1024, 1024 * 1024}) b->Arg(n);
}

// ====== MD5 ======

void BM_ZovMd5(benchmark::State& state) {
    const std::string data = bytes(state.range(0));
    md5_byte_t digest[16];
    for (auto _ : state) {
        md5_state_t st;
        md5_init(&st);
        md5_append(&st, u8(data), (int)data.size());
        md5_finish(&st, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}

// The digest is fetched and the context made once, as a careful caller would.
void BM_OpenSslMd5(benchmark::State& state) {
    const std::string data = bytes(state.range(0));
    EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned char digest[16];
    unsigned int len = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, data.data(), data.size());
        EVP_DigestFinal_ex(ctx, digest, &len);
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(ctx);
    EVP_MD_free(md);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}

// ====== Base64 ======
// Both sides return a fresh std::string, as base64_encode and base64_decode
// do; throughput counts the bytes on the binary side.

void BM_ZovBase64Encode(benchmark::State& state) {
    const std::string data = bytes(state.range(0));
    for (auto _ : state) {
        std::string text = base64_encode(u8(data), (unsigned int)data.size());
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}

void BM_OpenSslBase64Encode(benchmark::State& state) {
    const std::string data = bytes(state.range(0));
    for (auto _ : state) {
        std::string text((data.size() + 2) / 3 * 4 + 1, '\0');
        int n = EVP_EncodeBlock((unsigned char*)&text[0], u8(data), (int)data.size());
        text.resize(n);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}

void BM_ZovBase64Decode(benchmark::State& state) {
    const std::string data = bytes(state.range(0));
    const std::string text = base64_encode(u8(data), (unsigned int)data.size());
    for (auto _ : state) {
        std::string out = base64_decode(text);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}

// EVP_DecodeBlock writes the pad bytes too; the pads are cut as a caller must.
void BM_OpenSslBase64Decode(benchmark::State& state) {
    const std::string data = bytes(state.range(0));
    const std::string text = base64_encode(u8(data), (unsigned int)data.size());
    size_t pads = text.size() - text.find_last_not_of('=') - 1;
    for (auto _ : state) {
        std::string out(text.size() / 4 * 3, '\0');
        int n = EVP_DecodeBlock((unsigned char*)&out[0], u8(text), (int)text.size());
        if (n < 0) state.SkipWithError("decode failed");
        out.resize(n - pads);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}

} // namespace

BENCHMARK(BM_ZovMd5)->Apply(sizes);
BENCHMARK(BM_OpenSslMd5)->Apply(sizes);
BENCHMARK(BM_ZovBase64Encode)->Apply(sizes);
BENCHMARK(BM_OpenSslBase64Encode)->Apply(sizes);
BENCHMARK(BM_ZovBase64Decode)->Apply(sizes);
BENCHMARK(BM_OpenSslBase64Decode)->Apply(sizes);
