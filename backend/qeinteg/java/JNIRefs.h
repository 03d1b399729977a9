// The reference owners (LocalRef, GlobalRef, LocalFrame, ScopedThreadAttach) and the attach
// sequence, for code outside the library that includes them by this name.
#pragma once

#include "qeinteg/java/jni/Refs.h"
