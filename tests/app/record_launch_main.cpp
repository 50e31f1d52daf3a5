// A small program for the tests that start programs: it writes its arguments, one a line, to
// "launch-record.txt" in its current folder (through a temporary name, so that a reader never
// sees a part of it) and ends.
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    text += argv[i];
    text += '\n';
  }
  std::FILE* f = std::fopen("launch-record.txt.part", "wb");
  if (!f) return 1;
  const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  if (std::fclose(f) != 0 || !written) return 1;
  return std::rename("launch-record.txt.part", "launch-record.txt") == 0 ? 0 : 1;
}
