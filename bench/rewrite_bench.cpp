// Rewriting throughput over the camera corpus, beside a plain read-and-write copy of the same
// files in the same run; and the thorough scan's time against the length of its data.
//
//   build/bin/rewrite_bench                       all of it
//   build/bin/rewrite_bench --benchmark_filter=Corpus
#include <benchmark/benchmark.h>

#include <cerrno>
#include <memory>
#include <random>

#include "jobs/rewrite_file.h"
#include "jpeg/markers.h"
#include "log/log_sink.h"
#include "platform/file.h"
#include "platform/files.h"
#include "settings/option_set.h"
#include "support/corpus.h"
#include "support/jpeg_builder.h"
#include "support/temp_dir.h"

namespace keelpack {
namespace {

class DiscardingLogBox : public LogBox {
 public:
  void AppendLine(std::string_view, bool) override {}
  void Clear() override {}
};

// One rewrite from file to file, as a file job makes it.
Result<RewriteVerdict> RewriteBetween(LogSink& log, const std::string& in, const std::string& out,
                                      ExifChoice exifMode, bool quickScan) {
  platform::File source, target;
  platform::File::Status status;
  if (!source.OpenForReading(in) || !target.Create(out)) return Failure::System(ENOENT);
  return RewriteFile({.exif = exifMode, .quickScan = quickScan}, source, target, in, log, status)
      .result;
}

// The corpus copied once into a temporary folder, so that every benchmark reads the same
// files from the page cache.
struct StagedCorpus {
  test::TempDir dir;
  std::unique_ptr<test::ScopedEnv> cache;
  std::vector<std::string> files;
  int64_t bytes = 0;

  static StagedCorpus& Get() {
    static StagedCorpus staged;
    return staged;
  }

 private:
  StagedCorpus() : cache(std::make_unique<test::ScopedEnv>("XDG_CACHE_HOME", dir.File("cache"))) {
    int n = 0;
    for (const std::string& file : test::CorpusFiles()) {
      std::string copy = dir.File("in" + std::to_string(n++) + ".jpg");
      test::Bytes content = test::ReadFile(file);
      test::WriteFile(copy, content);
      files.push_back(copy);
      bytes += static_cast<int64_t>(content.size());
    }
  }
};

void CorpusCopy(benchmark::State& state) {
  StagedCorpus& corpus = StagedCorpus::Get();
  if (corpus.files.empty()) return state.SkipWithError("no camera corpus");
  const std::string out = corpus.dir.File("out.jpg");
  std::vector<uint8_t> data;
  for (auto _ : state) {
    for (const std::string& file : corpus.files) {
      (void)platform::ReadWholeFile(file, data);
      (void)platform::WriteWholeFile(out, data);
    }
  }
  state.SetBytesProcessed(state.iterations() * corpus.bytes);
}

void CorpusRewrite(benchmark::State& state) {
  StagedCorpus& corpus = StagedCorpus::Get();
  if (corpus.files.empty()) return state.SkipWithError("no camera corpus");
  const bool quickScan = state.range(0) == 1;
  const auto exifMode = static_cast<ExifChoice>(state.range(1));
  const std::string out = corpus.dir.File("out.jpg");
  DiscardingLogBox box;
  LogSink log(box);
  for (auto _ : state) {
    for (const std::string& file : corpus.files) {
      benchmark::DoNotOptimize(RewriteBetween(log, file, out, exifMode, quickScan));
    }
  }
  state.SetBytesProcessed(state.iterations() * corpus.bytes);
  state.SetLabel(std::string(quickScan ? "quick" : "thorough") + " scan, exif mode " +
                 std::to_string(state.range(1)));
}

// A picture whose entropy data holds no 0xFF at all: the longest possible stretch for the
// thorough scan to search.
void ThoroughScanWithoutStuffedBytes(benchmark::State& state) {
  const size_t mebibytes = static_cast<size_t>(state.range(0));
  test::TempDir dir;
  std::mt19937 random(1);
  test::Bytes entropy(mebibytes << 20);
  for (auto& byte : entropy) byte = static_cast<uint8_t>(random() % 0xFF);
  const std::string in = dir.File("in.jpg");
  const std::string out = dir.File("out.jpg");
  test::WriteFile(in, test::JpegBuilder().Soi().Sof0().Sos().Entropy(entropy).Eoi().bytes());
  DiscardingLogBox box;
  LogSink log(box);
  for (auto _ : state) {
    benchmark::DoNotOptimize(RewriteBetween(log, in, out, ExifChoice::kDelete, false));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(entropy.size()));
  state.SetComplexityN(static_cast<int64_t>(entropy.size()));
}

BENCHMARK(CorpusCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(CorpusRewrite)
    ->ArgsProduct({{1, 0},
                   {static_cast<int64_t>(ExifChoice::kDelete),
                    static_cast<int64_t>(ExifChoice::kReduce)}})
    ->ArgNames({"quick", "exif"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ThoroughScanWithoutStuffedBytes)
    ->Arg(16)
    ->Arg(32)
    ->Arg(64)
    ->ArgName("MiB")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

}  // namespace
}  // namespace keelpack

BENCHMARK_MAIN();
