#include "extract/UnzipFile.h"

#include "extract/Extraction.h"

namespace parcelon {

bool UnzipFile(const std::wstring& zip_path, const std::wstring& dest_dir, const char* password,
               Diagnostics& diagnostics) {
    // Every entry, the first failure ends it, nothing followed or stopped.
    const ExtractOptions every_entry;
    return ExtractArchive(zip_path, dest_dir, password, every_entry, nullptr, diagnostics);
}

} // namespace parcelon
