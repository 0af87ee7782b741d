// JSON codec speed on a realistic document of a few megabytes (records with
// nested dicts, lists, strings with escapes, integers and fractions), against
// nlohmann::json reading and writing the same text.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <random>
#include <string>

#include "zov_json.h"

namespace {

var make_document() {
    std::mt19937 rng(42);
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    const char* words[] = {"stone", "river", "\"quoted\"", "caf\xC3\xA9", "line\nbreak", "tab\tbed", "sprite_01.png", "boss"};
    var items = var_list();
    for (int i = 0; i < 9000; i++) {
        var item = var_dict();
        item["id"] = var(i);
        item["name"] = var(std::string(words[pick(8)]) + "-" + std::to_string(pick(100000)));
        item["active"] = var(pick(2) == 1);
        item["score"] = var(pick(1000000) / 64.0);
        item["note"] = pick(4) ? var() : var("a longer description of the item, with some text in it");
        var pos = var_dict();
        pos["x"] = var(pick(4096) - 2048);
        pos["y"] = var(pick(4096) / 8.0);
        item["pos"] = pos;
        var tags = var_list();
        for (int n = pick(6); n > 0; n--) list_append(tags, var(words[pick(8)]));
        item["tags"] = tags;
        var frames = var_list();
        for (int n = pick(4); n > 0; n--) {
            var f = var_dict();
            f["x"] = var(pick(512));
            f["y"] = var(pick(512));
            f["w"] = var(1 + pick(64));
            f["h"] = var(1 + pick(64));
            list_append(frames, f);
        }
        item["frames"] = frames;
        list_append(items, item);
    }
    return var_dict(var("items"), items, var("version"), var(3));
}

const std::string& document_text() {
    static const std::string text = json_encode(make_document());
    return text;
}

// Each library writes the tree that its own decoder built from the text.
var decoded_document() {
    var top;
    json_decode(top, document_text().data(), (int)document_text().size());
    return top;
}

void BM_ZovDecode(benchmark::State& state) {
    const std::string& text = document_text();
    for (auto _ : state) {
        var top;
        if (json_decode(top, text.data(), (int)text.size()) != 0) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(top.value);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
    state.counters["doc_MB"] = text.size() / 1e6;
}

void BM_NlohmannDecode(benchmark::State& state) {
    const std::string& text = document_text();
    for (auto _ : state) {
        nlohmann::json j = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(j);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}

void BM_ZovEncode(benchmark::State& state) {
    const var doc = decoded_document();
    size_t bytes = 0;
    for (auto _ : state) {
        std::string text = json_encode(doc);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes);
}

void BM_NlohmannEncode(benchmark::State& state) {
    const nlohmann::json j = nlohmann::json::parse(document_text());
    size_t bytes = 0;
    for (auto _ : state) {
        std::string text = j.dump();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)bytes);
}

} // namespace

BENCHMARK(BM_ZovDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZovEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannEncode)->Unit(benchmark::kMillisecond);
