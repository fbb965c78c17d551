// Runs a fuzz target over files and folders of inputs, so that the seed corpus and every
// crash once found stay regression tests in the normal build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return 1;
}

int main(int argc, char** argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path arg(argv[i]);
        if (std::filesystem::is_directory(arg)) {
            for (auto& entry : std::filesystem::recursive_directory_iterator(arg))
                if (entry.is_regular_file())
                    count += RunFile(entry.path());
        } else {
            count += RunFile(arg);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
