// The dynamic value against nlohmann::json on the same work: a dict of 1M
// number-keyed entries (build, read back), a list of 1M numbers (append,
// iterate), and the number text of 1M doubles.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <random>
#include <string>
#include <vector>

#include "zov_var.h"

static const int N = 1000000;

static std::vector<double> random_doubles() {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> d(-1e6, 1e6);
    std::vector<double> out(N);
    for (int i = 0; i < N; i++) out[i] = (i % 2) ? d(rng) : (double)(int)d(rng);
    return out;
}

static void Var_DictBuild(benchmark::State& st) {
    for (auto _ : st) {
        var d = var_dict();
        for (int i = 0; i < N; i++) d[var(i)] = var(i * 0.5);
        benchmark::DoNotOptimize(d.value);
    }
}
static void Json_DictBuild(benchmark::State& st) {
    for (auto _ : st) {
        nlohmann::json j = nlohmann::json::object();
        for (int i = 0; i < N; i++) j[std::to_string(i)] = i * 0.5;
        benchmark::DoNotOptimize(j);
    }
}

static void Var_DictRead(benchmark::State& st) {
    var d = var_dict();
    for (int i = 0; i < N; i++) d[var(i)] = var(i * 0.5);
    for (auto _ : st) {
        double sum = 0;
        for (int i = 0; i < N; i++) sum += (double)d[var(i)];
        benchmark::DoNotOptimize(sum);
    }
}
static void Json_DictRead(benchmark::State& st) {
    nlohmann::json j = nlohmann::json::object();
    for (int i = 0; i < N; i++) j[std::to_string(i)] = i * 0.5;
    for (auto _ : st) {
        double sum = 0;
        for (int i = 0; i < N; i++) sum += j[std::to_string(i)].get<double>();
        benchmark::DoNotOptimize(sum);
    }
}

static void Var_ListAppend(benchmark::State& st) {
    for (auto _ : st) {
        var l = var_list();
        for (int i = 0; i < N; i++) list_append(l, var(i));
        benchmark::DoNotOptimize(l.value);
    }
}
static void Json_ListAppend(benchmark::State& st) {
    for (auto _ : st) {
        nlohmann::json j = nlohmann::json::array();
        for (int i = 0; i < N; i++) j.push_back((double)i);
        benchmark::DoNotOptimize(j);
    }
}

static void Var_ListIterate(benchmark::State& st) {
    var l = var_list();
    for (int i = 0; i < N; i++) list_append(l, var(i));
    for (auto _ : st) {
        double sum = 0;
        var it(l.__iter__());
        var v;
        while (it.__next__(v)) sum += v.__num__();
        benchmark::DoNotOptimize(sum);
    }
}
static void Json_ListIterate(benchmark::State& st) {
    nlohmann::json j = nlohmann::json::array();
    for (int i = 0; i < N; i++) j.push_back((double)i);
    for (auto _ : st) {
        double sum = 0;
        for (const auto& v : j) sum += v.get<double>();
        benchmark::DoNotOptimize(sum);
    }
}

static void Var_NumberText(benchmark::State& st) {
    std::vector<double> xs = random_doubles();
    for (auto _ : st) {
        size_t total = 0;
        for (double x : xs) total += _var_number_to_str(x).size();
        benchmark::DoNotOptimize(total);
    }
}
static void Json_NumberText(benchmark::State& st) {
    std::vector<double> xs = random_doubles();
    for (auto _ : st) {
        size_t total = 0;
        for (double x : xs) total += nlohmann::json(x).dump().size();
        benchmark::DoNotOptimize(total);
    }
}

BENCHMARK(Var_DictBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(Json_DictBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(Var_DictRead)->Unit(benchmark::kMillisecond);
BENCHMARK(Json_DictRead)->Unit(benchmark::kMillisecond);
BENCHMARK(Var_ListAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(Json_ListAppend)->Unit(benchmark::kMillisecond);
BENCHMARK(Var_ListIterate)->Unit(benchmark::kMillisecond);
BENCHMARK(Json_ListIterate)->Unit(benchmark::kMillisecond);
BENCHMARK(Var_NumberText)->Unit(benchmark::kMillisecond);
BENCHMARK(Json_NumberText)->Unit(benchmark::kMillisecond);
