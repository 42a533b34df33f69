// Benchmarks of the D88 reader and of the whole command.
//
// - ReadSectors over whole tracks of nine 512-byte and of sixteen 256-byte
//   sectors, each iteration on the next track, as the tool reads them.
// - The command run in-process on the recognised disk with a nearly full
//   volume, and, in the same iterations, on crafted images of at most 2 MiB
//   of the same disk, laid out so that every sector read scans as far as it
//   can. The counter `ratio` is the crafted run's time over the normal one's.
// - d88info run in-process on the normal disk, and on images of at most
//   2 MiB crafted to make its walks cost the most, in turns with d88cut on
//   its own worst crafted image. The counter `ratio` is d88info's time over
//   d88cut's worst.
//
//   build/bench/d88cut_bench [--benchmark_filter=REGEX]
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "bench/bench_disks.h"
#include "d88/d88_image.h"
#include "testing/in_process_run.h"

namespace fs = std::filesystem;

namespace {

constexpr int kTracks = 164;
constexpr char kImageName[] = "disk.d88";

// A private directory under the temporary directory, removed at exit.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = (fs::temp_directory_path() / "d88cut-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      perror("d88cut_bench: mkdtemp");
      exit(1);
    }
    path_ = pattern;
  }
  ~BenchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  BenchFolder(const BenchFolder&) = delete;
  BenchFolder& operator=(const BenchFolder&) = delete;

  // A fresh subdirectory holding `image` as disk.d88.
  std::string FolderWith(const std::string& name, const Bytes& image) {
    const fs::path folder = path_ / name;
    fs::create_directories(folder);
    WriteBytes((folder / kImageName).string(), image);
    return folder.string();
  }

 private:
  fs::path path_;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

// --- The reader's hot path ---

void ReadWholeTracks(benchmark::State& state, int sectors, int n) {
  static std::map<int, std::string> paths;
  std::string& path = paths[sectors * 32 + n];
  if (path.empty()) {
    path = Folder().FolderWith("uniform-" + std::to_string(sectors), UniformImage(sectors, n)) +
           "/" + kImageName;
  }
  D88Image image;
  if (!image.Open(path.c_str()) || !image.SelectDisk(0)) {
    state.SkipWithError("cannot open the image");
    return;
  }
  image.SetSectorRange(1, sectors);
  const int trackBytes = sectors * (128 << n);
  uint8_t buffer[9 * 512];  // the larger of the two tracks
  int track = 0;
  for (auto _ : state) {
    const int got = image.ReadSectors(track, track / 2, track % 2, 1, n, buffer, trackBytes);
    if (got != trackBytes) {
      state.SkipWithError("a track came back short");
      break;
    }
    benchmark::DoNotOptimize(buffer);
    track = (track + 1) % kTracks;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * trackBytes);
}

void BM_ReadSectorsNineSectorTrack(benchmark::State& state) {
  ReadWholeTracks(state, 9, 2);
}
BENCHMARK(BM_ReadSectorsNineSectorTrack);

void BM_ReadSectorsSixteenSectorTrack(benchmark::State& state) {
  ReadWholeTracks(state, 16, 1);
}
BENCHMARK(BM_ReadSectorsSixteenSectorTrack);

// --- The whole command ---

// Runs `d88cut disk.d88` in-process in `folder`, its output thrown away.
int RunTool(const std::string& folder) {
  static FILE* devNull = fopen("/dev/null", "w");
  const int status = devNull == nullptr ? kCannotRunInFolder
                                        : RunToolInProcess(folder.c_str(), kImageName, devNull);
  if (status == kCannotRunInFolder) {
    fprintf(stderr, "d88cut_bench: cannot run in %s\n", folder.c_str());
    exit(1);
  }
  return status;
}

double SecondsOfRun(const std::string& folder) {
  const auto start = std::chrono::steady_clock::now();
  RunTool(folder);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The files a run left in `folder`, the image aside.
std::map<std::string, Bytes> Outputs(const std::string& folder) {
  std::map<std::string, Bytes> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != kImageName) {
      files[name] = ReadBytes(entry.path().string());
    }
  }
  return files;
}

const std::string& NormalFolder() {
  static const std::string folder = Folder().FolderWith("normal", NormalImage());
  return folder;
}

void BM_ToolNormalDisk(benchmark::State& state) {
  const std::string& folder = NormalFolder();
  for (auto _ : state) {
    if (RunTool(folder) != 0) {
      state.SkipWithError("the tool failed on the normal disk");
      break;
    }
  }
}
BENCHMARK(BM_ToolNormalDisk)->Unit(benchmark::kMillisecond);

const CraftedLayout kLayouts[] = {
    {"shared_start", 0, 0, false},
    {"staggered_starts", 2, 0, false},
    {"staggered_reversed_sectors", 2, 0, true},
    {"staggered_256_byte_fillers", 2, 240, false},
    {"staggered_4_KiB_fillers", 2, 4080, false},
};

