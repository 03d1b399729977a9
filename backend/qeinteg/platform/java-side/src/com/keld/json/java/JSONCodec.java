package com.keld.json.java;

import com.fasterxml.jackson.core.JsonFactory;
import com.fasterxml.jackson.core.JsonFactoryBuilder;
import com.fasterxml.jackson.core.JsonGenerator;
import com.fasterxml.jackson.core.JsonLocation;
import com.fasterxml.jackson.core.JsonParser;
import com.fasterxml.jackson.core.JsonProcessingException;
import com.fasterxml.jackson.core.JsonToken;
import com.fasterxml.jackson.core.StreamReadConstraints;
import com.fasterxml.jackson.core.StreamReadFeature;
import com.fasterxml.jackson.core.io.SegmentedStringWriter;
import com.fasterxml.jackson.core.json.JsonReadFeature;
import com.fasterxml.jackson.core.util.BufferRecycler;
import java.io.IOException;
import java.math.BigDecimal;
import java.math.BigInteger;
import java.util.ArrayDeque;
import java.util.Collection;
import java.util.Map;

/**
 * Reading and writing JSON text for JSONObject and JSONArray, over Jackson's streaming API.
 *
 * <p>Reading is strict RFC 8259: no comments, single quotes, unquoted names, leading zeros, NaN,
 * missing values or trailing commas, and nothing but whitespace after the document. Numbers become
 * Integer when they fit 32 bits, Long when they fit 64 bits and Double otherwise. A \\u escape that
 * leaves half of a surrogate pair alone is valid JSON but no character; it becomes U+FFFD so that
 * every string read is well-formed UTF-16. Nesting deeper than MAX_DEPTH is refused on both sides
 * (which also stops a value stored inside itself from being written forever). The reader keeps its
 * own stack rather than recursing, so no document can overflow the Java stack.
 *
 * <p>Writing gives compact standard JSON. Non-finite doubles have no JSON form and are written as
 * null.
 */
final class JSONCodec {
    /** Deepest nesting of objects and arrays that is read or written. */
    static final int MAX_DEPTH = 1000;

    enum Expect {
        OBJECT,
        ARRAY
    }

    private static final JsonFactory FACTORY = makeFactory();

    private JSONCodec() {}

    private static JsonFactory makeFactory() {
        // Jackson's default read limits (string and number length) would refuse valid documents;
        // our own depth check must fire before Jackson's so that the message is ours. The limits
        // are taken when a factory is made, so they are set before ours is built.
        StreamReadConstraints.overrideDefaultStreamReadConstraints(
                StreamReadConstraints.builder()
                        .maxStringLength(Integer.MAX_VALUE)
                        .maxNumberLength(Integer.MAX_VALUE)
                        .maxNestingDepth(MAX_DEPTH + 16)
                        .build());
        return new JsonFactoryBuilder()
                .disable(JsonReadFeature.ALLOW_JAVA_COMMENTS)
                .disable(JsonReadFeature.ALLOW_YAML_COMMENTS)
                .disable(JsonReadFeature.ALLOW_SINGLE_QUOTES)
                .disable(JsonReadFeature.ALLOW_UNQUOTED_FIELD_NAMES)
                .disable(JsonReadFeature.ALLOW_UNESCAPED_CONTROL_CHARS)
                .disable(JsonReadFeature.ALLOW_BACKSLASH_ESCAPING_ANY_CHARACTER)
                .disable(JsonReadFeature.ALLOW_LEADING_ZEROS_FOR_NUMBERS)
                .disable(JsonReadFeature.ALLOW_LEADING_PLUS_SIGN_FOR_NUMBERS)
                .disable(JsonReadFeature.ALLOW_LEADING_DECIMAL_POINT_FOR_NUMBERS)
                .disable(JsonReadFeature.ALLOW_TRAILING_DECIMAL_POINT_FOR_NUMBERS)
                .disable(JsonReadFeature.ALLOW_NON_NUMERIC_NUMBERS)
                .disable(JsonReadFeature.ALLOW_MISSING_VALUES)
                .disable(JsonReadFeature.ALLOW_TRAILING_COMMA)
                // Messages carry line and column; a copy of the source text would only bloat them.
                .disable(StreamReadFeature.INCLUDE_SOURCE_IN_LOCATION)
                // Duplicate names are legal JSON; the last value wins.
                .disable(StreamReadFeature.STRICT_DUPLICATE_DETECTION)
                .disable(JsonFactory.Feature.INTERN_FIELD_NAMES)
                .build();
    }

