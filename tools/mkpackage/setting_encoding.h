// The encodings of the setting file and the texts it names: the installer reads them as Shift-JIS
// (code page 932) with CR LF line ends, while authors' editors save UTF-8 or UTF-16. Pure
// functions over bytes; reading and writing files is the caller's.
#pragma once

#include <cstddef>
#include <string>

// kUtf8OrShiftJis: without a byte-order mark, valid both as UTF-8 and as Shift-JIS, and the two
// readings differ ("ﾂｱ" in Shift-JIS is "±" in UTF-8): which one the author wrote cannot be told.
enum class TextEncoding { kShiftJis, kUtf8, kUtf8WithBom, kUtf16Le, kUtf16Be, kUtf8OrShiftJis };

// By the byte-order mark; without one, UTF-8 when the bytes are valid UTF-8 holding a character
// of two or more bytes and not valid Shift-JIS too, kUtf8OrShiftJis when they are both;
// otherwise Shift-JIS (plain ASCII included), whether valid or not.
TextEncoding DetectTextEncoding(const std::string& bytes);

// What to tell the author of a file that reads both ways: where the readings part and how to
// choose ("line 3 (0xC2 0xB1) reads one way as UTF-8 and another as Shift-JIS ...").
std::string AmbiguousProblem(const std::string& bytes);

// "UTF-8 with a byte-order mark", for messages.
const char* EncodingName(TextEncoding encoding);

// bytes, in encoding (not kShiftJis), as Shift-JIS text with CR LF line ends (CR LF, a lone LF
// and a lone CR each end a line), without the byte-order mark. False, with shift_jis unchanged,
// when the bytes are not valid in their encoding or hold a character that code page 932 cannot
// hold exactly (best-fit look-alikes are refused); problem then names the line, the character
// and, for the usual look-alikes, the character to write instead ("line 3 holds U+301C ...").
bool ConvertToShiftJis(const std::string& bytes, TextEncoding encoding, std::string& shift_jis,
                       std::string& problem);

// Where bytes stop being Shift-JIS text: the offset of the first byte that begins no valid
// character (a NUL byte included), or npos when every byte is part of one.
size_t FirstNonShiftJisByte(const std::string& bytes);

// The 1-based line of bytes[offset] (lines counted by LF).
size_t LineAt(const std::string& bytes, size_t offset);

// count bytes from at, for messages: "0x85 0x40".
std::string ByteText(const std::string& bytes, size_t at, size_t count);
