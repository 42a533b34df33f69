// d88info, the command: says what a D88 image holds and whether d88cut
// takes it, and never writes a file.
#ifndef INFO_COMMAND_H_
#define INFO_COMMAND_H_

// The whole run: `d88info [--tracks] IMAGE`, `d88info --help` (or -h) or
// `d88info --version`. Returns the exit status: 0 when the image reads as
// D88, whatever the verdict; 1 when it cannot be opened, a read of it fails
// (the report stops there), the command line is wrong or the report cannot
// be written; 2 when it is not a D88 image.
int RunD88Info(int argc, char** argv);

// Returns the reader and the text output to how they were at start-up, so
// that another run can follow in the same process.
void ResetInfoState();

#endif  // INFO_COMMAND_H_
