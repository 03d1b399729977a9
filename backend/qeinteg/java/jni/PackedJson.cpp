#include "qeinteg/java/jni/PackedJson.h"

#include <utility>

namespace qeinteg::jni {

PackedJson::PackedJson(JNIEnv* env, jobject buffer) {
    if (env == nullptr || buffer == nullptr)
        return;
    auto* address = static_cast<const std::uint8_t*>(env->GetDirectBufferAddress(buffer));
    const jlong capacity = env->GetDirectBufferCapacity(buffer);
    if (address == nullptr || capacity < static_cast<jlong>(kHeader))
        return;
    std::int64_t length = 0;
    std::memcpy(&length, address, sizeof length);
    if (length < static_cast<std::int64_t>(kHeader) || length > capacity)
        return;
    buffer_ = GlobalRef(env, buffer);
    if (!buffer_)
        return;
    data_ = address;
    size_ = static_cast<std::size_t>(length);
}

PackedJson::PackedJson(PackedJson&& other) noexcept
    : buffer_(std::move(other.buffer_)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)) {}

PackedJson& PackedJson::operator=(PackedJson&& other) noexcept {
    if (this != &other) {
        buffer_ = std::move(other.buffer_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

GlobalRef PackedJson::releaseBuffer() {
    data_ = nullptr;
    size_ = 0;
    return std::move(buffer_);
}

}  // namespace qeinteg::jni