    // ---------------------------------------------------------------- reading

    static Object parse(String text, Expect expect) {
        if (text == null) {
            throw new JSONException("no JSON text (null)");
        }
        // A byte order mark is no part of JSON, but a text read from a file may carry one.
        if (!text.isEmpty() && text.charAt(0) == '\uFEFF') {
            text = text.substring(1);
        }
        try (JsonParser parser = FACTORY.createParser(text)) {
            JsonToken first = parser.nextToken();
            if (first == null) {
                throw failure(parser, "empty document: expected " + describe(expect));
            }
            JsonToken wanted = expect == Expect.OBJECT ? JsonToken.START_OBJECT : JsonToken.START_ARRAY;
            if (first != wanted) {
                throw failure(parser, "expected " + describe(expect) + " but found " + describe(first));
            }
            Object root = readTree(parser, first);
            JsonToken after = parser.nextToken();
            if (after != null) {
                throw failure(parser, "unexpected content (" + describe(after) + ") after the end of the document");
            }
            return root;
        } catch (JSONException e) {
            throw e;
        } catch (JsonProcessingException e) {
            JsonLocation where = e.getLocation();
            String what = e.getOriginalMessage();
            if (where == null) {
                throw new JSONException(what);
            }
            throw new JSONException(what, where.getLineNr(), where.getColumnNr());
        } catch (IOException | RuntimeException e) {
            throw new JSONException("cannot read JSON text: " + e);
        }
    }

    /** Reads the value that starts with first; containers are filled with an explicit stack. */
    private static Object readTree(JsonParser parser, JsonToken first) throws IOException {
        ArrayDeque<Object> open = new ArrayDeque<>();
        Object root = null;
        String name = null;
        JsonToken token = first;
        while (true) {
            if (token == null) {
                throw failure(parser, "unexpected end of text inside " + (open.peek() instanceof JSONObject ? "an object" : "an array"));
            }
            Object value;
            boolean container = false;
            switch (token) {
                case FIELD_NAME:
                    name = clean(parser.getCurrentName());
                    token = parser.nextToken();
                    continue;
                case END_OBJECT:
                case END_ARRAY:
                    open.pop();
                    if (open.isEmpty()) {
                        return root;
                    }
                    token = parser.nextToken();
                    continue;
                case START_OBJECT:
                    value = new JSONObject();
                    container = true;
                    break;
                case START_ARRAY:
                    value = new JSONArray();
                    container = true;
                    break;
                default:
                    value = readScalar(parser, token);
                    break;
            }
            Object parent = open.peek();
            if (parent == null) {
                if (!container) {
                    return value;
                }
                root = value;
            } else if (parent instanceof JSONObject) {
                ((JSONObject) parent).put(name, value);
            } else {
                ((JSONArray) parent).add(value);
            }
            if (container) {
                if (open.size() >= MAX_DEPTH) {
                    throw failure(parser, "nesting deeper than " + MAX_DEPTH + " levels");
                }
                open.push(value);
            }
            token = parser.nextToken();
        }
    }

    private static Object readScalar(JsonParser parser, JsonToken token) throws IOException {
        switch (token) {
            case VALUE_STRING:
                return clean(parser.getText());
            case VALUE_NUMBER_INT:
                switch (parser.getNumberType()) {
                    case INT:
                        return Integer.valueOf(parser.getIntValue());
                    case LONG:
                        return Long.valueOf(parser.getLongValue());
                    default:
                        return wideInteger(parser.getText());
                }
            case VALUE_NUMBER_FLOAT:
                return Double.valueOf(parser.getDoubleValue());
            case VALUE_TRUE:
                return Boolean.TRUE;
            case VALUE_FALSE:
                return Boolean.FALSE;
            case VALUE_NULL:
                return null;
            default:
                throw failure(parser, "unexpected " + describe(token));
        }
    }

    /** An integer Jackson found too wide for its own long check: a Long when it fits, else the
     * nearest double (read straight from the digits). */
    private static Object wideInteger(String digits) {
        try {
            return Long.valueOf(Long.parseLong(digits));
        } catch (NumberFormatException e) {
            return Double.valueOf(Double.parseDouble(digits));
        }
    }

