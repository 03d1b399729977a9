#include "qeinteg/platform/host/data/TAVO_Format.h"

#include <cctype>
#include <cstdlib>
#include <utility>

namespace {

const std::pair<const char*, int> kNames[] = {
    {"AHEX", TAVO_Format::AHEX},   {"A", TAVO_Format::A},
    {"COMMA", TAVO_Format::COMMA}, {"DOLLAR", TAVO_Format::DOLLAR},
    {"F", TAVO_Format::F},         {"N", TAVO_Format::N},
    {"E", TAVO_Format::E},         {"DATETIME", TAVO_Format::DATETIME},
    {"DATE", TAVO_Format::DATE},   {"TIME", TAVO_Format::TIME},
    {"ADATE", TAVO_Format::ADATE}, {"JDATE", TAVO_Format::JDATE},
    {"DTIME", TAVO_Format::DTIME}, {"WKDAY", TAVO_Format::WKDAY},
    {"MONTH", TAVO_Format::MONTH}, {"MOYR", TAVO_Format::MOYR},
    {"QYR", TAVO_Format::QYR},     {"WKYR", TAVO_Format::WKYR},
    {"EDATE", TAVO_Format::EDATE}, {"SDATE", TAVO_Format::SDATE},
    {"MTIME", TAVO_Format::MTIME}, {"YMDHMS", TAVO_Format::YMDHMS},
};

}  // namespace

std::string TAVO_Format::ToString() const {
    const char* name = "F";
    for (const auto& [text, code] : kNames) {
        if (code == type) {
            name = text;
            break;
        }
    }
    std::string out = name + std::to_string(width);
    if (!IsString() && decimals > 0)
        out += "." + std::to_string(decimals);
    return out;
}

bool TAVO_Format::Parse(const std::string& text) {
    size_t i = 0;
    std::string name;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]))) {
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
        ++i;
    }
    int code = -1;
    for (const auto& [candidate, value] : kNames) {
        if (name == candidate)
            code = value;
    }
    if (code < 0)
        return false;
    int w = 0;
    int d = 0;
    bool haveWidth = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        w = w * 10 + (text[i] - '0');
        if (w > 32767)
            return false;
        haveWidth = true;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (i == text.size())
            return false;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            d = d * 10 + (text[i] - '0');
            if (d > 16)
                return false;
            ++i;
        }
    }
    if (i != text.size() || !haveWidth || w < 1)
        return false;
    type = code;
    width = w;
    decimals = (code == A || code == AHEX) ? 0 : d;
    return true;
}
