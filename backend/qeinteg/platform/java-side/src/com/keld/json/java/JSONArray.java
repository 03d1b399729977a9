package com.keld.json.java;

import java.util.ArrayList;

/** A JSON array. Elements are the same kinds of values as in a JSONObject. */
public class JSONArray extends ArrayList<Object> {
    private static final long serialVersionUID = 1L;

    public JSONArray() {
        super();
    }

    /** An empty array with room for capacity elements. */
    public JSONArray(int capacity) {
        super(capacity);
    }

    /**
     * Reads one JSON array from text. Anything else throws a JSONException that says what and
     * where.
     */
    public static JSONArray parse(String text) {
        Object value = JSONCodec.parse(text, JSONCodec.Expect.ARRAY);
        return (JSONArray) value;
    }

    /** Compact standard JSON text of this array. */
    public String serialize() {
        return JSONCodec.serialize(this);
    }

    @Override
    public String toString() {
        return serialize();
    }
}
