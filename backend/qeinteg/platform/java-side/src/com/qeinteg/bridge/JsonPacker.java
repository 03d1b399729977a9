package com.qeinteg.bridge;

import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.util.Collection;
import java.util.Map;

/**
 * Writes a JSON value (a tree of Map, Collection, String, Number and Boolean, as the JSON classes
 * hold it) into one direct ByteBuffer in a compact binary form that native code reads without any
 * further call into Java.
 *
 * <p>The form, in the platform's native byte order: an 8-byte total length (header included), then
 * one value. A value is a one-byte tag and its payload:
 *
 * <pre>
 *   0 null | 1 false | 2 true
 *   3 int32 | 4 int64 | 5 float64
 *   6 string: uint32 byte length, UTF-8 bytes
 *   7 array:  uint32 count, uint32 body bytes, the elements
 *   8 object: uint32 count, uint32 body bytes, per member: uint32 key bytes, UTF-8 key, value
 * </pre>
 *
 * Members keep the map's order. Strings are standard UTF-8; a surrogate without its partner
 * becomes U+FFFD, as the JSON reader does. Any other object is written as the string of its
 * toString(), as the JSON writer does. Nesting deeper than MAX_DEPTH (or a value stored inside
 * itself) is refused with an IllegalArgumentException.
 */
public final class JsonPacker {
    public static final int MAX_DEPTH = 1000;

    static final byte NULL = 0;
    static final byte FALSE = 1;
    static final byte TRUE = 2;
    static final byte INT = 3;
    static final byte LONG = 4;
    static final byte DOUBLE = 5;
    static final byte STRING = 6;
    static final byte ARRAY = 7;
    static final byte OBJECT = 8;

    private static final int HEADER = 8;

    private ByteBuffer buffer;

    private JsonPacker(ByteBuffer reuse, int hint) {
        if (reuse != null && reuse.isDirect() && reuse.capacity() >= Math.max(HEADER, hint)) {
            buffer = reuse;
            buffer.clear();
        } else {
            buffer = ByteBuffer.allocateDirect(Math.max(4096, hint));
        }
        buffer.order(ByteOrder.nativeOrder());
        buffer.position(HEADER);
    }

    /**
     * The value in packed form. Written into reuse when it is a direct buffer large enough, else
     * into a new direct buffer (which is returned); the buffer's limit is the total length.
     */
    public static ByteBuffer pack(Object value, ByteBuffer reuse) {
        JsonPacker packer = new JsonPacker(reuse, 0);
        packer.write(value, 0);
        return packer.finish();
    }

    /** The keys of a map (in its order) as a packed array of strings; an empty array otherwise. */
    public static ByteBuffer packKeys(Object value, ByteBuffer reuse) {
        JsonPacker packer = new JsonPacker(reuse, 0);
        if (value instanceof Map) {
            Map<?, ?> map = (Map<?, ?>) value;
            int start = packer.openContainer(ARRAY, map.size());
            for (Object key : map.keySet()) {
                packer.writeString(String.valueOf(key));
            }
            packer.closeContainer(start);
        } else {
            int start = packer.openContainer(ARRAY, 0);
            packer.closeContainer(start);
        }
        return packer.finish();
    }

    private ByteBuffer finish() {
        int length = buffer.position();
        buffer.putLong(0, length);
        buffer.limit(length);
        buffer.position(0);
        return buffer;
    }

    private void ensure(int bytes) {
        if (buffer.remaining() >= bytes) {
            return;
        }
        long wanted = Math.max(2L * buffer.capacity(), (long) buffer.position() + bytes);
        if (wanted > Integer.MAX_VALUE - 8) {
            if ((long) buffer.position() + bytes > Integer.MAX_VALUE - 8) {
                throw new IllegalArgumentException("the packed value would exceed 2 GB");
            }
            wanted = Integer.MAX_VALUE - 8;
        }
        ByteBuffer larger = ByteBuffer.allocateDirect((int) wanted).order(ByteOrder.nativeOrder());
        buffer.flip();
        larger.put(buffer);
        buffer = larger;
    }

