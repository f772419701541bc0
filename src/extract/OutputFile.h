// An entry's output file. The data go to a temporary file in the entry's
// folder and take the entry's name only once they are complete and checked:
// a failed entry leaves nothing behind, and an existing file of that name
// exactly as it was.
#ifndef PARCELON_OUTPUT_FILE_H
#define PARCELON_OUTPUT_FILE_H

#include <string>

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
    UnzipFailure Commit();

private:
    std::wstring target_;
    std::wstring temporary_;
    std::FILE* file_ = nullptr;
};

} // namespace parcelon

#endif // PARCELON_OUTPUT_FILE_H
