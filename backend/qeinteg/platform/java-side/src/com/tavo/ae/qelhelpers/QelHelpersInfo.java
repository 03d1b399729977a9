package com.tavo.ae.qelhelpers;

/** Identifies the build of the job-program helper classes; lets a caller prove the class path. */
public final class QelHelpersInfo {
    private QelHelpersInfo() {}

    /** The version text of this helper package. */
    public static String version() {
        return "qelhelpers-local-1";
    }
}
