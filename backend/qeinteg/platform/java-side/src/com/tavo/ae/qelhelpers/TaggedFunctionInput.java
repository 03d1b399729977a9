package com.tavo.ae.qelhelpers;

import com.tavo.ae.qelhelpers.impl.QelFunctionImpl;

/** One input of a function: the function it reads and the tag it is read under ("" for none). */
public final class TaggedFunctionInput {
    private final QelFunctionImpl function;
    private final String tag;

    public TaggedFunctionInput(QelFunctionImpl function, String tag) {
        this.function = function;
        this.tag = tag == null ? "" : tag;
    }

    public QelFunctionImpl getFunction() {
        return function;
    }

    public String getTag() {
        return tag;
    }
}
