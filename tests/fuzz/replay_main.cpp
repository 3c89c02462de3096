// Replays saved inputs through a fuzz target without libFuzzer: every file named, and every
// file under every folder named (hidden files aside), once. A broken property aborts like under the
// fuzzer.
#include "fuzz_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace {
// The fuzzer's own finds are named by their SHA-1 and stay local (git ignores them); a find
// worth keeping is renamed and committed. Hidden files are not inputs.
bool isSeed(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    if (name.empty() || name[0] == '.') return false;
    return name.size() != 40 ||
           !std::all_of(name.begin(), name.end(), [](char c) { return std::isxdigit(c) != 0; });
}
} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path named(argv[i]);
        if (fs::is_directory(named)) {
            for (const auto& entry : fs::recursive_directory_iterator(named))
                if (entry.is_regular_file() && isSeed(entry.path())) files.push_back(entry.path());
        } else {
            files.push_back(named);
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        std::cerr << "replaying " << file.string() << " (" << bytes.size() << " bytes)\n";
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::cout << "replayed " << files.size() << " inputs\n";
    return files.empty() ? 1 : 0;
}
