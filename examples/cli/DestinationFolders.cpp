#include "cli/DestinationFolders.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

// The folders of path that do not exist yet, outermost first.
std::vector<fs::path> MissingFolders(fs::path path) {
    if (!path.has_filename()) path = path.parent_path(); // "out/" is "out"
    std::vector<fs::path> missing;
    std::error_code ec;
    for (; !path.empty() && !fs::exists(path, ec) && !ec; path = path.parent_path()) {
        missing.insert(missing.begin(), path);
        if (path == path.parent_path()) break;
    }
    return missing;
}

} // namespace

DestinationFolders::DestinationFolders(const fs::path& destination) : created_(MissingFolders(destination)) {}

bool DestinationFolders::Make(std::error_code& error) {
    for (std::size_t i = 0; i < created_.size(); ++i) {
        if (!fs::create_directory(created_[i], error) && error) {
            created_.resize(i);
            RemoveIfEmpty();
            return false;
        }
    }
    return true;
}

void DestinationFolders::RemoveIfEmpty() {
    std::error_code ignored;
    for (auto it = created_.rbegin(); it != created_.rend() && fs::remove(*it, ignored); ++it) {
    }
    created_.clear();
}

} // namespace cli
