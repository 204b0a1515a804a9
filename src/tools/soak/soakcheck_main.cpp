// soakcheck: the items a client read (the output of `opcprobe dump`) against the simulator's
// truth (the file corvidsim writes). Prints every mismatch, then one line
// "compared N mismatches M"; exit code 0 when there are none, 1 when there are, 2 on bad input.
//
//   soakcheck TRUTH.json DUMP.txt
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tools/corvidsim/truth/truth.h"
#include "tools/soak/itemcheck.h"

int main(int argc, char** argv) {
  using namespace corvid;
  if (argc != 3) {
    std::fputs("usage: soakcheck TRUTH.json DUMP.txt\n", stderr);
    return 2;
  }
  try {
    const sim::SimTruth truth = sim::LoadTruthFile(argv[1]);
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "soakcheck: не удалось открыть %s\n", argv[2]);
      return 2;
    }
    const std::string dump((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const soak::CheckResult result = soak::CheckItems(truth, soak::ParseDump(dump));
    for (const soak::Mismatch& m : result.Mismatches) {
      std::printf("mismatch\t%s\t%s\n", m.Item.c_str(), m.What.c_str());
    }
    std::printf("compared %zu mismatches %zu\n", result.Compared, result.Mismatches.size());
    return result.Mismatches.empty() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "soakcheck: %s\n", e.what());
    return 2;
  }
}
