// Test control of the host code page.
#pragma once

#include <string>

namespace qehost::testing {

// Sets the host code page ("UTF-8", "windows-1252", "CP932", ...). Returns false, leaving the
// setting unchanged, when iconv cannot convert between it and UTF-8.
bool SetCodePage(const std::string& codePage);

}  // namespace qehost::testing
