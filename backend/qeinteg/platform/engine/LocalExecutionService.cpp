#include "qeinteg/platform/engine/LocalExecutionService.h"

#include <thread>

#include "qeinteg/platform/engine/LocalEngine.h"
#include "qeinteg/platform/engine/LocalExecutor.h"

namespace qelocal {

EmbeddedQE::QEExecutor* LocalExecutionService::createExecutor(const std::string& locale) {
    auto* executor = new LocalExecutor(locale);
    LocalEngine::instance().record(CallRecord{
        executor->number(), "createExecutor", {locale}, nullptr, std::this_thread::get_id()});
    return executor;
}

}  // namespace qelocal
