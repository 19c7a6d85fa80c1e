// make_catalog OUTPUT [INPUT]: builds a message catalog from lines "set number text"
// (C escapes \n \t \\ in the text) read from INPUT or the standard input.
#include "catalog_writer.h"

#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: make_catalog output [input]\n";
    return 2;
  }
  std::ifstream file;
  if (argc == 3) {
    file.open(argv[2]);
    if (!file) {
      std::cerr << "make_catalog: cannot read " << argv[2] << "\n";
      return 1;
    }
  }
  std::istream& in = argc == 3 ? file : std::cin;
  std::vector<catalog_writer::message> messages;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    catalog_writer::message m;
    if (!catalog_writer::parse_line(line, &m)) {
      std::cerr << "make_catalog: line " << n << " is not \"set number text\"\n";
      return 1;
    }
    messages.push_back(m);
  }
  if (!catalog_writer::write(argv[1], messages)) {
    std::cerr << "make_catalog: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
