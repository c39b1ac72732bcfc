// Printing: how fast text is cut into lines, and how fast a long text becomes
// a PDF document (layout, Pango shaping, cairo output).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

#include "norwin/host/pdf_print_device.h"
#include "norwin/host/print_line.h"
#include "norwin/host/print_text.h"

namespace {

// Prose of 60-odd characters a sentence, paragraphs ended by CR LF.
std::string Prose(size_t bytes) {
  const std::string sentence = "The quick brown fox jumps over the lazy dog near the river bank. ";
  std::string text;
  for (int i = 1; text.size() < bytes; ++i) {
    text += sentence;
    if (i % 5 == 0) text += "\r\n";
  }
  return text;
}

void BM_BreakPrintLine(benchmark::State& state) {
  const std::string text = Prose(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    size_t offset = 0;
    size_t lines = 0;
    for (;;) {
      const norwin::host::PrintLine line =
          norwin::host::BreakPrintLine(std::string_view(text).substr(offset));
      ++lines;
      if (line.consumed == 0) break;
      offset += line.consumed;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_BreakPrintLine)->Arg(64 << 10)->Arg(16 << 20);

void BM_PrintTextToPdf(benchmark::State& state) {
  // About 53 lines of 70 characters a page.
  const std::string text = Prose(static_cast<size_t>(state.range(0)) * 53 * 70);
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("print-bench-" + std::to_string(getpid()) + ".pdf");
  for (auto _ : state) {
    auto device = norwin::host::OpenPdfPrintDevice({.path = path});
    if (!device.ok() || !norwin::host::PrintTextOn(**device, text).ok()) {
      state.SkipWithError("printing failed");
      break;
    }
  }
  std::filesystem::remove(path);
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_PrintTextToPdf)->Arg(1)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace
