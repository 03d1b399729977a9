// The engine's CSV reader on any file: every record and cell is read, or the reader refuses the
// file with an EngineError. Nothing else may escape, and nothing may crash or leak.
#include "FuzzSupport.h"
#include "qeinteg/platform/engine/io/CsvRowSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = qefuzz::WriteInput("input.csv", qefuzz::AsText(data, size));
    try {
        qelocal::ReadCsvHeader(path);
    } catch (const qelocal::EngineError&) {
    }
    for (bool header : {true, false}) {
        for (auto typing : {qelocal::CsvTyping::Settled, qelocal::CsvTyping::Provisional}) {
            try {
                qelocal::CsvRowSource source(path, header, std::nullopt, {}, typing);
                qefuzz::ReadEveryCell(source);
                source.fraction();
            } catch (const qelocal::EngineError&) {
            }
        }
    }
    return 0;
}