    private int openContainer(byte tag, int count) {
        ensure(9);
        buffer.put(tag);
        buffer.putInt(count);
        int start = buffer.position();
        buffer.putInt(0);
        return start;
    }

    private void closeContainer(int start) {
        buffer.putInt(start, buffer.position() - start - 4);
    }

    private void write(Object value, int depth) {
        if (value == null) {
            ensure(1);
            buffer.put(NULL);
        } else if (value instanceof String) {
            writeString((String) value);
        } else if (value instanceof Integer || value instanceof Short || value instanceof Byte) {
            ensure(5);
            buffer.put(INT);
            buffer.putInt(((Number) value).intValue());
        } else if (value instanceof Long) {
            ensure(9);
            buffer.put(LONG);
            buffer.putLong((Long) value);
        } else if (value instanceof Number) {
            ensure(9);
            buffer.put(DOUBLE);
            buffer.putDouble(((Number) value).doubleValue());
        } else if (value instanceof Boolean) {
            ensure(1);
            buffer.put((Boolean) value ? TRUE : FALSE);
        } else if (value instanceof Map) {
            checkDepth(depth);
            Map<?, ?> map = (Map<?, ?>) value;
            int start = openContainer(OBJECT, map.size());
            for (Map.Entry<?, ?> entry : map.entrySet()) {
                writeText(String.valueOf(entry.getKey()));
                write(entry.getValue(), depth + 1);
            }
            closeContainer(start);
        } else if (value instanceof Collection) {
            checkDepth(depth);
            Collection<?> list = (Collection<?>) value;
            int start = openContainer(ARRAY, list.size());
            int count = 0;
            for (Object element : list) {
                write(element, depth + 1);
                count++;
            }
            buffer.putInt(start - 4, count);
            closeContainer(start);
        } else {
            writeString(value.toString());
        }
    }

    private static void checkDepth(int depth) {
        if (depth >= MAX_DEPTH) {
            throw new IllegalArgumentException(
                    "nesting deeper than " + MAX_DEPTH + " levels (is a value stored inside itself?)");
        }
    }

    private void writeString(String text) {
        ensure(1);
        buffer.put(STRING);
        writeText(text);
    }

    /** uint32 byte length and the UTF-8 bytes. */
    private void writeText(String text) {
        int n = text.length();
        ensure(4 + n);
        int lengthAt = buffer.position();
        buffer.putInt(0);
        int i = 0;
        // The common case, ASCII, a byte per char without an intermediate array.
        while (i < n) {
            char c = text.charAt(i);
            if (c >= 0x80) {
                break;
            }
            buffer.put((byte) c);
            i++;
        }
        if (i < n) {
            byte[] rest = wellFormed(text.substring(i)).getBytes(StandardCharsets.UTF_8);
            ensure(rest.length);
            buffer.put(rest);
        }
        buffer.putInt(lengthAt, buffer.position() - lengthAt - 4);
    }

    /** The text with every unpaired surrogate replaced by U+FFFD. */
    private static String wellFormed(String text) {
        int n = text.length();
        StringBuilder out = null;
        for (int i = 0; i < n; i++) {
            char c = text.charAt(i);
            if (!Character.isSurrogate(c)) {
                if (out != null) {
                    out.append(c);
                }
                continue;
            }
            if (Character.isHighSurrogate(c) && i + 1 < n && Character.isLowSurrogate(text.charAt(i + 1))) {
                if (out != null) {
                    out.append(c).append(text.charAt(i + 1));
                }
                i++;
                continue;
            }
            if (out == null) {
                out = new StringBuilder(n);
                out.append(text, 0, i);
            }
            out.append('\uFFFD');
        }
        return out == null ? text : out.toString();
    }
}
