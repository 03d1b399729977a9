package com.qeinteg.bridge;

import java.lang.invoke.MethodHandles;
import java.lang.invoke.VarHandle;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
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
    private static final int MAX_BYTES = Integer.MAX_VALUE - 16;

    // Arrays up to this size are kept per thread for the next value, so that repeated packing
    // does not grow a fresh array (and fault in fresh pages) every time.
    private static final int KEPT_BYTES = 64 << 20;
    private static final ThreadLocal<byte[]> SCRATCH = new ThreadLocal<>();

    // The form is written into a heap array (the JIT's fastest target) and copied into the direct
    // buffer once at the end.
    private byte[] out;
    // Multi-byte values go into out through byte-array view VarHandles (one store each) once out
    // is large; before that through a native-order ByteBuffer view of it, a little slower per
    // value, but making the first VarHandle spins method handles for about 20 ms, a sixth of a
    // short job's start, which small values never pay that way.
    private ByteBuffer view;
    private boolean large;
    private int pos = HEADER;

    private static final int LARGE_BYTES = 1 << 20;

    /** Created on first use: only a large value pays for making them. */
    private static final class Views {
        static final VarHandle INT_AT =
                MethodHandles.byteArrayViewVarHandle(int[].class, ByteOrder.nativeOrder());
        static final VarHandle LONG_AT =
                MethodHandles.byteArrayViewVarHandle(long[].class, ByteOrder.nativeOrder());
        static final VarHandle DOUBLE_AT =
                MethodHandles.byteArrayViewVarHandle(double[].class, ByteOrder.nativeOrder());
    }

    private JsonPacker() {
        byte[] kept = SCRATCH.get();
        setOut(kept != null ? kept : new byte[4096]);
    }

    private void setOut(byte[] array) {
        out = array;
        large = array.length >= LARGE_BYTES;
        view = large ? null : ByteBuffer.wrap(array).order(ByteOrder.nativeOrder());
    }

    private void intAt(int at, int v) {
        if (large) {
            Views.INT_AT.set(out, at, v);
        } else {
            view.putInt(at, v);
        }
    }

    private void longAt(int at, long v) {
        if (large) {
            Views.LONG_AT.set(out, at, v);
        } else {
            view.putLong(at, v);
        }
    }

    private void doubleAt(int at, double v) {
        if (large) {
            Views.DOUBLE_AT.set(out, at, v);
        } else {
            view.putDouble(at, v);
        }
    }

    /**
     * The value in packed form. Written into reuse when it is a direct buffer large enough, else
     * into a new direct buffer (which is returned); the buffer's limit is the total length.
     */
    public static ByteBuffer pack(Object value, ByteBuffer reuse) {
        JsonPacker packer = new JsonPacker();
        packer.write(value, 0);
        return packer.finish(reuse);
    }

    /** The keys of a map (in its order) as a packed array of strings; an empty array otherwise. */
    public static ByteBuffer packKeys(Object value, ByteBuffer reuse) {
        JsonPacker packer = new JsonPacker();
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
        return packer.finish(reuse);
    }

    private ByteBuffer finish(ByteBuffer reuse) {
        if (out.length <= KEPT_BYTES) {
            SCRATCH.set(out);
        }
        longAt(0, (long) pos);
        ByteBuffer buffer;
        if (reuse != null && reuse.isDirect() && !reuse.isReadOnly() && reuse.capacity() >= pos) {
            buffer = reuse;
            buffer.clear();
        } else {
            buffer = ByteBuffer.allocateDirect(Math.max(pos, 4096));
        }
        buffer.order(ByteOrder.nativeOrder());
        buffer.put(out, 0, pos);
        buffer.flip();
        return buffer;
    }

    private void ensure(int bytes) {
        if (out.length - pos >= bytes) {
            return;
        }
        long wanted = Math.max(2L * out.length, (long) pos + bytes);
        if ((long) pos + bytes > MAX_BYTES) {
            throw new IllegalArgumentException("the packed value would exceed 2 GB");
        }
        setOut(Arrays.copyOf(out, (int) Math.min(wanted, MAX_BYTES)));
    }

    private void putByte(byte b) {
        out[pos++] = b;
    }

    private void putInt(int v) {
        intAt(pos, v);
        pos += 4;
    }

    private int openContainer(byte tag, int count) {
        ensure(9);
        putByte(tag);
        putInt(count);
        int start = pos;
        putInt(0);
        return start;
    }

    private void closeContainer(int start) {
        intAt(start, pos - start - 4);
    }

    private void write(Object value, int depth) {
        if (value == null) {
            ensure(1);
            putByte(NULL);
        } else if (value instanceof String) {
            writeString((String) value);
        } else if (value instanceof Integer || value instanceof Short || value instanceof Byte) {
            ensure(5);
            putByte(INT);
            putInt(((Number) value).intValue());
        } else if (value instanceof Long) {
            ensure(9);
            putByte(LONG);
            longAt(pos, ((Long) value).longValue());
            pos += 8;
        } else if (value instanceof Number) {
            ensure(9);
            putByte(DOUBLE);
            doubleAt(pos, ((Number) value).doubleValue());
            pos += 8;
        } else if (value instanceof Boolean) {
            ensure(1);
            putByte((Boolean) value ? TRUE : FALSE);
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
            intAt(start - 4, count);
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
        putByte(STRING);
        writeText(text);
    }

    /** uint32 byte length and the UTF-8 bytes. */
    private void writeText(String text) {
        int n = text.length();
        ensure(4 + n);
        int lengthAt = pos;
        pos += 4;
        int i = 0;
        // The common case, ASCII, a byte per char without an intermediate array.
        byte[] o = out;
        int p = pos;
        while (i < n) {
            char c = text.charAt(i);
            if (c >= 0x80) {
                break;
            }
            o[p++] = (byte) c;
            i++;
        }
        pos = p;
        if (i < n) {
            byte[] rest = wellFormed(text.substring(i)).getBytes(StandardCharsets.UTF_8);
            ensure(rest.length);
            System.arraycopy(rest, 0, out, pos, rest.length);
            pos += rest.length;
        }
        intAt(lengthAt, pos - lengthAt - 4);
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
