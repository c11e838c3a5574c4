// Exif reductions per second over the Exif blocks of the camera corpus, in memory as the JPEG
// rewriter does them.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "exif/reduce_exif.h"
#include "log/log_sink.h"
#include "support/corpus.h"
#include "support/exif_builder.h"
#include "support/temp_dir.h"

namespace {

using keelpack::test::Bytes;

class SilentBox : public keelpack::LogBox {
 public:
  void AppendLine(std::string_view, bool) override {}
  void Clear() override {}
};

const std::vector<Bytes>& CorpusExifBlocks() {
  static const std::vector<Bytes> blocks = [] {
    std::vector<Bytes> found;
    for (const std::string& file : keelpack::test::CorpusFiles()) {
      const Bytes jpeg = keelpack::test::ReadFile(file);
      if (const auto segment = keelpack::test::FindExifSegment(jpeg)) {
        found.push_back(keelpack::test::SegmentPayload(jpeg, *segment));
      }
    }
    return found;
  }();
  return blocks;
}

bool HaveCorpus(benchmark::State& state) {
  if (!CorpusExifBlocks().empty()) return true;
  const std::string message = "no camera corpus at " + keelpack::test::CorpusFolder();
  state.SkipWithError(message.c_str());
  return false;
}

void CountReductions(benchmark::State& state) {
  const auto reductions = static_cast<double>(state.iterations() * CorpusExifBlocks().size());
  state.counters["reductions/s"] = benchmark::Counter(reductions, benchmark::Counter::kIsRate);
  state.counters["blocks"] = static_cast<double>(CorpusExifBlocks().size());
}

void ReduceInMemory(benchmark::State& state) {
  if (!HaveCorpus(state)) return;
  SilentBox box;
  keelpack::LogSink log(box);
  std::vector<uint8_t> reduced;
  int usefulTags = 0;
  for (auto _ : state) {
    for (const Bytes& block : CorpusExifBlocks()) {
      benchmark::DoNotOptimize(
          keelpack::ReduceExifBlock(log, false, block, reduced, usefulTags, "exif.bin"));
    }
  }
  CountReductions(state);
}

BENCHMARK(ReduceInMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
