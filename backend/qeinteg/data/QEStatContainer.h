// Base of the library's containers: a named file handed to the engine as a job input or output.
#pragma once

#include "qeinteg/platform/engine/service/EmbeddedQE.h"
#include "qeinteg/qeinteg_export.h"

class QEINTEG_EXPORT QEStatContainer : public EmbeddedQE::Container {};
