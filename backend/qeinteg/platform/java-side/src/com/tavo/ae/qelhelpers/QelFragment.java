package com.tavo.ae.qelhelpers;

import com.tavo.ae.qelhelpers.impl.QelFunctionImpl;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * A chain of functions written as one pipeline: each function after the first reads the one before
 * it (and nothing else). When other fragments read its result, the pipeline is bound to the
 * fragment's id.
 */
public final class QelFragment {
    private final String id;
    private final int sequence;
    private final List<QelFunctionImpl> chain;
    private final Set<String> predecessorIds = new LinkedHashSet<>();
    private boolean bound;
    private Map<QelFunctionImpl, QelFragment> owners = Collections.emptyMap();

    QelFragment(String id, int sequence, List<QelFunctionImpl> chain) {
        this.id = id;
        this.sequence = sequence;
        this.chain = chain;
    }

    void addPredecessor(String fragmentId) {
        predecessorIds.add(fragmentId);
    }

    void setOwners(Map<QelFunctionImpl, QelFragment> owners) {
        this.owners = owners;
    }

    /** The fragment of the same partition that holds the function; null when none does. */
    public QelFragment fragmentOf(QelFunctionImpl function) {
        return owners.get(function);
    }

    void setBound(boolean bound) {
        this.bound = bound;
    }

    int getSequence() {
        return sequence;
    }

    public String getId() {
        return id;
    }

    public List<QelFunctionImpl> getFunctions() {
        return Collections.unmodifiableList(chain);
    }

    public boolean containsFunction(QelFunction function) {
        return function != null && chain.contains(function);
    }

    /** True when consumer follows input directly in this fragment, so that it reads the pipe. */
    public boolean isPiped(QelFunctionImpl input, QelFunctionImpl consumer) {
        int at = chain.indexOf(consumer);
        return at > 0 && chain.get(at - 1) == input;
    }

    /** Ids of the fragments that must run before this one. */
    public Set<String> getPredecessorFragmentIds() {
        return new LinkedHashSet<>(predecessorIds);
    }

    /** The value lines of the chain's functions, then the pipeline; empty when nothing is written. */
    public String toQELText() {
        List<String> lines = new ArrayList<>();
        List<String> calls = new ArrayList<>();
        for (QelFunctionImpl function : chain) {
            lines.addAll(function.generateBindings());
            String call = function.generateInvocation(this);
            if (!call.isEmpty()) calls.add(call);
        }
        if (!calls.isEmpty()) lines.add((bound ? "val " + id + " = " : "") + String.join("->", calls));
        return String.join("\n", lines);
    }

    @Override
    public String toString() {
        return id;
    }
}
