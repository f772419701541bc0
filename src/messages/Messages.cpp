#include "messages/Messages.h"

#include <cstdio>

#include "platform/Platform.h"

namespace parcelon {

namespace {

struct Line {
    const char* gbk;
    const char* utf8;
};

// Packing. The GBK bytes are the UTF-8 text beside them, in code page 936.
Line PackLine(PackFailure failure) {
    switch (failure) {
    case PackFailure::CannotCreateArchive:
    case PackFailure::CannotReplaceArchive:
        return {"\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xB4\xB4\xBD\xA8" "zip" "\xCE\xC4\xBC\xFE\xA3\xBA" " ",
                u8"压缩错误：创建zip文件： "};
    case PackFailure::CannotCloseArchive:
        return {"\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xB9\xD8\xB1\xD5" "zip" "\xCE\xC4\xBC\xFE\xA3\xBA" " ",
                u8"压缩错误：关闭zip文件： "};
    case PackFailure::CannotAddFolder:
        return {"\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xCC\xED\xBC\xD3\xCE\xC4\xBC\xFE\xBC\xD0",
                u8"压缩错误：添加文件夹"};
    case PackFailure::CannotAddEntry:
        return {"\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA",
                u8"压缩错误：正在添加："};
    case PackFailure::CannotOpenSource:
        return {"\xCE\xC4\xBC\xFE\xB4\xF2\xBF\xAA\xB4\xED\xCE\xF3\xA3\xBA\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA",
                u8"文件打开错误：正在添加："};
    case PackFailure::CannotWriteEntry:
        return {"\xCE\xC4\xBC\xFE\xD0\xB4\xC8\xEB" "zip" "\xB4\xED\xCE\xF3\xA3\xBA" " "
                "\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA",
                u8"文件写入zip错误： 正在添加："};
    case PackFailure::CannotReadSource:
        return {"\xCE\xC4\xBC\xFE\xB6\xC1\xC8\xA1\xB4\xED\xCE\xF3\xA3\xBA\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA",
                u8"文件读取错误：正在添加："};
    // Passed over without a line, as the class always did; the texts are
    // for the C interface's reports.
    case PackFailure::SourceMissing:
        return {nullptr, u8"文件不存在：正在添加："};
    case PackFailure::SourceUnreadable:
        return {nullptr, u8"文件打开错误：正在添加："};
    case PackFailure::SourceIsArchive:
        return {nullptr, u8"跳过压缩文件自身："};
    case PackFailure::None:
    case PackFailure::CannotRemoveOldArchive: // the old archive stays; nothing is said
        break;
    }
    return {nullptr, nullptr};
}

// Extraction: seven lines for the steps of the walk, and one for the output.
Line UnzipLine(UnzipFailure failure) {
    switch (failure) {
    case UnzipFailure::CannotOpenArchive:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xB4\xF2\xBF\xAA" "zip" "\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC",
                u8"解压错误：打开zip文件失败"};
    case UnzipFailure::CannotReadArchiveInfo:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1" "ZIP"
                "\xCE\xC4\xBC\xFE\xB5\xC4\xC8\xAB\xBE\xD6\xD0\xC5\xCF\xA2",
                u8"解压错误：无法获取ZIP文件的全局信息"};
    case UnzipFailure::CannotFindFirstEntry:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xD7\xAA\xB5\xBD" "ZIP"
                "\xD6\xD0\xB5\xC4\xB5\xDA\xD2\xBB\xB8\xF6\xCE\xC4\xBC\xFE",
                u8"解压错误：无法转到ZIP中的第一个文件"};
    case UnzipFailure::CannotReadEntryInfo:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1\xB5\xB1\xC7\xB0"
                "\xCE\xC4\xBC\xFE\xD0\xC5\xCF\xA2",
                u8"解压错误：无法获取当前文件信息"};
    case UnzipFailure::EntryNameUnsafe:
    case UnzipFailure::FolderEntryHasData:
    case UnzipFailure::DestinationMissing:
    case UnzipFailure::CannotCreateFolder:
    case UnzipFailure::CannotCreateOutput:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xB4\xB4\xBD\xA8\xCA\xE4\xB3\xF6"
                "\xCE\xC4\xBC\xFE",
                u8"解压错误：无法创建输出文件"};
    case UnzipFailure::CannotOpenEntry:
    case UnzipFailure::LocalHeaderMismatch:
    case UnzipFailure::EntryOverlaps:
    case UnzipFailure::UnsupportedMethod:
    case UnzipFailure::UnsupportedEncryption:
    case UnzipFailure::PasswordRequired:
    case UnzipFailure::WrongPassword:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xD4\xDA" "ZIP"
                "\xD6\xD0\xB4\xF2\xBF\xAA\xB5\xB1\xC7\xB0\xCE\xC4\xBC\xFE",
                u8"解压错误：无法在ZIP中打开当前文件"};
    case UnzipFailure::DataCorrupt:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xB6\xC1\xC8\xA1\xCE\xC4\xBC\xFE\xCA\xFD\xBE\xDD"
                "\xCA\xA7\xB0\xDC",
                u8"解压错误：读取文件数据失败"};
    case UnzipFailure::CannotWriteOutput:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xD0\xB4\xC8\xEB\xCA\xE4\xB3\xF6\xCE\xC4\xBC\xFE"
                "\xCA\xA7\xB0\xDC",
                u8"解压错误：写入输出文件失败"};
    case UnzipFailure::LimitExceeded:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xB3\xAC\xB3\xF6\xCF\xDE\xD6\xC6",
                u8"解压错误：超出限制"};
    case UnzipFailure::ExistingFile:
        return {"\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xC4\xBC\xFE\xD2\xD1\xB4\xE6\xD4\xDA",
                u8"解压错误：文件已存在"};
    case UnzipFailure::ExistingFileKept:
        return {"\xBD\xE2\xD1\xB9\xCC\xF8\xB9\xFD\xA3\xBA\xCE\xC4\xBC\xFE\xD2\xD1\xB4\xE6\xD4\xDA",
                u8"解压跳过：文件已存在"};
    case UnzipFailure::Stopped: // a stop is the host's own doing
    case UnzipFailure::None:
        break;
    }
    return {nullptr, nullptr};
}

} // namespace

namespace messages {

// One buffer and one write, so that lines from separate objects on separate
// threads do not interleave within a line.
void WriteLine(const char* text, std::string_view subject) {
    if (text == nullptr) return;
    std::string line(text);
    line += subject;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

const char* Text(PackFailure failure) { return PackLine(failure).gbk; }
const char* Text(UnzipFailure failure) { return UnzipLine(failure).gbk; }
const char* TextUtf8(PackFailure failure) { return PackLine(failure).utf8; }
const char* TextUtf8(UnzipFailure failure) { return UnzipLine(failure).utf8; }

} // namespace messages

void Diagnostics::Report(PackFailure failure, std::wstring_view subject) {
    messages::WriteLine(messages::Text(failure), platform::WideToAnsi(subject));
}

void Diagnostics::Report(UnzipFailure failure, std::wstring_view) {
    messages::WriteLine(messages::Text(failure), {});
}

} // namespace parcelon
