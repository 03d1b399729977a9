#include "qeinteg/platform/host/data/UserCaseFileSpec.h"

bool UserCaseFileSpec::Init(const std::string& path, bool namesInFirstRow, bool) {
    path_ = path;
    namesInFirstRow_ = namesInFirstRow;
    return !path.empty();
}
