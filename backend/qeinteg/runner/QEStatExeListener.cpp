#include "qeinteg/runner/QEStatExeListener.h"

QEStatExeListener::~QEStatExeListener() = default;
