#include "RunnerFakes.h"

namespace runnertest {

uint32_t FakeIterator::nextRecord() {
    if (beforeRow) {
        const uint32_t status = beforeRow(row_ + 1);
        if (status != 0)
            return status;
    }
    if (row_ + 1 >= rows_)
        return 1;
    ++row_;
    return 0;
}

uint32_t FakeIterator::getRecordValue(size_t index, const void** data, size_t* length) {
    if (row_ < 0 || index >= static_cast<size_t>(columns_))
        return 2;
    value_ = row_ * 10.0 + static_cast<double>(index);
    *data = &value_;
    *length = sizeof value_;
    ++valuesRead;
    return 0;
}

std::vector<std::string> Operations() {
    std::vector<std::string> out;
    for (const auto& call : qelocal::LocalEngine::instance().calls())
        out.push_back(call.operation);
    return out;
}

std::vector<std::string> Operations(int executor) {
    std::vector<std::string> out;
    for (const auto& call : qelocal::LocalEngine::instance().calls()) {
        if (call.executor == executor)
            out.push_back(call.operation);
    }
    return out;
}

}  // namespace runnertest
