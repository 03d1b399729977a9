// A JSON value copied out of Java in one call: the Java side (com.qeinteg.bridge.JsonPacker)
// writes the whole subtree into one direct ByteBuffer, and the value is then read here with no
// further JNI call. Walks over many nodes use it instead of several Java calls per node.
//
// The form (native byte order): an 8-byte total length, then one value, a one-byte tag and its
// payload: null, false, true; int32, int64, float64; string (uint32 byte length + UTF-8); array
// (uint32 count, uint32 body bytes, the elements); object (uint32 count, uint32 body bytes, then
// per member uint32 key length, UTF-8 key, value). Members keep the Java object's order.
//
// Every read is bounds-checked against the buffer: a damaged buffer reads as absent values, never
// outside the buffer. A PackedJson keeps its buffer alive (a global reference) and may be read on
// any thread; its nodes are views that are valid while it lives.
#pragma once

#include <jni.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "qeinteg/java/jni/Refs.h"
#include "qeinteg/qeinteg_export.h"

namespace qeinteg::jni {

class QEINTEG_EXPORT PackedJson {
  public:
    enum class Kind : std::uint8_t {
        Null = 0,
        False = 1,
        True = 2,
        Int = 3,
        Long = 4,
        Double = 5,
        String = 6,
        Array = 7,
        Object = 8,
        Absent = 255  // no value: a missing member, an index out of range, a damaged buffer
    };

    // One value inside the buffer.
    class Node {
      public:
        Node() = default;
        Node(const std::uint8_t* at, const std::uint8_t* end) : at_(at), end_(end) {}

        Kind kind() const {
            if (at_ == nullptr || at_ >= end_ || *at_ > static_cast<std::uint8_t>(Kind::Object))
                return Kind::Absent;
            return static_cast<Kind>(*at_);
        }
        bool present() const { return kind() != Kind::Absent; }
        // Absent or JSON null: what a node-by-node get() answers with a null handle.
        bool isNull() const { return kind() == Kind::Null || kind() == Kind::Absent; }
        bool isString() const { return kind() == Kind::String; }
        bool isArray() const { return kind() == Kind::Array; }
        bool isObject() const { return kind() == Kind::Object; }
        bool isBool() const { return kind() == Kind::True || kind() == Kind::False; }
        bool isNumber() const {
            const Kind k = kind();
            return k == Kind::Int || k == Kind::Long || k == Kind::Double;
        }

        // The bytes of a string; empty for any other node.
        std::string_view text() const {
            if (!isString())
                return {};
            std::uint32_t n = 0;
            if (!read(at_ + 1, n) || static_cast<std::size_t>(end_ - (at_ + 5)) < n)
                return {};
            return {reinterpret_cast<const char*>(at_ + 5), n};
        }
        // Any number as a double (Number.doubleValue); 0 for anything else.
        double number() const {
            switch (kind()) {
                case Kind::Int:
                    return static_cast<double>(scalar<std::int32_t>());
                case Kind::Long:
                    return static_cast<double>(scalar<std::int64_t>());
                case Kind::Double:
                    return scalar<double>();
                default:
                    return 0.0;
            }
        }
        // Any number as Java's Number.intValue gives it: an int64 keeps its low 32 bits, a double
        // is truncated and saturated (NaN 0). 0 for anything else.
        std::int32_t intValue() const {
            switch (kind()) {
                case Kind::Int:
                    return scalar<std::int32_t>();
                case Kind::Long:
                    return static_cast<std::int32_t>(
                        static_cast<std::uint32_t>(scalar<std::int64_t>()));
                case Kind::Double: {
                    const double d = scalar<double>();
                    if (std::isnan(d))
                        return 0;
                    if (d >= 2147483647.0)
                        return std::numeric_limits<std::int32_t>::max();
                    if (d <= -2147483648.0)
                        return std::numeric_limits<std::int32_t>::min();
                    return static_cast<std::int32_t>(d);
                }
                default:
                    return 0;
            }
        }
        bool boolValue() const { return kind() == Kind::True; }

        // Elements of an array or members of an object; 0 for anything else.
        std::uint32_t size() const {
            if (!isArray() && !isObject())
                return 0;
            std::uint32_t n = 0;
            return read(at_ + 1, n) ? n : 0;
        }
        // The member under key (the last one, if the key repeats); absent when there is none.
        Node get(std::string_view key) const {
            Node found;
            forEachMember([&](std::string_view k, Node v) {
                if (k == key)
                    found = v;
                return true;
            });
            return found;
        }
        // The element at index (a linear walk: iterate with forEachElement for long arrays).
        Node at(std::uint32_t index) const {
            Node found;
            std::uint32_t i = 0;
            forEachElement([&](Node v) {
                if (i++ == index) {
                    found = v;
                    return false;
                }
                return true;
            });
            return found;
        }

