package com.keld.json.java;

import java.util.LinkedHashMap;

/**
 * A JSON object: string keys to values, kept in insertion order so that the texts made from it
 * are deterministic. Values are null, String, Integer, Long, Double, Boolean, JSONObject or
 * JSONArray.
 */
public class JSONObject extends LinkedHashMap<String, Object> {
    private static final long serialVersionUID = 1L;

    public JSONObject() {
        super();
    }

    /**
     * Reads one JSON object from text. Anything else (another kind of value, invalid JSON, content
     * after the object) throws a JSONException that says what and where.
     */
    public static JSONObject parse(String text) {
        Object value = JSONCodec.parse(text, JSONCodec.Expect.OBJECT);
        return (JSONObject) value;
    }

    /** Compact standard JSON text of this object. */
    public String serialize() {
        return JSONCodec.serialize(this);
    }

    @Override
    public String toString() {
        return serialize();
    }
}
