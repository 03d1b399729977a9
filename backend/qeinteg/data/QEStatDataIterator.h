// Base of every row source the library offers the engine.
#pragma once

#include "qeinteg/platform/engine/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStatDataIterator : public EmbeddedQE::RowDataIterator {
  public:
    std::string getName() override = 0;
    std::string getDataModel() override = 0;
    uint32_t nextRecord() override = 0;
    uint32_t getRecordValue(size_t index, const void** data, size_t* length) override = 0;
    void dispose(JNIEnv* env) override = 0;
    ~QEStatDataIterator() override = default;
};
