#include "tool/output.h"

#include <sys/stat.h>

#include <cstdio>

#include "tool/volume.h"

const char kCannotOpenMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x83\x49\x81\x5b\x83\x76\x83\x93\x82\xc5\x82\xab\x82"
    "\xdc"
    "\x82\xb9\x82\xf1\n";
const char kRecognisedMessage[] =
    "DISK 1"
    "\x82\xf0\x94\x46\x8e\xaf\x82\xb5\x82\xdc\x82\xb5\x82\xbd"
    ".\n";
const char kWriteFailureMessage[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82"
    "\xf1"
    ". \n";

bool CreateOutputFile(const char* name) {
  outputFile = fopen(name, "wb");
  return outputFile != nullptr;
}

bool WriteOutputFile(const uint8_t* data, int length) {
  if (length > 0) {
    fwrite(data, 1, static_cast<size_t>(length), outputFile);
  }
  return ferror(outputFile) == 0;
}

bool CloseOutputFile() {
  const bool hadError = ferror(outputFile) != 0;
  const bool closed = fclose(outputFile) == 0;
  outputFile = nullptr;
  return closed && !hadError;
}

void ReportWriteFailure() {
  if (outputFile != nullptr) {
    fclose(outputFile);
    outputFile = nullptr;
  }
  fputs(kWriteFailureMessage, stderr);
}

bool OutputIsImage(const char* name) {
  struct stat image;
  struct stat target;
  if (diskImage.file == nullptr || fstat(fileno(diskImage.file), &image) != 0 ||
      stat(name, &target) != 0) {
    return false;
  }
  return image.st_dev == target.st_dev && image.st_ino == target.st_ino;
}

void ReportImageInTheWay(const char* name) {
  fprintf(stderr, "image file would be overwritten, not written: %s\n", name);
}
