// The QEBF reader on any file: it reads every record or refuses the file with an EngineError.
#include "FuzzSupport.h"
#include "qeinteg/platform/engine/io/QebfFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = qefuzz::WriteInput("input.qebf", qefuzz::AsText(data, size));
    try {
        qelocal::QebfRowSource source(path);
        qefuzz::ReadEveryCell(source);
        source.fraction();
    } catch (const qelocal::EngineError&) {
    }
    return 0;
}
