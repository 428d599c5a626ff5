// Loading speed: 39 data files of 199,999 pairs (about 200 MB of text), read
// into the history table, against a plain strtod-per-number reader.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "history_reader.h"
#include "history_table.h"

namespace {

constexpr int file_count = 39;
constexpr int pairs_per_file = 199'999;

struct data_files {
  std::string dir;
  std::vector<std::string> names;
  std::size_t bytes = 0;
};

// Files in the form engineers export: times and amplitudes in exponent form.
const data_files& full_size_files() {
  static data_files files = [] {
    data_files made;
    char pattern[] = "/tmp/tavrelle-load-bench-XXXXXX";
    made.dir = ::mkdtemp(pattern);
    std::string text;
    char line[96];
    for (int f = 0; f < file_count; ++f) {
      text.clear();
      for (int j = 0; j < pairs_per_file; ++j) {
        const double t = j * 1e-4;
        const double a = 40.0 * std::exp(-t * (1 + f % 5)) * std::sin(t * (300.0 + 17 * f));
        std::snprintf(line, sizeof line, " %.5e  %.5e \r\n", t, a);
        text += line;
      }
      const std::string name = made.dir + "/h" + std::to_string(f) + ".txt";
      std::FILE* out = std::fopen(name.c_str(), "wb");
      std::fwrite(text.data(), 1, text.size(), out);
      std::fclose(out);
      made.names.push_back(name);
      made.bytes += text.size();
    }
    return made;
  }();
  return files;
}

void BM_load_39_full_files(benchmark::State& state) {
  const data_files& files = full_size_files();
  for (auto _ : state) {
    for (int f = 0; f < file_count; ++f) {
      const int fd = ::open(files.names[static_cast<std::size_t>(f)].c_str(), O_RDONLY);
      int pairs = 0;
      read_data_file(fd, f, pairs);
      ::close(fd);
      benchmark::DoNotOptimize(pairs);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(files.bytes));
}
BENCHMARK(BM_load_39_full_files)->Unit(benchmark::kMillisecond)->UseRealTime();

// For comparison: the whole file in memory, one strtod per number.
void BM_strtod_reader_39_full_files(benchmark::State& state) {
  const data_files& files = full_size_files();
  std::string text;
  for (auto _ : state) {
    for (int f = 0; f < file_count; ++f) {
      std::FILE* in = std::fopen(files.names[static_cast<std::size_t>(f)].c_str(), "rb");
      text.resize(16 << 20);
      text.resize(std::fread(text.data(), 1, text.size(), in));
      std::fclose(in);
      const char* p = text.c_str();
      double sum = 0.0;
      for (;;) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p) break;
        sum += v;
        p = end;
      }
      benchmark::DoNotOptimize(sum);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(files.bytes));
}
BENCHMARK(BM_strtod_reader_39_full_files)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(full_size_files().dir);
  return 0;
}
