// The host's file-name class: one path held both in the host code page ("generic" form) and in
// UTF-8. The file system sees the UTF-8 form, the way the host's wide-character file calls see
// one name whatever the code page.
#pragma once

#include <cstdio>
#include <string>

class ExtNameStr {
  public:
    ExtNameStr() = default;
    explicit ExtNameStr(const char* generic) { SetGeneric(generic); }

    // Sets the name from host code-page text (null clears it). Returns false when the text is not
    // valid in the host code page; the UTF-8 form then has '?' for the undecodable bytes.
    bool SetGeneric(const char* generic);
    bool SetGeneric(const std::string& generic) { return SetGeneric(generic.c_str()); }
    // Sets the name from UTF-8 text (null clears it). Returns false when a character has no form
    // in the host code page; the generic form then has '?' for it.
    bool SetU8(const char* utf8);
    bool SetU8(const std::string& utf8) { return SetU8(utf8.c_str()); }

    const std::string& GetGeneric() const { return generic_; }
    const std::string& GetU8() const { return utf8_; }
    std::u16string GetU16() const;
    bool Empty() const { return utf8_.empty(); }

    // Opens the file with the C library's mode string; null on failure or for an empty name.
    FILE* fopen(const char* mode) const;
    // Deletes the file; false when it could not be deleted.
    bool remove() const;

  private:
    std::string generic_;
    std::string utf8_;
};
