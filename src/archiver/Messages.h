// The library's diagnostic lines. The texts are Chinese and go out as GBK
// bytes (code page 936) whatever the platform, because the hosts read their
// standard error in the Chinese console; the English meaning is beside each.
#ifndef PARCELON_MESSAGES_H
#define PARCELON_MESSAGES_H

#include <string>

namespace parcelon::messages {

// 压缩错误：创建zip文件：  (compression error: creating the zip file: )
inline constexpr char kCreateZip[] =
    "\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xB4\xB4\xBD\xA8" "zip" "\xCE\xC4\xBC\xFE\xA3\xBA" " ";
// 压缩错误：关闭zip文件：  (compression error: closing the zip file: )
inline constexpr char kCloseZip[] =
    "\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xB9\xD8\xB1\xD5" "zip" "\xCE\xC4\xBC\xFE\xA3\xBA" " ";
// 压缩错误：添加文件夹  (compression error: adding the folder)
inline constexpr char kAddFolder[] =
    "\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xCC\xED\xBC\xD3\xCE\xC4\xBC\xFE\xBC\xD0";
// 压缩错误：正在添加：  (compression error: while adding: )
inline constexpr char kAddingEntry[] =
    "\xD1\xB9\xCB\xF5\xB4\xED\xCE\xF3\xA3\xBA\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA";
// 文件打开错误：正在添加：  (file open error: while adding: )
inline constexpr char kOpenSource[] =
    "\xCE\xC4\xBC\xFE\xB4\xF2\xBF\xAA\xB4\xED\xCE\xF3\xA3\xBA\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA";
// 文件写入zip错误： 正在添加：  (error writing the file into the zip: while adding: )
inline constexpr char kWriteEntry[] =
    "\xCE\xC4\xBC\xFE\xD0\xB4\xC8\xEB" "zip" "\xB4\xED\xCE\xF3\xA3\xBA" " "
    "\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA";
// 文件读取错误：正在添加：  (file read error: while adding: )
inline constexpr char kReadSource[] =
    "\xCE\xC4\xBC\xFE\xB6\xC1\xC8\xA1\xB4\xED\xCE\xF3\xA3\xBA\xD5\xFD\xD4\xDA\xCC\xED\xBC\xD3\xA3\xBA";

// 解压错误：打开zip文件失败  (extraction error: opening the zip file failed)
inline constexpr char kUnzipOpen[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xB4\xF2\xBF\xAA" "zip" "\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC";
// 解压错误：无法获取ZIP文件的全局信息  (cannot get the global information of the ZIP file)
inline constexpr char kUnzipGlobalInfo[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1" "ZIP"
    "\xCE\xC4\xBC\xFE\xB5\xC4\xC8\xAB\xBE\xD6\xD0\xC5\xCF\xA2";
// 解压错误：无法转到ZIP中的第一个文件  (cannot go to the first file in the ZIP)
inline constexpr char kUnzipFirstFile[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xD7\xAA\xB5\xBD" "ZIP"
    "\xD6\xD0\xB5\xC4\xB5\xDA\xD2\xBB\xB8\xF6\xCE\xC4\xBC\xFE";
// 解压错误：无法获取当前文件信息  (cannot get the information of the current file)
inline constexpr char kUnzipFileInfo[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1\xB5\xB1\xC7\xB0"
    "\xCE\xC4\xBC\xFE\xD0\xC5\xCF\xA2";
// 解压错误：无法创建输出文件  (cannot create the output file)
inline constexpr char kUnzipCreateOutput[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xB4\xB4\xBD\xA8\xCA\xE4\xB3\xF6"
    "\xCE\xC4\xBC\xFE";
// 解压错误：无法在ZIP中打开当前文件  (cannot open the current file in the ZIP)
inline constexpr char kUnzipOpenEntry[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xCE\xDE\xB7\xA8\xD4\xDA" "ZIP"
    "\xD6\xD0\xB4\xF2\xBF\xAA\xB5\xB1\xC7\xB0\xCE\xC4\xBC\xFE";
// 解压错误：读取文件数据失败  (reading the file data failed)
inline constexpr char kUnzipReadData[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xB6\xC1\xC8\xA1\xCE\xC4\xBC\xFE\xCA\xFD\xBE\xDD"
    "\xCA\xA7\xB0\xDC";
// 解压错误：写入输出文件失败  (writing the output file failed)
inline constexpr char kUnzipWriteOutput[] =
    "\xBD\xE2\xD1\xB9\xB4\xED\xCE\xF3\xA3\xBA\xD0\xB4\xC8\xEB\xCA\xE4\xB3\xF6\xCE\xC4\xBC\xFE"
    "\xCA\xA7\xB0\xDC";

// Writes one line to the standard error stream: text, then subject (the
// ANSI path or name the message concerns, possibly empty), a line end and a
// flush.
void Report(const char* text, const std::string& subject = std::string());

} // namespace parcelon::messages

#endif // PARCELON_MESSAGES_H
