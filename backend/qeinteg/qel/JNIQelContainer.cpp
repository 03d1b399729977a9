#include "qeinteg/qel/JNIQelContainer.h"

JNIQelContainer::JNIQelContainer(_jobject* object) {
    holdObject(object);
}

JNIQelContainer::~JNIQelContainer() = default;
