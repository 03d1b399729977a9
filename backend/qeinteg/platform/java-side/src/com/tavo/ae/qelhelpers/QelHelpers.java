package com.tavo.ae.qelhelpers;

import java.util.ArrayList;
import java.util.List;
import java.util.Map;

/** Text helpers of the job language: JSON values, quoted names, container lists. */
public final class QelHelpers {
    private QelHelpers() {}

    /**
     * A JSON array of container descriptors, one per id; locations and flags run parallel to the
     * ids. Missing arrays give "[]".
     */
    public static String formatContainerListJSON(String[] ids, String[] locations, boolean[] flags) {
        List<Object> list = new ArrayList<>();
        if (ids != null && locations != null && flags != null) {
            if (locations.length < ids.length || flags.length < ids.length) {
                throw new IllegalArgumentException("container lists of unequal length");
            }
            for (int i = 0; i < ids.length; i++) {
                list.add(new QelContainer(ids[i], locations[i], flags[i]).toDescriptor());
            }
        }
        return toJson(list);
    }

    /** Compact JSON of maps, lists, arrays, strings, numbers, booleans and null. */
    public static String toJson(Object value) {
        StringBuilder text = new StringBuilder();
        writeJson(text, value);
        return text.toString();
    }

    private static void writeJson(StringBuilder text, Object value) {
        if (value == null) {
            text.append("null");
        } else if (value instanceof Map<?, ?> map) {
            text.append('{');
            boolean first = true;
            for (Map.Entry<?, ?> entry : map.entrySet()) {
                if (!first) text.append(',');
                first = false;
                text.append(quote(String.valueOf(entry.getKey()))).append(':');
                writeJson(text, entry.getValue());
            }
            text.append('}');
        } else if (value instanceof Iterable<?> items) {
            text.append('[');
            boolean first = true;
            for (Object item : items) {
                if (!first) text.append(',');
                first = false;
                writeJson(text, item);
            }
            text.append(']');
        } else if (value instanceof Object[] items) {
            writeJson(text, java.util.Arrays.asList(items));
        } else if (value instanceof Double || value instanceof Float) {
            double d = ((Number) value).doubleValue();
            // JSON has no NaN or infinity.
            text.append(Double.isNaN(d) || Double.isInfinite(d) ? "null" : value.toString());
        } else if (value instanceof Number || value instanceof Boolean) {
            text.append(value);
        } else if (value instanceof Enum<?> e) {
            text.append(quote(e.name()));
        } else {
            text.append(quote(value.toString()));
        }
    }

    /** A JSON string literal. */
    public static String quote(String s) {
        StringBuilder text = new StringBuilder(s.length() + 2).append('"');
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            switch (c) {
                case '"' -> text.append("\\\"");
                case '\\' -> text.append("\\\\");
                case '\n' -> text.append("\\n");
                case '\r' -> text.append("\\r");
                case '\t' -> text.append("\\t");
                case '\b' -> text.append("\\b");
                case '\f' -> text.append("\\f");
                default -> {
                    if (c < 0x20) {
                        text.append(String.format("\\u%04x", (int) c));
                    } else {
                        text.append(c);
                    }
                }
            }
        }
        return text.append('"').toString();
    }

    /** True for names of the job language: a letter or "_", then letters, digits and "_". */
    public static boolean isIdentifier(String s) {
        if (s == null || s.isEmpty()) return false;
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            boolean letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
            if (!letter && !(i > 0 && c >= '0' && c <= '9')) return false;
        }
        return true;
    }

    /** A member name after ".": as it is when an identifier, else in backquotes (` doubled). */
    public static String memberName(String field) {
        if (isIdentifier(field)) return field;
        return "`" + field.replace("`", "``") + "`";
    }

    /** An identifier made from any text: every other character becomes "_". */
    public static String toIdentifier(String s) {
        if (s == null || s.isEmpty()) return "";
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            boolean ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'
                    || (c >= '0' && c <= '9');
            text.append(ok ? c : '_');
        }
        if (Character.isDigit(text.charAt(0))) text.insert(0, '_');
        return text.toString();
    }
}
