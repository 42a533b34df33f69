// Recorded times as local time, for the systems whose files carry a calendar
// time: POSIX and Windows.
#include "platform/platform.h"

FileTime ConvertRecordedTime(DosDateTime recorded) {
  struct tm local = {};
  local.tm_sec = (recorded.time & 0x1F) * 2;
  local.tm_min = (recorded.time >> 5) & 0x3F;
  local.tm_hour = recorded.time >> 11;
  local.tm_mday = recorded.date & 0x1F;
  local.tm_mon = ((recorded.date >> 5) & 0x0F) - 1;  // 0-11, or -1 for a recorded month 0
  local.tm_year = (recorded.date >> 9) + 80;         // years since 1900
  local.tm_isdst = -1;  // summer time as the local zone has it on that date
  return FileTime{recorded, mktime(&local)};
}
