#include "tool/stages.h"

int main(int argc, char** argv) {
  return RunD88Cut(argc, argv);
}
