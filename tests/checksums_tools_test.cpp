// The checksums against the system's own tools, sha1sum and Python's zlib,
// on the sample disk and on bytes of every value.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/checksums.h"
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
    Sha1 sha;
    StartSha1(&sha);
    AddToSha1(&sha, bytes.data(), bytes.size());
    uint8_t digest[kSha1Bytes];
    FinishSha1(&sha, digest);
    char hex[2 * kSha1Bytes + 1];
    WriteHex(digest, kSha1Bytes, hex);
    EXPECT_EQ(CommandOutput("sha1sum < '" + path + "'").substr(0, 40), hex) << path;

    char crc[16];
    snprintf(crc, sizeof crc, "%u\n", UpdateCrc32(0, bytes.data(), bytes.size()));
    EXPECT_EQ(CommandOutput("python3 -c 'import sys, zlib; print(zlib.crc32(open(sys.argv[1], "
                            "\"rb\").read()))' '" +
                            path + "'"),
              crc)
        << path;
  }
}

}  // namespace
