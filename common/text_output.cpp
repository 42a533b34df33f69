#include "common/text_output.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "platform/platform.h"
#include "platform/shift_jis.h"

namespace {

enum class Sink { kUnknown, kBytes, kTerminal };

// Standard output's and standard error's sinks, each judged on first use.
Sink sinks[2];
// Whether the last text given to standard output (or standard error) left
// its line unfinished.
bool lineUnfinished[2];
// Why a write to standard output first failed; 0 while none has.
SystemError standardOutputError;

int IndexOf(FILE* stream) {
  return stream == stderr ? 1 : 0;
}

Sink SinkOf(FILE* stream) {
  if (stream != stdout && stream != stderr) {
    return Sink::kBytes;
  }
  Sink& sink = sinks[IndexOf(stream)];
  if (sink == Sink::kUnknown) {
    sink = IsTerminal(stream) ? Sink::kTerminal : Sink::kBytes;
  }
  return sink;
}

// Notes how `text` left the line of `stream`, and the reason of the first
// write to standard output that failed, taken at once.
void NoteWritten(FILE* stream, const char* text, size_t length) {
  if (stream != stdout && stream != stderr) {
    return;
  }
  if (length > 0) {
    lineUnfinished[IndexOf(stream)] = text[length - 1] != '\n';
  }
  if (stream == stdout && standardOutputError == 0 && ferror(stream) != 0) {
    standardOutputError = LastFileError();
  }
}

void Emit(FILE* stream, const char* text, size_t length) {
  if (SinkOf(stream) == Sink::kTerminal) {
    WriteToTerminal(stream, text, length);
  } else {
    fwrite(text, 1, length, stream);
  }
  NoteWritten(stream, text, length);
}

bool IsControl(uint32_t codePoint) {
  return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

// Whether the Shift_JIS character at `bytes` decodes to something other than
// a control character. Below 0x80 Shift_JIS is ASCII.
bool IsShowable(const char* bytes, size_t length) {
  const uint8_t first = static_cast<uint8_t>(bytes[0]);
  if (length == 1 && first < 0x80) {
    return !IsControl(first);
  }
  uint32_t codePoint = 0;
  return DecodeShiftJis(bytes, static_cast<int>(length), &codePoint) && !IsControl(codePoint);
}

}  // namespace

void PrintText(FILE* stream, const char* text) {
  Emit(stream, text, strlen(text));
}

namespace {

// Appends `name` to `line`, as the sink shows names, padded with spaces to
// `width` bytes; returns the new length.
size_t AppendDiskName(FILE* stream, char* line, size_t length, size_t capacity, const char* name,
                      size_t width) {
  // Padded in bytes before any conversion: one column a byte for ASCII and
  // half-width kana, two for a two-byte character, so the columns line up on
  // a terminal too.
  if (SinkOf(stream) == Sink::kTerminal) {
    length += ShowableName(name, line + length, capacity - length);
  } else {
    const size_t nameLength = std::min(strlen(name), capacity - 1 - length);
    memcpy(line + length, name, nameLength);
    length += nameLength;
  }
  const size_t end = length + width - std::min(width, strlen(name));
  while (length < end && length < capacity - 1) {
    line[length++] = ' ';
  }
  return length;
}

}  // namespace

void PrintDiskName(FILE* stream, const char* name, int width) {
  char line[64];
  const size_t length =
      AppendDiskName(stream, line, 0, sizeof line, name, static_cast<size_t>(std::max(width, 0)));
  Emit(stream, line, length);
}

void PrintDiskText(FILE* stream, const char* text) {
  char line[2048];
  const size_t length = AppendDiskName(stream, line, 0, sizeof line, text, 0);
  Emit(stream, line, length);
}

void PrintNameMessage(FILE* stream, const char* message, const char* name) {
  char line[256];
  size_t length = std::min(strlen(message), sizeof line - 2);
  memcpy(line, message, length);
  length = AppendDiskName(stream, line, length, sizeof line - 1, name, 0);
  line[length++] = '\n';
  Emit(stream, line, length);
}

void PrintLocalFormatted(FILE* stream, const char* format, ...) {
  char text[8192];
  va_list arguments;
  va_start(arguments, format);
  const int length = vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (length <= 0) {
    return;
  }
  const size_t printed = std::min(static_cast<size_t>(length), sizeof text - 1);
  if (SinkOf(stream) == Sink::kTerminal) {
    WriteLocalToTerminal(stream, text, printed);
  } else {
    fwrite(text, 1, printed, stream);
  }
  NoteWritten(stream, text, printed);
}

bool GoesToTerminal(FILE* stream) {
  return SinkOf(stream) == Sink::kTerminal;
}

const char* PathAsShown(FILE* stream, const char* path, char* shown, size_t capacity) {
  if (SinkOf(stream) != Sink::kTerminal || capacity == 0) {
    return path;
  }
  ShowableArgument(path, shown, capacity);
  return shown;
}

void PrintOpenFailureReason(FILE* stream, const char* path, const char* reason) {
  if (SinkOf(stream) == Sink::kTerminal) {
    char shown[4096];
    PrintLocalFormatted(stream, "d88cut: cannot open '%s': %s\n",
                        PathAsShown(stream, path, shown, sizeof shown), reason);
  }
}

void PrintNotTheDisk(FILE* stream, const char* words, const char* path) {
  if (SinkOf(stream) == Sink::kTerminal) {
    char shown[4096];
    PrintLocalFormatted(stream, "d88cut: not the disk this tool unpacks (%s); try: d88info %s\n",
                        words, PathAsShown(stream, path, shown, sizeof shown));
  }
}

void PrintWriteFailureReason(FILE* stream, const char* name, const char* reason) {
  if (SinkOf(stream) != Sink::kTerminal) {
    return;
  }
  char shown[64];
  const size_t length = ShowableName(name, shown, sizeof shown);
  static const char kStart[] = "d88cut: cannot write '";
  WriteLocalToTerminal(stream, kStart, sizeof kStart - 1);
  WriteToTerminal(stream, shown, length);
  PrintLocalFormatted(stream, "': %s\n", reason);
}

void PrintDamagedOutputs(FILE* stream, const char* const* names, int count, const char* path) {
  if (count <= 0 || SinkOf(stream) != Sink::kTerminal) {
    return;
  }
  constexpr int kNamesShown = 5;
  char start[64];
  const int startLength =
      snprintf(start, sizeof start, "d88cut: %d of the files written may be damaged (", count);
  WriteLocalToTerminal(stream, start, static_cast<size_t>(std::max(startLength, 0)));
  for (int i = 0; i < count && i < kNamesShown; ++i) {
    if (i > 0) {
      WriteToTerminal(stream, ", ", 2);
    }
    char shown[64];
    WriteToTerminal(stream, shown, ShowableName(names[i], shown, sizeof shown));
  }
  char more[32] = "";
  if (count > kNamesShown) {
    snprintf(more, sizeof more, " and %d more", count - kNamesShown);
  }
  char shownPath[4096];
  PrintLocalFormatted(stream, "%s); try: d88info %s\n", more,
                      PathAsShown(stream, path, shownPath, sizeof shownPath));
}

void PrintReadFailure(FILE* stream, const char* program, const char* path, const char* reason) {
  char shown[4096];
  PrintLocalFormatted(stream, "%s: cannot read '%s': %s\n", program,
                      PathAsShown(stream, path, shown, sizeof shown), reason);
}

void EndUnfinishedTerminalLine(FILE* stream) {
  if ((stream == stdout || stream == stderr) && SinkOf(stream) == Sink::kTerminal &&
      lineUnfinished[IndexOf(stream)]) {
    Emit(stream, "\n", 1);
    fflush(stream);
  }
}

bool FinishStandardOutput(SystemError* error) {
  if (fflush(stdout) != 0 && standardOutputError == 0) {
    standardOutputError = LastFileError();
  }
  NoteWritten(stdout, "", 0);
  *error = standardOutputError;
  return standardOutputError == 0 && ferror(stdout) == 0;
}

size_t ShowableName(const char* name, char* out, size_t capacity) {
  if (capacity == 0) {
    return 0;
  }
  size_t used = 0;
  size_t left = strlen(name);
  while (left > 0) {
    const size_t length = ShiftJisCharacterLength(name, left);
    if (used + length >= capacity) {
      break;
    }
    const bool showable = IsShowable(name, length);
    for (size_t i = 0; i < length; ++i) {
      out[used++] = showable ? name[i] : '?';
    }
    name += length;
    left -= length;
  }
  out[used] = '\0';
  return used;
}

size_t ShowableArgument(const char* argument, char* out, size_t capacity) {
  if (capacity == 0) {
    return 0;
  }
  size_t used = 0;
  size_t left = strlen(argument);
  while (left > 0) {
    uint32_t codePoint = 0;
    const size_t length = DecodeLocalCharacter(argument, left, &codePoint);
    const bool showable = length > 0 && !IsControl(codePoint);
    const size_t shownLength = showable ? length : 1;
    if (used + shownLength >= capacity) {
      break;
    }
    if (showable) {
      memcpy(out + used, argument, length);
    } else {
      out[used] = '?';
    }
    used += shownLength;
    const size_t taken = length > 0 ? length : 1;
    argument += taken;
    left -= taken;
  }
  out[used] = '\0';
  return used;
}

void ResetTextOutput() {
  sinks[0] = Sink::kUnknown;
  sinks[1] = Sink::kUnknown;
  lineUnfinished[0] = false;
  lineUnfinished[1] = false;
  standardOutputError = 0;
}
