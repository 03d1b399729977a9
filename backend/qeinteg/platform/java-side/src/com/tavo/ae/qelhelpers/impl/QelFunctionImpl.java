package com.tavo.ae.qelhelpers.impl;

import com.tavo.ae.qelhelpers.QelFragment;
import com.tavo.ae.qelhelpers.QelFunction;
import com.tavo.ae.qelhelpers.QelHelpers;
import com.tavo.ae.qelhelpers.QelProgram;
import com.tavo.ae.qelhelpers.TaggedFunctionInput;
import java.util.ArrayList;
import java.util.List;
import java.util.function.Supplier;

/**
 * A function of a program: its kind, its configuration and its arguments in call order. An
 * argument is bound to a value (named "ID_SUFFIX"), written into the call, or an input. A function
 * of empty kind is an ordering point: it takes part in dependencies and writes no text.
 */
public final class QelFunctionImpl implements QelFunction {
    private sealed interface Part permits Bound, Inline, Input {}

    private record Bound(String suffix, Supplier<String> text) implements Part {}

    private record Inline(Supplier<String> text) implements Part {}

    private record Input(String tag, QelFunctionImpl function) implements Part {}

    private final QelProgram program;
    private final String id;
    private final String name;
    private final Object configuration;
    private final List<Part> parts = new ArrayList<>();

    public QelFunctionImpl(QelProgram program, String id, String name, Object configuration) {
        this.program = program;
        this.id = id;
        this.name = name == null ? "" : name;
        this.configuration = configuration;
        if (configuration != null) bind("conf", () -> QelHelpers.toJson(configuration));
    }

    @Override
    public String getName() {
        return name;
    }

    @Override
    public String getId() {
        return id;
    }

    public boolean isOrderingPoint() {
        return name.isEmpty();
    }

    /** Adds an argument bound to the value ID_SUFFIX. */
    public QelFunctionImpl bind(String suffix, Supplier<String> text) {
        parts.add(new Bound(suffix, text));
        return this;
    }

    /** Adds an argument written into the call. */
    public QelFunctionImpl inline(Supplier<String> text) {
        parts.add(new Inline(text));
        return this;
    }

    /** Adds an input; null functions are left out. */
    public QelFunctionImpl input(String tag, QelFunctionImpl function) {
        if (function != null) parts.add(new Input(tag == null ? "" : tag, function));
        return this;
    }

    /** The inputs in call order. */
    public List<TaggedFunctionInput> getInputs() {
        List<TaggedFunctionInput> inputs = new ArrayList<>();
        for (Part part : parts) {
            if (part instanceof Input in) inputs.add(new TaggedFunctionInput(in.function(), in.tag()));
        }
        return inputs;
    }

    /** The configuration as JSON text; empty when the function has none. */
    public String generateConfiguration() {
        return configuration == null ? "" : QelHelpers.toJson(configuration);
    }

    /** The value lines ("val NAME = TEXT") this function needs before its call. */
    public List<String> generateBindings() {
        List<String> lines = new ArrayList<>();
        if (isOrderingPoint()) return lines;
        for (Part part : parts) {
            if (part instanceof Bound b) lines.add("val " + valueName(b.suffix()) + " = " + b.text().get());
        }
        return lines;
    }

    /** The call inside the given fragment; inputs from other fragments are named by their fragment. */
    public String generateInvocation(QelFragment fragment) {
        if (isOrderingPoint()) return "";
        QelFragment context = fragment;
        if (context == null || !context.containsFunction(this)) context = program.fragmentOf(this);
        StringBuilder text = new StringBuilder(name).append('(');
        boolean first = true;
        for (Part part : parts) {
            if (!first) text.append(", ");
            first = false;
            if (part instanceof Bound b) {
                text.append(valueName(b.suffix()));
            } else if (part instanceof Inline in) {
                text.append(in.text().get());
            } else if (part instanceof Input in) {
                if (!in.tag().isEmpty()) text.append(in.tag()).append('=');
                text.append(inputReference(context, in.function()));
            }
        }
        return text.append(')').toString();
    }

    private String inputReference(QelFragment context, QelFunctionImpl input) {
        if (input.isOrderingPoint()) {
            throw new IllegalStateException("function " + id + " reads " + input.getId()
                    + ", an ordering point without output");
        }
        if (context != null && context.isPiped(input, this)) return "_";
        QelFragment source = context == null ? null : context.fragmentOf(input);
        if (source == null) {
            throw new IllegalStateException("input " + input.getId() + " of " + id + " is not part of the program");
        }
        return source.getId();
    }

    private String valueName(String suffix) {
        return id + "_" + suffix;
    }

    @Override
    public String toString() {
        return id + ":" + name;
    }
}
