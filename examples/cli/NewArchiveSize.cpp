#include "cli/NewArchiveSize.h"

#include <system_error>

namespace cli {

namespace fs = std::filesystem;

namespace {

bool IsTemporaryName(const fs::path& path) {
    // Native text: a neighbour's name need not fit the ANSI code page.
    const fs::path name = path.filename();
    const fs::path::string_type& text = name.native();
    const fs::path::string_type head = fs::path(".parcelon.").native();
    const fs::path::string_type tail = fs::path(".tmp").native();
    return text.size() > head.size() + tail.size() && text.compare(0, head.size(), head) == 0 &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

NewArchiveSize::NewArchiveSize(const fs::path& archive)
    : folder_(archive.has_parent_path() ? archive.parent_path() : fs::path(".")),
      // File times may be coarser than the clock's: allow two seconds.
      started_(fs::file_time_type::clock::now() - std::chrono::seconds(2)),
      last_search_(std::chrono::steady_clock::now() - std::chrono::seconds(1)) {}

// The newest temporary file written since this run began: another run's
// leftover is older, and one running beside it in the same folder at the
// same moment would at worst lend its size.
fs::path NewArchiveSize::Find() const {
    std::error_code ec;
    fs::path newest;
    fs::file_time_type newest_time = started_;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        if (!IsTemporaryName(it->path())) continue;
        std::error_code time_error;
        const fs::file_time_type written = it->last_write_time(time_error);
        if (!time_error && written >= newest_time) {
            newest = it->path();
            newest_time = written;
        }
    }
    return newest;
}

std::uint64_t NewArchiveSize::operator()() {
    if (found_.empty()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_search_ < std::chrono::milliseconds(250)) return 0;
        last_search_ = now;
        found_ = Find();
        if (found_.empty()) return 0;
    }

    // Once it has taken the archive's name it is no longer there: its last
    // size stands.
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(found_, ec);
    if (!ec) last_size_ = static_cast<std::uint64_t>(size);
    return last_size_;
}

} // namespace cli
