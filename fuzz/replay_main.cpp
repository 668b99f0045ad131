// Replays saved fuzz inputs through a target without libFuzzer, so that any compiler and any
// build (release, ASan + UBSan) can check the corpus and the kept crash cases. Every argument
// is a folder (each regular file in it, in name order) or a single file; a folder that does
// not exist is skipped. A failing input stops the run inside the target (abort).
#include "fuzz.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::vector<std::uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::size_t replayed = 0;
    for (int a = 1; a < argc; ++a) {
        const fs::path where(argv[a]);
        std::vector<fs::path> files;
        std::error_code error;
        if (fs::is_directory(where, error)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(where))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(where, error)) {
            files.push_back(where);
        } else {
            std::printf("%s: not there, skipped\n", argv[a]);
            continue;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            const std::vector<std::uint8_t> bytes = read_file(file);
            std::printf("%s\n", file.c_str());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %zu inputs\n", replayed);
    // A run that found nothing to replay points at a wrong folder, not at a healthy target.
    return replayed == 0 ? 1 : 0;
}
