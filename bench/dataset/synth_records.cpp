// Writes the end-to-end run's synthesised FGDC records (the same templates,
// seed and values as e2e_bench) into a folder, one file each, so that a
// script can import the very same records with several builds of the tool.
//
//   synth_records COUNT FOLDER
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "synth.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atoll(argv[1]) < 1) {
    std::fprintf(stderr, "usage: synth_records COUNT FOLDER\n");
    return 2;
  }
  metashelf::bench::Synthesiser synth;
  const std::filesystem::path corpus = std::filesystem::path(METASHELF_CORPUS_DIR) / "fgdc";
  if (!synth.LoadTemplates(corpus, 4)) {
    std::fprintf(stderr, "synth_records: no usable record in %s\n", corpus.c_str());
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(argv[2], ec);
  // The seed e2e_bench draws its records with.
  if (!synth.Write(argv[2], std::atoll(argv[1]), 20261207)) {
    std::fprintf(stderr, "synth_records: cannot write the records into %s\n", argv[2]);
    return 1;
  }
  return 0;
}
