#include "EngineTestUtil.h"

#include <minizip/unzip.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "qeinteg/platform/engine/io/DataModelXml.h"

namespace enginetest {

std::string SharedData(const std::string& name) {
    return std::string(QEINTEG_SHARED_DATA_DIR) + "/" + name;
}

std::optional<std::string> ReadZipEntry(const std::string& path, const std::string& name) {
    unzFile zip = unzOpen64(path.c_str());
    if (zip == nullptr)
        return std::nullopt;
    std::optional<std::string> content;
    if (unzLocateFile(zip, name.c_str(), 1) == UNZ_OK && unzOpenCurrentFile(zip) == UNZ_OK) {
        std::string text;
        char buffer[8192];
        int n = 0;
        while ((n = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0)
            text.append(buffer, n);
        if (unzCloseCurrentFile(zip) == UNZ_OK && n == 0)
            content = std::move(text);
    }
    unzClose(zip);
    return content;
}

std::vector<std::string> ZipEntryNames(const std::string& path) {
    std::vector<std::string> names;
    unzFile zip = unzOpen64(path.c_str());
    if (zip == nullptr)
        return names;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
        char name[512];
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) ==
            UNZ_OK) {
            names.emplace_back(name);
        }
    }
    unzClose(zip);
    return names;
}

std::vector<std::vector<std::string>> ReadPlainCsv(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::vector<std::string> cells;
        std::stringstream s(line);
        std::string cell;
        while (std::getline(s, cell, ','))
            cells.push_back(cell);
        if (!line.empty() && line.back() == ',')
            cells.emplace_back();
        rows.push_back(std::move(cells));
    }
    return rows;
}

MemoryIterator::MemoryIterator(std::string name, std::vector<qelocal::EngineField> fields,
                               std::vector<std::vector<std::string>> rows)
    : name_(std::move(name)), fields_(std::move(fields)), rows_(std::move(rows)) {}

std::string MemoryIterator::getDataModel() {
    return qelocal::DataModelDocument(fields_);
}

uint32_t MemoryIterator::nextRecord() {
    if (delayMicros > 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(delayMicros));
    }
    ++row_;
    if (failAt >= 0 && row_ == failAt)
        return failStatus;
    if (row_ >= static_cast<long>(rows_.size()))
        return 1;
    ++pulled;
    return 0;
}

uint32_t MemoryIterator::getRecordValue(size_t index, const void** data, size_t* length) {
    const std::string& cell = rows_.at(static_cast<size_t>(row_)).at(index);
    if (fields_[index].storage == qelocal::Storage::String) {
        if (cell == "\x01") {
            *data = nullptr;
            *length = 0;
        } else {
            *data = cell.data();
            *length = cell.size();
        }
        return 0;
    }
    if (cell.empty()) {
        *data = nullptr;
        *length = 0;
        return 0;
    }
    number_ = std::strtod(cell.c_str(), nullptr);
    *data = &number_;
    *length = sizeof number_;
    return 0;
}

std::vector<std::string> RecordingListener::endings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const std::string& e : events) {
        if (e.rfind("message:", 0) != 0)
            out.push_back(e);
    }
    return out;
}

}  // namespace enginetest
