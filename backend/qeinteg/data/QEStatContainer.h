// Base of the named files the library hands to the engine as job inputs and outputs.
#pragma once

#include "qeinteg/platform/engine/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStatContainer : public EmbeddedQE::Container {
  public:
    std::string getName() override = 0;
    std::string getAbsolutePath() override = 0;
    ~QEStatContainer() override = default;
};
