// Runs a fuzz target over stored inputs without libFuzzer, so that the ordinary (gcc, sanitizer)
// build checks every committed input: each argument is a file or a folder of files, each file one
// input. Exits non-zero when an argument cannot be read or no input was found; a fault in the
// target is the sanitizer's to report.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        fs::path p(argv[i]);
        if (fs::is_directory(p, ec)) {
            for (const auto& e : fs::recursive_directory_iterator(p, ec))
                if (e.is_regular_file()) inputs.push_back(e.path());
        } else if (fs::is_regular_file(p, ec)) {
            inputs.push_back(p);
        } else {
            std::fprintf(stderr, "%s: cannot read \"%s\"\n", argv[0], argv[i]);
            return 2;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FILE-OR-FOLDER...: no inputs found\n", argv[0]);
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& p : inputs) {
        std::ifstream f(p, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (!f.eof() && f.fail()) {
            std::fprintf(stderr, "%s: cannot read \"%s\"\n", argv[0], p.c_str());
            return 2;
        }
        // An exactly sized heap copy, as libFuzzer gives: a read one byte past the end is caught.
        std::unique_ptr<uint8_t[]> buf(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), buf.get());
        std::fprintf(stderr, "%s\n", p.c_str());
        LLVMFuzzerTestOneInput(buf.get(), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs run\n", inputs.size());
    return 0;
}
