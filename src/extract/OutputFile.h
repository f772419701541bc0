// An entry's output file. The data go to a temporary file in the entry's
// folder and take the entry's name only once they are complete and checked:
// a failed entry leaves nothing behind, and an existing file of that name
// exactly as it was.
#ifndef PARCELON_OUTPUT_FILE_H
#define PARCELON_OUTPUT_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "extract/EntryData.h"
#include "messages/Failures.h"
#include "platform/Platform.h"

namespace parcelon {

class OutputFile : public EntrySink {
public:
    // Prepares the output for the file at target; IsOpen() says whether the
    // temporary file could be made.
    explicit OutputFile(const std::wstring& target);
    // Removes the temporary file unless it was committed.
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    bool Write(const unsigned char* data, std::size_t size) override;

    bool Restart() override;

    // Closes the file and gives it the target's name: None, or
    // CannotWriteOutput when buffered data could not be written, or
    // CannotCreateOutput when it cannot take the target's place.
    UnzipFailure Commit() { return CommitAs(target_); }
    // The same, into the place of another file (in the same file system).
    UnzipFailure CommitAs(const std::wstring& target);

private:
    std::wstring target_;
    std::wstring temporary_;
    std::FILE* file_ = nullptr;
};

// An entry small enough to be held whole (most are): decoded and checked in
// memory, then written at once, into a new file of its name where nothing
// stands (one file made, nothing to move), or through an OutputFile where a
// file stands that it is to replace. A write that fails removes what it
// made: a failed entry leaves nothing, and an existing file as it was.
class HeldOutput final : public EntrySink {
public:
    // Entries up to this size are held; larger ones go to an OutputFile as
    // they are decoded.
    static constexpr std::uint64_t kLimit = 256 * 1024;

    explicit HeldOutput(std::uint64_t size);
    bool Write(const unsigned char* data, std::size_t size) override;
    bool Restart() override;

    // Writes the bytes into a new file at target: None; ExistingFileKept
    // when something stands there already (nothing is written: the caller
    // decides); CannotCreateOutput or CannotWriteOutput.
    UnzipFailure WriteNew(const std::wstring& target);
    // Writes them in the place of the file at target, as OutputFile does.
    UnzipFailure Replace(const std::wstring& target);

private:
    std::vector<unsigned char> bytes_;
};

} // namespace parcelon

#endif // PARCELON_OUTPUT_FILE_H
