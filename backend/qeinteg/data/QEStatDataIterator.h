// Base of the library's row sources that the engine pulls from.
#pragma once

#include "qeinteg/platform/engine/EmbeddedQE.h"

class QEStatDataIterator : public EmbeddedQE::RowDataIterator {};
