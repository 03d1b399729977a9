#include "qeinteg/platform/engine/io/ZipOutput.h"

#include <minizip/zip.h>

#include <algorithm>
#include <cstdio>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

namespace {

// Collects small pieces into blocks before they go to the deflater.
class BlockSink {
  public:
    explicit BlockSink(zipFile zip) : zip_(zip) { block_.reserve(kBlock); }
    void put(std::string_view piece) {
        if (block_.size() + piece.size() > kBlock)
            flush();
        if (piece.size() >= kBlock) {
            write(piece);
            return;
        }
        block_.append(piece);
    }
    void flush() {
        write(block_);
        block_.clear();
    }
    bool ok() const { return ok_; }

  private:
    static constexpr size_t kBlock = size_t{1} << 18;
    void write(std::string_view data) {
        // zipWriteInFileInZip takes an unsigned length: large pieces go in parts.
        size_t offset = 0;
        while (ok_ && offset < data.size()) {
            const size_t piece = std::min<size_t>(data.size() - offset, 1u << 30);
            ok_ = zipWriteInFileInZip(zip_, data.data() + offset, static_cast<unsigned>(piece)) ==
                  ZIP_OK;
            offset += piece;
        }
    }
    zipFile zip_;
    std::string block_;
    bool ok_ = true;
};

}  // namespace

void WriteZipArchive(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr)
        throw EngineError("cannot create the archive " + path);
    bool ok = true;
    try {
        for (const ZipEntry& entry : entries) {
            zip_fileinfo info{};
            if (zipOpenNewFileInZip(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                    Z_DEFLATED, Z_DEFAULT_COMPRESSION) != ZIP_OK) {
                ok = false;
                break;
            }
            BlockSink sink(zip);
            entry.write([&sink](std::string_view piece) { sink.put(piece); });
            sink.flush();
            ok = zipCloseFileInZip(zip) == ZIP_OK && sink.ok();
            if (!ok)
                break;
        }
    } catch (...) {
        zipClose(zip, nullptr);
        std::remove(path.c_str());
        throw;
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    if (!ok) {
        std::remove(path.c_str());
        throw EngineError("cannot write the archive " + path);
    }
}

void WriteZipArchive(const std::string& path,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<ZipEntry> streamed;
    streamed.reserve(entries.size());
    for (const auto& [name, content] : entries) {
        const std::string* text = &content;
        streamed.push_back(ZipEntry{name, [text](const ZipSink& sink) { sink(*text); }});
    }
    WriteZipArchive(path, streamed);
}

}  // namespace qelocal
