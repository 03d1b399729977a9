package com.keld.json.java;

/**
 * A JSON text that cannot be read, or a value that cannot be written as JSON. The message says what
 * went wrong and, for a parse failure, where: "... at line L, column C" (both counted from 1).
 */
public class JSONException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    private final int line;
    private final int column;

    public JSONException(String message, int line, int column) {
        super(line > 0 ? message + " at line " + line + ", column " + column : message);
        this.line = line;
        this.column = column;
    }

    public JSONException(String message) {
        this(message, 0, 0);
    }

    /** The line of the failure, from 1; 0 when the failure has no position. */
    public int getLine() {
        return line;
    }

    /** The column of the failure, from 1; 0 when the failure has no position. */
    public int getColumn() {
        return column;
    }
}
