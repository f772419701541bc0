// The destination of an extraction, made with its missing parents as
// `unzip -d` makes it, and taken away again when nothing went into it.
#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

namespace cli {

class DestinationFolders {
public:
    explicit DestinationFolders(const std::filesystem::path& destination);
    DestinationFolders(const DestinationFolders&) = delete;
    DestinationFolders& operator=(const DestinationFolders&) = delete;

    // False, with error set, when a folder cannot be made (those made
    // before it are removed).
    bool Make(std::error_code& error);

    // Removes the folders made, innermost first, as long as they are empty.
    void RemoveIfEmpty();

private:
    std::vector<std::filesystem::path> created_; // outermost first
};

} // namespace cli
