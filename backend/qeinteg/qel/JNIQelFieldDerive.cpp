#include "qeinteg/qel/JNIQelFieldDerive.h"

#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNIQelFieldDerive::JNIQelFieldDerive(_jobject* object) {
    Adopt(*this, Borrow(*this, object), kFieldDerive, true);
}

JNIQelFieldDerive::~JNIQelFieldDerive() = default;
