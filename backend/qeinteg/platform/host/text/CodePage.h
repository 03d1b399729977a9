// The host's multi-byte code-page services. Host names, labels and paths are held in the host's
// code page (the "generic" form); these functions convert them to and from UTF-8 and scan them
// without mistaking the trail byte of a double-byte character for an ASCII character.
//
// Conversions never throw and never crash on text that is invalid in its code page: they return
// false and the output holds the text converted so far with each undecodable sequence replaced
// by '?'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The name of the host's code page, as iconv knows it ("UTF-8" unless a test changed it).
std::string TAVOMBDefaultCodePage();

// True when the host code page is UTF-8 (then the generic and UTF-8 forms coincide).
bool qUTF8mode();

// A converter between UTF-8 and `codePage`; null or "" means the host code page at the time of
// each conversion. Returns null when iconv does not know the code page. Release it with
// TAVOMBConverterDelete_A. A null converter handle is the host's default converter everywhere.
void* TAVOMBConverterNew_A(const char* codePage);
void TAVOMBConverterDelete_A(void* converter);

// Generic (host code page) text to UTF-8 and back. A null input gives an empty output and true.
bool TAVOMBGenericToU8(const char* in, std::string& out, void* converter);
bool TAVOMBGenericToU8(std::string_view in, std::string& out, void* converter);
bool TAVOMBU8ToGeneric(const char* in, std::string& out, void* converter);
bool TAVOMBU8ToGeneric(std::string_view in, std::string& out, void* converter);

// Bytes taken by the character that starts at `text` in the host code page (1 for the
// terminating zero and for bytes that cannot start a character). Never runs past a zero byte.
int TAVOMBCharLen_A(const char* text);

// Removes trailing blanks in place; returns `text`. Null is returned unchanged.
char* TAVOMBstrtrim_A(char* text);
void TAVOMBstrtrim_A(std::string& text);

// First / last occurrence of the single-byte character `ch` that is a whole character (not the
// trail byte of a double-byte one); null when there is none or text is null.
const char* TAVOMBstrchr_A(const char* text, int ch);
const char* TAVOMBstrrchr_A(const char* text, int ch);

// Replaces every whole-character occurrence of `from` by `to`; returns how many were replaced.
int TAVOMBStringReplaceChar_A(char* text, char from, char to);
int TAVOMBStringReplaceChar_A(std::string& text, char from, char to);

// Compares at most n bytes, ASCII letters case-insensitively (bytes of multi-byte characters are
// compared as they are). <0, 0 or >0 as strncmp. Null sorts before any text.
int TAVOMBstrnccmp_A(const char* a, const char* b, std::size_t n);

