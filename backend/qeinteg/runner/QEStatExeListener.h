// Base of the library's engine listeners. Every callback stays abstract.
#pragma once

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStatExeListener : public EmbeddedQE::ExtendedExecutionListener {
  public:
    ~QEStatExeListener() override;
};
