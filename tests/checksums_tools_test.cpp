// The checksums against the system's own tools, sha1sum and Python's zlib,
// on the sample disk and on bytes of every value.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/checksums.h"
#include "testing/info_cases.h"
#include "tests/tool_runner.h"

namespace {

std::string CommandOutput(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr)
    return out;
  char buffer[256];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    out.append(buffer, got);
  pclose(pipe);
  return out;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(ChecksumsAgainstTools, SampleDiskAndEveryByteValue) {
  ScopedTempDir folder;
  std::string every = folder.File("every-byte.bin");
  std::vector<uint8_t> values;
  for (int i = 0; i < 3000; i++)
    values.push_back(static_cast<uint8_t>(i * 7));
  std::ofstream(every, std::ios::binary)
      .write(reinterpret_cast<const char*>(values.data()),
             static_cast<std::streamsize>(values.size()));
  for (const std::string& path : {std::string(D88CUT_SOURCE_DIR) + "/examples/sample.d88", every}) {
    std::vector<uint8_t> bytes = FileBytes(path);
    ASSERT_FALSE(bytes.empty()) << path;
    EXPECT_EQ(CommandOutput("sha1sum < '" + path + "'").substr(0, 40), Sha1Hex(bytes)) << path;

    char crc[16];
    snprintf(crc, sizeof crc, "%u\n", UpdateCrc32(0, bytes.data(), bytes.size()));
    EXPECT_EQ(CommandOutput("python3 -c 'import sys, zlib; print(zlib.crc32(open(sys.argv[1], "
                            "\"rb\").read()))' '" +
                            path + "'"),
              crc)
        << path;
  }
}

// d88info's checksums of the sample image and of every file d88cut writes
// from it, in the JSON and in the text, against sha1sum and Python's zlib.
TEST(ChecksumsAgainstTools, ReportsGiveTheSumsOfTheImageAndOfEachFileWritten) {
  const std::string sample = std::string(D88CUT_SOURCE_DIR) + "/examples/sample.d88";
  ScopedTempDir out;
  ASSERT_EQ(RunTool({sample}, out.path()).status, 0);
  const ToolRun json = RunInfo({"--json", sample}, out.path());
  ASSERT_EQ(json.status, 0) << json.err;
  const ToolRun text = RunInfo({sample}, out.path());
  ASSERT_EQ(text.status, 0) << text.err;
  std::ofstream(out.File("report.json"), std::ios::binary) << json.out;
  std::ofstream(out.File("report.txt"), std::ios::binary) << text.out;
  const std::string check = R"(
import json, os, subprocess, sys, zlib
folder, image = sys.argv[1], sys.argv[2]
def sha1sum(path):
    return subprocess.run(['sha1sum', path], capture_output=True, check=True).stdout.split()[0].decode()
report = json.load(open(os.path.join(folder, 'report.json'), encoding='utf-8'))
text = open(os.path.join(folder, 'report.txt'), encoding='utf-8').read().splitlines()
assert report['sha1'] == sha1sum(image), report['sha1']
assert 'sha1: ' + report['sha1'] in text
assert len(report['outputs']) == 5
for output in report['outputs']:
    path = os.path.join(folder, output['name'])
    assert output['crc32'] == '%08x' % zlib.crc32(open(path, 'rb').read()), output
    assert output['sha1'] == sha1sum(path), output
    line = text.index('  ' + output['name'].ljust(12) + ' ' + str(output['size']).rjust(8) + ' intact')
    assert text[line + 1] == '    crc32 ' + output['crc32'] + ' sha1 ' + output['sha1'], text[line + 1]
print('ok')
)";
  const ToolRun run = RunProgramWithArgv(
      "/usr/bin/env", {"env", "python3", "-c", check, out.path(), sample}, out.path());
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "ok\n");
}

}  // namespace
