// Small text, number and path functions used throughout the library. Paths are in the host code
// page ("generic" form) unless a name says UTF-8. None of these functions throws on bad input or
// file-system errors: they report failure by their result.
#pragma once

#include <string>

#include "qeinteg/platform/host/data/HostValues.h"
#include "qeinteg/qeinteg_export.h"

class TAVO_Variable;

// --- Numbers and text -------------------------------------------------------------------------

// The integer at the start of `text` (leading white space allowed); 0 when none can be read or it
// does not fit in an int.
QEINTEG_EXPORT int String2Integer(const std::string& text);
QEINTEG_EXPORT std::string Integer2String(int value);
// The number at the start of `text`; 0 when none can be read. Always "." as decimal point.
QEINTEG_EXPORT double String2Double(const std::string& text);
// Six significant digits, as a default-formatted stream writes them, with "." as decimal point.
QEINTEG_EXPORT std::string Double2String(double value);

// Host code page to UTF-8 and back; null text gives "", a null converter the host's default one.
// Text that is invalid in its code page comes out with '?' in place of the bad bytes.
QEINTEG_EXPORT std::string transcodeToUTF8(const char* text, void* converter = nullptr);
QEINTEG_EXPORT std::string transcodeFromUTF8(const char* text, void* converter = nullptr);

// The text of a case value. length 0: a number, written with 15 significant digits and "." as
// decimal point whatever the locale; length > 0: a string of at most that many bytes (stopping
// at a zero byte), trailing blanks removed; length < 0 or a null value: empty text.
QEINTEG_EXPORT void ConvertObsValToStr(const OBS* value, int length, std::string& text);
// The same for a value of a variable: a string variable gives at most the width of its extended
// display format in bytes, a numeric one the number.
QEINTEG_EXPORT void ConvertObsValToStr(const OBS* value, const TAVO_Variable& variable,
                                       std::string& text);

// The job-language form of a file path: "\" becomes "/", and a path that does not already begin
// with the scheme and ":" (scheme compared case-insensitively) gains scheme + "://" (+ "/" for
// "file"):
// "/tmp/x" with "file" gives "file:////tmp/x".
QEINTEG_EXPORT std::string NormalizeQelPath(const std::string& path, const std::string& scheme);
// The same, in UTF-8.
QEINTEG_EXPORT std::string NormalizeQelPathU(const std::string& path, const std::string& scheme);

// --- Paths ------------------------------------------------------------------------------------

// The part after the last "/" or "\"; directory gets everything up to and including that
// separator (cleared when there is none, and then the whole path is returned).
QEINTEG_EXPORT std::string SeparateFileName(const std::string& path, std::string& directory);
// "\" becomes "/"; with trailing, a non-empty result that does not end in "/" gains one.
QEINTEG_EXPORT std::string FormalizeFilePath(const std::string& path, bool trailing);
// a + "/" + b with exactly one separator between them (b's leading separators are dropped when a
// is not empty).
QEINTEG_EXPORT std::string JoinFilePath(const std::string& a, const std::string& b);

// Creates one directory; true on success. On failure errno tells why (EEXIST when it is there).
QEINTEG_EXPORT bool MakeDir(const std::string& path);
// Removes a directory and everything under it, depth first; symbolic links are removed, never
// followed. True when the directory was removed or did not exist; false for an empty path and
// for the root directory.
QEINTEG_EXPORT bool RemoveDir(const std::string& path);
// Copies the file `source` to `destination` (created or truncated). True when both could be
// opened and the whole content was written.
QEINTEG_EXPORT bool StatCopyFile(const std::string& destination, const std::string& source);
// `path` when nothing exists there; otherwise the first free name with "_1", "_2", ... inserted
// before the extension of the file name (data.csv -> data_1.csv, report -> report_1). The name
// is not reserved: create the file promptly.
QEINTEG_EXPORT std::string FormUniqueFileName(const std::string& path);
