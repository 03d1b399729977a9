#include "qeinteg/platform/engine/service/LocalExecutionService.h"

#include <thread>

#include "qeinteg/platform/engine/service/LocalEngine.h"
#include "qeinteg/platform/engine/service/LocalExecutor.h"

namespace qelocal {

EmbeddedQE::QEExecutor* LocalExecutionService::createExecutor(const std::string& locale) {
    auto* executor = new LocalExecutor(locale);
    LocalEngine::instance().record(CallRecord{
        executor->number(), "createExecutor", {locale}, nullptr, std::this_thread::get_id()});
    return executor;
}

}  // namespace qelocal
