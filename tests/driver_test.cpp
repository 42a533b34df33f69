#include <gtest/gtest.h>

#include "tests/test_disk.h"
#include "tests/tool_runner.h"

TEST(DriverTest, Smoke) {
  ScopedTempDir dir;
  TestVolume volume;
  WriteBytes(
      dir.File("disk.d88"),
      BuildImage({MakeRecognisedDisk(volume.bytes, PatternBytes(8192), PatternBytes(16384, 7))}));
  ToolRun run = RunTool({"disk.d88"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "DISK 1\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd.\ncutting ... "
            "MAIN\ncutting ... DEMO\n");
  EXPECT_EQ(ReadBytes(dir.File("MAIN")), PatternBytes(8192));
  EXPECT_EQ(ReadBytes(dir.File("DEMO")), PatternBytes(16384, 7));
}
