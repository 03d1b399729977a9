#include "qeinteg/platform/engine/LocalExecutionService.h"

#include "qeinteg/platform/engine/LocalExecutor.h"

namespace qelocal {

EmbeddedQE::QEExecutor* LocalExecutionService::createExecutor(const std::string& locale) {
    return new LocalExecutor(locale);
}

}  // namespace qelocal
