package com.keld.json.java;

// TEMP stand-in until the JSON value model lands.
public class JSONObject extends java.util.LinkedHashMap<String, Object> {
    private static final long serialVersionUID = 1L;
}
