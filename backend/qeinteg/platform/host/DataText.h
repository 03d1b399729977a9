// Text services the data sources need from the host's code-page layer: whether the host runs in
// UTF-8, the name of its multi-byte code page, and conversion of host text to and from UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qehost::datatext {

// True when the host's code page is UTF-8 (nothing to convert).
bool Utf8Mode();
// The host's code page name as iconv knows it ("UTF-8", "WINDOWS-1252", ...).
std::string DefaultCodePage();
// Test control: sets the host code page (UTF-8 after every reset).
void SetCodePage(const std::string& name);

// Converts host text to UTF-8. Bytes the code page does not define become '?' and make the
// result false; the rest of the text is still converted.
bool ToUtf8(std::string_view host, std::string& utf8);
bool ToUtf8(std::string_view host, std::string& utf8, const std::string& codePage);
// Converts UTF-8 to the host code page; characters it cannot hold become '?' (result false).
bool FromUtf8(std::string_view utf8, std::string& host);

// Convenience forms that ignore conversion errors.
std::string ToUtf8(std::string_view host);
std::string FromUtf8(std::string_view utf8);

}  // namespace qehost::datatext
