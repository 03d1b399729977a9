// Text across the Java bridge as standard UTF-8.
//
// JNI's own NewStringUTF/GetStringUTFChars speak "modified UTF-8": NUL becomes two bytes and a
// character outside the Basic Multilingual Plane becomes two three-byte surrogates. These helpers
// go through UTF-16 instead, so every text crosses unchanged. Malformed input (bytes that are not
// UTF-8, lone surrogates) becomes U+FFFD rather than failing.
#pragma once

#include <jni.h>

#include <string>
#include <string_view>

namespace qejni {

// UTF-8 to UTF-16 and back, replacing malformed sequences with U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(const char16_t* text, size_t length);

// A new local Java string holding `utf8`; null (with a Java exception pending) when out of memory.
jstring NewJavaString(JNIEnv* env, std::string_view utf8);

// The UTF-8 text of a Java string; empty for a null reference.
std::string JavaStringToUtf8(JNIEnv* env, jstring text);

}  // namespace qejni
