package com.tavo.ae.qelhelpers;

import java.util.LinkedHashMap;
import java.util.Map;

/** A named container handed to a function: its name, its location and whether it is exported. */
public final class QelContainer {
    private final String id;
    private final String location;
    private final boolean export;

    public QelContainer(String id, String location, boolean export) {
        this.id = id == null ? "" : id;
        this.location = location == null ? "" : location;
        this.export = export;
    }

    public String getId() {
        return id;
    }

    public String getLocation() {
        return location;
    }

    public boolean isExport() {
        return export;
    }

    /** The descriptor written into the job text: "export" (only when set), "name", "uri". */
    public Map<String, Object> toDescriptor() {
        Map<String, Object> descriptor = new LinkedHashMap<>();
        if (export) descriptor.put("export", Boolean.TRUE);
        descriptor.put("name", id);
        descriptor.put("uri", location);
        return descriptor;
    }
}