// The crafted run and the normal run alternate, so that both meet the same
// load on the machine; `ratio` is their total times' quotient.
void BM_CraftedOverNormal(benchmark::State& state) {
  const CraftedLayout& layout = kLayouts[state.range(0)];
  state.SetLabel(layout.name);
  const Bytes image = CraftedImage(layout);
  if (image.size() > kCraftedImageLimit) {
    state.SkipWithError("the crafted image is too large");
    return;
  }
  const std::string crafted = Folder().FolderWith(layout.name, image);
  const std::string& normal = NormalFolder();
  // The crafted disk must make the tool read everything it reads on the
  // normal one.
  RunTool(normal);
  RunTool(crafted);
  if (Outputs(crafted) != Outputs(normal)) {
    state.SkipWithError("the crafted image does not give the normal disk's files");
    return;
  }
  double normalSeconds = 0;
  double craftedSeconds = 0;
  for (auto _ : state) {
    normalSeconds += SecondsOfRun(normal);
    craftedSeconds += SecondsOfRun(crafted);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["normal_ms"] = 1000 * normalSeconds / runs;
  state.counters["crafted_ms"] = 1000 * craftedSeconds / runs;
  state.counters["ratio"] = craftedSeconds / normalSeconds;
  state.counters["image_KiB"] = static_cast<double>(image.size()) / 1024;
}
BENCHMARK(BM_CraftedOverNormal)
    ->DenseRange(0, sizeof kLayouts / sizeof kLayouts[0] - 1)
    ->Unit(benchmark::kMillisecond);

// --- d88info ---

// Runs `d88info [--tracks] disk.d88` in-process in `folder`, its output
// thrown away.
int RunInfo(const std::string& folder, bool tracks) {
  static FILE* devNull = fopen("/dev/null", "w");
  std::vector<std::string> arguments = {kImageName};
  if (tracks) {
    arguments.insert(arguments.begin(), "--tracks");
  }
  const int status = devNull == nullptr
                         ? kCannotRunInFolder
                         : RunInProcess(kD88InfoCommand, arguments, folder.c_str(), devNull);
  if (status == kCannotRunInFolder) {
    fprintf(stderr, "d88cut_bench: cannot run in %s\n", folder.c_str());
    exit(1);
  }
  return status;
}

void BM_InfoNormalDisk(benchmark::State& state) {
  const std::string& folder = NormalFolder();
  for (auto _ : state) {
    if (RunInfo(folder, state.range(0) != 0) != 0) {
      state.SkipWithError("d88info failed on the normal disk");
      break;
    }
  }
}
BENCHMARK(BM_InfoNormalDisk)->Arg(0)->Arg(1)->ArgName("tracks")->Unit(benchmark::kMillisecond);

const InfoCraftedLayout kInfoLayouts[] = {
    {"one_disk_shared_start", 1, 0},
    {"one_disk_staggered_starts", 1, 2},
    {"64_disks_staggered_starts", 64, 2},
};

// d88info on each crafted image and on d88cut's worst, and d88cut on its
// worst, in turns; `ratio` is d88info's time over d88cut's on its worst.
void BM_InfoCraftedOverToolsWorst(benchmark::State& state) {
  const bool tracks = state.range(1) != 0;
  const int index = static_cast<int>(state.range(0));
  const int infoLayouts = static_cast<int>(sizeof kInfoLayouts / sizeof kInfoLayouts[0]);
  Bytes image;
  std::string name;
  if (index < infoLayouts) {
    name = kInfoLayouts[index].name;
    image = InfoCraftedImage(kInfoLayouts[index]);
  } else {
    name = std::string("tools_") + kLayouts[index - infoLayouts].name;
    image = CraftedImage(kLayouts[index - infoLayouts]);
  }
  state.SetLabel(name + (tracks ? " --tracks" : ""));
  if (image.size() > kCraftedImageLimit) {
    state.SkipWithError("the crafted image is too large");
    return;
  }
  const std::string crafted = Folder().FolderWith("info_" + name, image);
  // The tool's worst layout, as BM_CraftedOverNormal measures it: every
  // track at one run of 16-byte fillers.
  const std::string worst = Folder().FolderWith("tools_worst", CraftedImage(kLayouts[0]));
  double infoSeconds = 0;
  double toolSeconds = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    RunInfo(crafted, tracks);
    infoSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    toolSeconds += SecondsOfRun(worst);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["info_ms"] = 1000 * infoSeconds / runs;
  state.counters["tools_worst_ms"] = 1000 * toolSeconds / runs;
  state.counters["ratio"] = infoSeconds / toolSeconds;
  state.counters["image_KiB"] = static_cast<double>(image.size()) / 1024;
}
BENCHMARK(BM_InfoCraftedOverToolsWorst)
    ->ArgsProduct(
        {benchmark::CreateDenseRange(0,
                                     static_cast<int>(sizeof kInfoLayouts / sizeof kInfoLayouts[0] +
                                                      sizeof kLayouts / sizeof kLayouts[0]) -
                                         1,
                                     1),
         {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
