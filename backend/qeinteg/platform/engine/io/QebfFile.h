// QEBF, the local engine's binary data file (docs/qebf.md): reading and writing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "qeinteg/platform/engine/exec/EngineTypes.h"

namespace qelocal {

// Records from a QEBF file. A truncated or damaged file fails with EngineError as soon as the
// damage is reached, at the latest when the end marker is expected.
class QebfRowSource final : public RowSource {
  public:
    explicit QebfRowSource(const std::string& path);
    ~QebfRowSource() override;
    QebfRowSource(const QebfRowSource&) = delete;
    QebfRowSource& operator=(const QebfRowSource&) = delete;

    const std::vector<EngineField>& fields() const override { return fields_; }
    bool next() override;
    Cell cell(size_t index) override;
    double fraction() const override;

  private:
    void read(void* data, size_t size);
    uint8_t readU8();
    uint32_t readU32();
    uint64_t readU64();
    double readF64();

    std::string path_;
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
    uint64_t offset_ = 0;
    uint64_t records_ = 0;
    bool ended_ = false;
    std::vector<EngineField> fields_;
    std::vector<double> numbers_;
    std::vector<std::string> texts_;
    std::vector<char> missing_;
};

// Writes every record of `source` to a QEBF file. `onRow` is called after each record (it may
// throw to abandon the write; the partial file is then removed).
class QebfWriter {
  public:
    QebfWriter(const std::string& path, const std::vector<EngineField>& fields);
    ~QebfWriter();
    QebfWriter(const QebfWriter&) = delete;
    QebfWriter& operator=(const QebfWriter&) = delete;

    void writeRecord(RowSource& source);
    // Writes the end marker and closes the file.
    void finish();

  private:
    void put(const void* data, size_t size);
    void putU8(uint8_t v) { put(&v, 1); }
    void putU32(uint32_t v);
    void putU64(uint64_t v);
    void putF64(double v);
    void flush();

    std::string path_;
    std::FILE* file_ = nullptr;
    std::vector<EngineField> fields_;
    std::vector<unsigned char> buffer_;
    uint64_t records_ = 0;
    bool finished_ = false;
};

}  // namespace qelocal
