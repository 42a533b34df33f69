#include "common/outputs_report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/checksums.h"
#include "common/json_writer.h"
#include "common/text_output.h"

namespace {

struct ChecksumText {
  char crc32[9];
  char sha1[2 * kSha1Bytes + 1];
};

ChecksumText ChecksumsOf(const OutputHealth& output) {
  ChecksumText text;
  snprintf(text.crc32, sizeof text.crc32, "%08" PRIx32, output.crc32);
  WriteHex(output.sha1, kSha1Bytes, text.sha1);
  return text;
}

}  // namespace

void PrintOutputsSection(const DiskHealth& health) {
  PrintText(stdout, "\noutputs:\n");
  if (health.outputs == 0) {
    PrintText(stdout, "  none\n");
  }
  for (int i = 0; i < health.outputs; ++i) {
    const OutputHealth& output = health.output[i];
    PrintText(stdout, "  ");
    PrintDiskName(stdout, output.name, 12);
    char size[32];
    snprintf(size, sizeof size, " %8d ", static_cast<int>(output.size));
    PrintText(stdout, size);
    if (output.problems == 0) {
      PrintText(stdout, "intact");
    } else {
      PrintText(stdout, "damaged: ");
      const char* comma = "";
      for (int kind = 0; kind < kHealthProblemKinds; ++kind) {
        if (output.problems & (1u << kind)) {
          PrintText(stdout, comma);
          PrintText(stdout, HealthProblemName(kind));
          comma = ", ";
        }
      }
      PrintText(stdout, " (");
      PrintDiskText(stdout, output.details);
      PrintText(stdout, ")");
    }
    PrintText(stdout, output.replaced ? " replaced by a later output\n" : "\n");
    const ChecksumText sums = ChecksumsOf(output);
    char line[96];
    snprintf(line, sizeof line, "    crc32 %s sha1 %s\n", sums.crc32, sums.sha1);
    PrintText(stdout, line);
  }
  if (health.directories > 0) {
    PrintText(stdout, "  subdirectories are not entered: ");
    for (int i = 0; i < health.directories; ++i) {
      PrintText(stdout, i > 0 ? ", " : "");
      PrintDiskName(stdout, health.directoryNames[i], 0);
    }
    PrintText(stdout, "\n");
  }
}

void JsonOutputs(const DiskHealth& health) {
  JsonKey("outputs");
  JsonOpen('[');
  for (int i = 0; i < health.outputs; ++i) {
    const OutputHealth& output = health.output[i];
    JsonOpen('{');
    JsonKey("name");
    JsonShiftJis(output.name);
    JsonKey("name_hex");
    JsonHex(reinterpret_cast<const uint8_t*>(output.name), strlen(output.name));
    JsonKey("size");
    JsonNumber(output.size);
    JsonKey("recorded_size");
    JsonNumber(output.recordedSize);
    JsonKey("health");
    JsonText(output.problems == 0 ? "intact" : "damaged");
    JsonKey("replaced");
    JsonBool(output.replaced);
    JsonKey("problems");
    JsonOpen('[');
    for (int kind = 0; kind < kHealthProblemKinds; ++kind) {
      if (output.problems & (1u << kind)) {
        JsonText(HealthProblemName(kind));
      }
    }
    JsonClose(']');
    JsonKey("details");
    JsonShiftJis(output.details);
    const ChecksumText sums = ChecksumsOf(output);
    JsonKey("crc32");
    JsonText(sums.crc32);
    JsonKey("sha1");
    JsonText(sums.sha1);
    JsonClose('}');
  }
  JsonClose(']');
}

void JsonDirectoriesNotEntered(const DiskHealth& health) {
  JsonKey("directories_not_entered");
  JsonOpen('[');
  for (int i = 0; i < health.directories; ++i) {
    JsonShiftJis(health.directoryNames[i]);
  }
  JsonClose(']');
}
