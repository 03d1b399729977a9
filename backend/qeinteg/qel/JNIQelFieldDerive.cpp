#include "qeinteg/qel/JNIQelFieldDerive.h"

JNIQelFieldDerive::JNIQelFieldDerive(_jobject* object) {
    holdObject(object);
}

JNIQelFieldDerive::~JNIQelFieldDerive() = default;
