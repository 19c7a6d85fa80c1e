// zav-gencat [--code-page 850] CATALOG SOURCE...: compiles message source files
// into CATALOG, keeping the messages an existing CATALOG already holds unless a
// source replaces or deletes them. "-" reads a source from the standard input or
// writes the catalog to the standard output.
#include "gencat.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* program = "zav-gencat";

int usage() {
  std::cerr << "usage: " << program << " [--code-page 850] catalog source...\n";
  return 2;
}

bool read_file(const std::string& name, std::string* out) {
  if (name == "-") {
    std::ostringstream text;
    text << std::cin.rdbuf();
    *out = text.str();
    return !std::cin.bad();
  }
  std::ifstream file(name, std::ios::binary);
  if (!file) return false;
  out->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

bool write_file(const std::string& name, const std::vector<unsigned char>& bytes) {
  const char* data = reinterpret_cast<const char*>(bytes.data());
  auto size = static_cast<std::streamsize>(bytes.size());
  if (name == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::cout.write(data, size);
    return static_cast<bool>(std::cout.flush());
  }
  std::ofstream file(name, std::ios::binary | std::ios::trunc);
  file.write(data, size);
  file.close();
  return static_cast<bool>(file);
}

void cannot(const char* what, const std::string& name) {
  std::cerr << program << ": cannot " << what << " " << name << ": " << std::strerror(errno) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  gencat::encoding texts = gencat::encoding::bytes;
  if (argc > 1 && std::strcmp(argv[1], "--code-page") == 0) {
    if (argc < 3 || std::strcmp(argv[2], "850") != 0) return usage();
    texts = gencat::encoding::code_page_850;
    first = 3;
  }
  if (argc - first < 2) return usage();
  const std::string catalog_name = argv[first];
  gencat::catalog catalog(texts);

  std::string existing;
  if (catalog_name != "-" && read_file(catalog_name, &existing)) {
    std::vector<gencat::message> messages;
    if (!gencat::parse_catalog(std::vector<unsigned char>(existing.begin(), existing.end()), &messages)) {
      std::cerr << program << ": " << catalog_name << " is not a message catalog; nothing written\n";
      return 1;
    }
    catalog.add(messages);
  }

  std::vector<std::string> problems;
  for (int i = first + 1; i < argc; ++i) {
    std::string source;
    if (!read_file(argv[i], &source)) {
      cannot("read", argv[i]);
      return 1;
    }
    catalog.read_source(source, argv[i], &problems);
  }
  if (catalog.set_count() > gencat::max_sets)
    problems.push_back(catalog_name + ": more than " + std::to_string(gencat::max_sets) + " sets");
  for (const auto& problem : problems) std::cerr << problem << "\n";
  if (!problems.empty()) {
    std::cerr << program << ": " << problems.size() << " error(s); " << catalog_name << " not written\n";
    return 1;
  }
  if (!write_file(catalog_name, gencat::build(catalog.messages()))) {
    cannot("write", catalog_name);
    return 1;
  }
  return 0;
}
