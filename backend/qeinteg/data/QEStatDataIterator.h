// Base of the library's row sources that the engine pulls from.
#pragma once

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStatDataIterator : public EmbeddedQE::RowDataIterator {};
