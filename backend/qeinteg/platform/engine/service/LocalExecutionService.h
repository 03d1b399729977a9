// The local engine's execution service: hands out LocalExecutor objects.
#pragma once

#include "qeinteg/platform/engine/service/EmbeddedQE.h"

namespace qelocal {

class LocalExecutionService final : public EmbeddedQE::QEExecutionService {
  public:
    EmbeddedQE::QEExecutor* createExecutor(const std::string& locale) override;
};

}  // namespace qelocal
