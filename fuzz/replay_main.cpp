// Replays fuzz inputs through a target's LLVMFuzzerTestOneInput without
// libFuzzer, so the seeds and the crash inputs kept as regressions run in
// every build (32-bit, sanitizers, Windows, memcheck), not only under clang.
//   <target>_replay DIR_OR_FILE...
// Each input is handed over in a buffer of exactly its size, as libFuzzer
// does, so a read past its end is one the sanitizers and memcheck see.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path &path) {
    FILE *f = std::fopen(path.string().c_str(), "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "cannot open %s\n", path.string().c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    auto *exact = static_cast<uint8_t *>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (exact == nullptr) return false;
    std::copy(bytes.begin(), bytes.end(), exact);
    std::printf("%s\n", path.filename().string().c_str());
    std::fflush(stdout); // the name stays on screen if the input crashes
    LLVMFuzzerTestOneInput(exact, bytes.size());
    std::free(exact);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        if (fs::is_directory(argv[i], error)) {
            for (const auto &entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file()) inputs.push_back(entry.path());
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs\n");
        return 1;
    }
    int replayed = 0;
    for (const fs::path &path : inputs) {
        if (!replay(path)) return 1;
        ++replayed;
    }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
