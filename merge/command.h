// d88merge, the command: makes one D88 image out of several dumps of the
// same disks, taking each sector from a dump that holds it whole, and says
// what it did.
#ifndef MERGE_COMMAND_H_
#define MERGE_COMMAND_H_

// The whole run: `d88merge [--json] [-f|--force] -o OUTPUT DUMP DUMP...`,
// `d88merge --help` (or -h) or `d88merge --version`. Returns the exit
// status: 0 when OUTPUT was written, whatever is left unrecovered; 1 for a
// usage error, a dump that cannot be opened or read, or OUTPUT refused or
// not written; 2 when a dump is not a D88 image.
int RunD88Merge(int argc, char** argv);

// Returns the readers and the text output to how they were at start-up, so
// that another run can follow in the same process.
void ResetMergeState();

#endif  // MERGE_COMMAND_H_