        // Calls fn(Node) per element, in order, while it returns true.
        template <typename Fn>
        void forEachElement(Fn&& fn) const {
            const std::uint8_t* p = nullptr;
            const std::uint8_t* stop = nullptr;
            std::uint32_t count = 0;
            if (!isArray() || !body(p, stop, count))
                return;
            for (std::uint32_t i = 0; i < count && p < stop; ++i) {
                const Node element(p, stop);
                const std::uint8_t* next = element.skip();
                if (next == nullptr)
                    return;
                if (!fn(element))
                    return;
                p = next;
            }
        }
        // Calls fn(key, Node) per member, in order, while it returns true.
        template <typename Fn>
        void forEachMember(Fn&& fn) const {
            const std::uint8_t* p = nullptr;
            const std::uint8_t* stop = nullptr;
            std::uint32_t count = 0;
            if (!isObject() || !body(p, stop, count))
                return;
            for (std::uint32_t i = 0; i < count && p < stop; ++i) {
                std::uint32_t keyLength = 0;
                if (!Read(p, stop, keyLength) ||
                    static_cast<std::size_t>(stop - (p + 4)) < keyLength)
                    return;
                const std::string_view key(reinterpret_cast<const char*>(p + 4), keyLength);
                const Node value(p + 4 + keyLength, stop);
                const std::uint8_t* next = value.skip();
                if (next == nullptr)
                    return;
                if (!fn(key, value))
                    return;
                p = next;
            }
        }

        // The first byte after this value; null when the value does not fit the buffer.
        const std::uint8_t* skip() const {
            const std::size_t room = at_ == nullptr ? 0 : static_cast<std::size_t>(end_ - at_);
            std::size_t size = 0;
            switch (kind()) {
                case Kind::Null:
                case Kind::False:
                case Kind::True:
                    size = 1;
                    break;
                case Kind::Int:
                    size = 5;
                    break;
                case Kind::Long:
                case Kind::Double:
                    size = 9;
                    break;
                case Kind::String: {
                    std::uint32_t n = 0;
                    if (!read(at_ + 1, n))
                        return nullptr;
                    size = 5 + std::size_t{n};
                    break;
                }
                case Kind::Array:
                case Kind::Object: {
                    std::uint32_t n = 0;
                    if (!read(at_ + 5, n))
                        return nullptr;
                    size = 9 + std::size_t{n};
                    break;
                }
                case Kind::Absent:
                    return nullptr;
            }
            return size <= room ? at_ + size : nullptr;
        }

      private:
        template <typename T>
        static bool Read(const std::uint8_t* p, const std::uint8_t* end, T& out) {
            if (p == nullptr || p > end || static_cast<std::size_t>(end - p) < sizeof(T))
                return false;
            std::memcpy(&out, p, sizeof(T));
            return true;
        }
        template <typename T>
        bool read(const std::uint8_t* p, T& out) const {
            return Read(p, end_, out);
        }
        template <typename T>
        T scalar() const {
            T value{};
            read(at_ + 1, value);
            return value;
        }
        // The body of a container: its first child, its end and its count.
        bool body(const std::uint8_t*& first, const std::uint8_t*& stop,
                  std::uint32_t& count) const {
            std::uint32_t bytes = 0;
            if (!read(at_ + 1, count) || !read(at_ + 5, bytes))
                return false;
            first = at_ + 9;
            if (static_cast<std::size_t>(end_ - first) < bytes)
                return false;
            stop = first + bytes;
            return true;
        }

        const std::uint8_t* at_ = nullptr;
        const std::uint8_t* end_ = nullptr;
    };

    PackedJson() = default;
    // Takes a buffer the packer returned: keeps it alive and checks its length header. An invalid
    // buffer (not direct, or a header that does not fit) gives an empty PackedJson.
    PackedJson(JNIEnv* env, jobject buffer);
    // A moved-from PackedJson is empty.
    PackedJson(PackedJson&& other) noexcept;
    PackedJson& operator=(PackedJson&& other) noexcept;

    // True when the buffer was taken.
    bool valid() const { return data_ != nullptr; }
    // The value; absent when not valid.
    Node root() const { return valid() ? Node(data_ + kHeader, data_ + size_) : Node(); }
    // Bytes of the form, header included.
    std::size_t byteSize() const { return size_; }
    // The buffer (to hand back to the packer for reuse).
    jobject buffer() const { return buffer_.get(); }
    // Gives the buffer up; the PackedJson becomes empty.
    GlobalRef releaseBuffer();

  private:
    static constexpr std::size_t kHeader = 8;
    GlobalRef buffer_;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace qeinteg::jni
