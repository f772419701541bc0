// UTF-8, the encoding of names an archive flags as Unicode (general-purpose
// bit 11) and of the Info-ZIP Unicode Path extra field.
#ifndef PARCELON_UTF8_H
#define PARCELON_UTF8_H

#include <string>
#include <string_view>

namespace parcelon {

// Appends the UTF-8 bytes of one code point (up to U+10FFFF) to out.
void AppendUtf8(char32_t code, std::string& out);

// Wide text as UTF-8. Code units U+DC80..U+DCFF, which stand for bytes that
// did not decode (see platform::AnsiToWide), come out as those bytes; any
// other unpaired surrogate as U+FFFD.
std::string WideToUtf8(std::wstring_view text);

// UTF-8 as wide text. A byte that starts no valid sequence (a stray
// continuation, a truncated or overlong sequence, a surrogate, a value past
// U+10FFFF) becomes U+DC80..U+DCFF, as undecodable bytes do everywhere in
// the library.
std::wstring Utf8ToWide(std::string_view text);

} // namespace parcelon

#endif // PARCELON_UTF8_H
