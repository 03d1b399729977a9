package com.tavo.ae.qelhelpers;

/** One function of a job program: a kind of operation ("read", "join", ...) with an identifier. */
public interface QelFunction {
    /** The kind of operation; it is the name of the call in the job text. */
    String getName();

    /** The identifier, unique in its program; the job text derives its value names from it. */
    String getId();
}
