// Images for d88info, one for each verdict and one for each kind of oddity,
// with the report d88info gives on each. The tests run d88info and d88cut on
// every one of them; the fuzzers take them as seeds.
#ifndef TESTING_INFO_CASES_H_
#define TESTING_INFO_CASES_H_

#include <string>
#include <vector>

#include "testing/d88_writer.h"

struct InfoCase {
  std::string name;  // what the image shows; also its seed's file name
  Bytes image;
  std::string verdict;  // VerdictName's word, which decides what d88cut does
  int status;           // d88info's exit status
  std::string report;   // d88info's whole standard output
};

const std::vector<InfoCase>& InfoCases();

// The SHA-1 of `bytes` in lowercase hex, as d88info's reports give it.
std::string Sha1Hex(const Bytes& bytes);

#endif  // TESTING_INFO_CASES_H_
