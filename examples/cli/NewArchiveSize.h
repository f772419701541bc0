// How much of a new archive has been written. The library writes it to a
// temporary file beside the archive's path (.parcelon.XXXXXXXX.tmp) and
// gives it the archive's name at the end, so until then the path holds the
// old archive, or nothing: its size says nothing about this run.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace cli {

class NewArchiveSize {
public:
    explicit NewArchiveSize(const std::filesystem::path& archive);

    // The bytes of the temporary file this run writes; 0 until it is found.
    // The folder is searched at most four times a second until then.
    std::uint64_t operator()();

private:
    std::filesystem::path Find() const;

    std::filesystem::path folder_;
    std::filesystem::file_time_type started_;
    std::chrono::steady_clock::time_point last_search_;
    std::filesystem::path found_;
    std::uint64_t last_size_ = 0;
};

} // namespace cli
