// Base of the library's row iterators handed to the engine.
#pragma once

#include "qeinteg/platform/engine/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStatDataIterator : public EmbeddedQE::RowDataIterator {
  public:
    ~QEStatDataIterator() override = default;
};
