#include "StemCommandSupport.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "CommandLine.h"
#include "qeinteg/procedures/QEInteractiveSTEM.h"

namespace stemcli {

bool ParseCount(const std::string& text, int& value, bool allowNone) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() &&
           (value >= 0 || (allowNone && value == -1));
}

bool IsServiceUrl(const std::string& text) {
    return text.starts_with("http://") || text.starts_with("https://");
}

bool HasExtension(const std::string& path, const std::string& ext) {
    return path.size() >= ext.size() &&
           std::equal(ext.begin(), ext.end(), path.end() - static_cast<long>(ext.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

std::string Absolute(const std::string& path) {
    if (path.empty() || IsServiceUrl(path))
        return path;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

std::string Reason(QEInteractiveSTEM& stem, const std::string& fallback) {
    std::string id, message, detail;
    if (stem.hasError(id, message, detail) && !message.empty())
        return qecli::OneLine(message);
    return fallback;
}

}  // namespace stemcli
