#include "extract/OutputFile.h"

#include <algorithm>
#include <cstdio>

namespace parcelon {

namespace {

// The data come in large blocks: written as they come, one system call
// each, not copied through the stream's buffer first.
std::FILE* Unbuffered(std::FILE* file) {
    if (file != nullptr) std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

} // namespace

OutputFile::OutputFile(const std::wstring& target) : target_(target) {
    const platform::TemporaryFile temporary = platform::CreateTemporaryBeside(target);
    file_ = Unbuffered(temporary.file);
    temporary_ = temporary.path;
}

OutputFile::~OutputFile() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    platform::RemoveFile(temporary_);
}

bool OutputFile::Write(const unsigned char* data, std::size_t size) {
    return file_ != nullptr && std::fwrite(data, 1, size, file_) == size;
}

bool OutputFile::Restart() {
    if (file_ == nullptr) return false;
    std::fclose(file_);
    file_ = nullptr;
    platform::RemoveFile(temporary_);
    const platform::TemporaryFile temporary = platform::CreateTemporaryBeside(target_);
    file_ = Unbuffered(temporary.file);
    temporary_ = temporary.path;
    return file_ != nullptr;
}

UnzipFailure OutputFile::CommitAs(const std::wstring& target) {
    if (file_ == nullptr) return UnzipFailure::CannotCreateOutput;
    // Data still buffered reach the file only now.
    const bool closed = platform::CloseFile(file_);
    file_ = nullptr;
    if (!closed) {
        platform::RemoveFile(temporary_);
        return UnzipFailure::CannotWriteOutput;
    }
    if (!platform::MoveIntoPlace(temporary_, target)) {
        platform::RemoveFile(temporary_);
        return UnzipFailure::CannotCreateOutput;
    }
    return UnzipFailure::None;
}

HeldOutput::HeldOutput(std::uint64_t size) { bytes_.reserve(static_cast<std::size_t>(std::min(size, kLimit))); }

bool HeldOutput::Write(const unsigned char* data, std::size_t size) {
    bytes_.insert(bytes_.end(), data, data + size);
    return true;
}

bool HeldOutput::Restart() {
    bytes_.clear();
    return true;
}

UnzipFailure HeldOutput::WriteNew(const std::wstring& target) {
    platform::NewFile outcome = platform::NewFile::Failed;
    std::FILE* file = Unbuffered(platform::CreateNewFile(target, outcome));
    if (outcome == platform::NewFile::Exists) return UnzipFailure::ExistingFileKept;
    if (file == nullptr) return UnzipFailure::CannotCreateOutput;
    const bool written = bytes_.empty() || std::fwrite(bytes_.data(), 1, bytes_.size(), file) == bytes_.size();
    const bool closed = platform::CloseFile(file);
    if (written && closed) return UnzipFailure::None;
    platform::RemoveFile(target);
    return UnzipFailure::CannotWriteOutput;
}

UnzipFailure HeldOutput::Replace(const std::wstring& target) {
    OutputFile output(target);
    if (!output.IsOpen()) return UnzipFailure::CannotCreateOutput;
    if (!bytes_.empty() && !output.Write(bytes_.data(), bytes_.size())) return UnzipFailure::CannotWriteOutput;
    return output.Commit();
}

} // namespace parcelon