    private static JSONException failure(JsonParser parser, String what) {
        JsonLocation where = parser.getTokenLocation();
        if (where == null || where.getLineNr() <= 0) {
            where = parser.getCurrentLocation();
        }
        return new JSONException(what, Math.max(1, where.getLineNr()), Math.max(1, where.getColumnNr()));
    }

    private static String describe(Expect expect) {
        return expect == Expect.OBJECT ? "a JSON object" : "a JSON array";
    }

    private static String describe(JsonToken token) {
        switch (token) {
            case START_OBJECT:
                return "an object";
            case START_ARRAY:
                return "an array";
            case VALUE_STRING:
                return "a string";
            case VALUE_NUMBER_INT:
            case VALUE_NUMBER_FLOAT:
                return "a number";
            case VALUE_TRUE:
            case VALUE_FALSE:
                return "a boolean";
            case VALUE_NULL:
                return "null";
            default:
                return "'" + token.asString() + "'";
        }
    }

    /** The text with every unpaired surrogate replaced by U+FFFD; the same object when it has none. */
    static String clean(String text) {
        int n = text.length();
        int i = 0;
        while (i < n) {
            char c = text.charAt(i);
            if (Character.isSurrogate(c)) {
                break;
            }
            i++;
        }
        if (i == n) {
            return text;
        }
        StringBuilder out = new StringBuilder(n);
        out.append(text, 0, i);
        while (i < n) {
            char c = text.charAt(i);
            if (Character.isHighSurrogate(c) && i + 1 < n && Character.isLowSurrogate(text.charAt(i + 1))) {
                out.append(c).append(text.charAt(i + 1));
                i += 2;
                continue;
            }
            out.append(Character.isSurrogate(c) ? '\uFFFD' : c);
            i++;
        }
        return out.toString();
    }

    // ---------------------------------------------------------------- writing

    static String serialize(Object value) {
        SegmentedStringWriter out = new SegmentedStringWriter(new BufferRecycler());
        try (JsonGenerator generator = FACTORY.createGenerator(out)) {
            write(generator, value, 0);
        } catch (JSONException e) {
            throw e;
        } catch (IOException | RuntimeException e) {
            throw new JSONException("cannot write JSON text: " + e);
        }
        try {
            return out.getAndClear();
        } catch (IOException e) {
            throw new JSONException("cannot write JSON text: " + e);
        }
    }

    private static void write(JsonGenerator g, Object value, int depth) throws IOException {
        if (value == null) {
            g.writeNull();
        } else if (value instanceof String) {
            g.writeString(clean((String) value));
        } else if (value instanceof Integer || value instanceof Short || value instanceof Byte) {
            g.writeNumber(((Number) value).intValue());
        } else if (value instanceof Long) {
            g.writeNumber(((Long) value).longValue());
        } else if (value instanceof BigInteger) {
            g.writeNumber((BigInteger) value);
        } else if (value instanceof BigDecimal) {
            g.writeNumber((BigDecimal) value);
        } else if (value instanceof Number) {
            double d = ((Number) value).doubleValue();
            if (Double.isFinite(d)) {
                g.writeNumber(d);
            } else {
                g.writeNull();
            }
        } else if (value instanceof Boolean) {
            g.writeBoolean((Boolean) value);
        } else if (value instanceof Map) {
            checkDepth(depth);
            g.writeStartObject();
            for (Map.Entry<?, ?> entry : ((Map<?, ?>) value).entrySet()) {
                g.writeFieldName(clean(String.valueOf(entry.getKey())));
                write(g, entry.getValue(), depth + 1);
            }
            g.writeEndObject();
        } else if (value instanceof Collection) {
            checkDepth(depth);
            g.writeStartArray();
            for (Object element : (Collection<?>) value) {
                write(g, element, depth + 1);
            }
            g.writeEndArray();
        } else {
            g.writeString(clean(value.toString()));
        }
    }

    private static void checkDepth(int depth) {
        if (depth >= MAX_DEPTH) {
            throw new JSONException(
                    "nesting deeper than " + MAX_DEPTH + " levels (is a value stored inside itself?)");
        }
    }
}
