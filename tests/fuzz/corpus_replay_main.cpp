// Runs every input of the kept corpus once through the fuzz target's checks,
// for builds without libFuzzer (gcc's). Arguments are files or folders of
// inputs. A failed check aborts the program, and the input's name, printed
// before it runs, says which one failed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const fs::path& path) {
  if (!fs::is_directory(path)) return {path};
  std::vector<fs::path> inputs;
  for (const auto& entry : fs::directory_iterator(path)) {
    if (entry.is_regular_file()) inputs.push_back(entry.path());
  }
  // One order on every machine, so that a failure repeats as it was.
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

bool Replay(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  const std::vector<char> bytes{std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>()};
  // An exact-size heap copy, as libFuzzer passes it: ASan flags a read of a
  // single byte past its end.
  const auto data = std::make_unique<std::uint8_t[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), data.get());
  std::fprintf(stderr, "input %s\n", path.c_str());
  LLVMFuzzerTestOneInput(data.get(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t nInputs = 0;
  for (int i = 1; i < argc; ++i) {
    for (const fs::path& input : InputsOf(argv[i])) {
      if (!Replay(input)) {
        std::fprintf(stderr, "cannot read %s\n", input.c_str());
        return 1;
      }
      ++nInputs;
    }
  }
  std::printf("%zu inputs replayed\n", nInputs);
  // No input at all is a wrong path, not a pass.
  return nInputs == 0 ? 1 : 0;
}
