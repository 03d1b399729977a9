#include "qeinteg/qel/JNIQelContainer.h"

#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

JNIQelContainer::JNIQelContainer(_jobject* object) {
    Adopt(*this, Borrow(*this, object), kContainer, true);
}

JNIQelContainer::~JNIQelContainer() = default;
