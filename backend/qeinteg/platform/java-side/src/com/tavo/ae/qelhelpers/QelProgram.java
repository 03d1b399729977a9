package com.tavo.ae.qelhelpers;

import com.keld.json.java.JSONObject;
import com.tavo.ae.qelhelpers.impl.QelExpressionConditional;
import com.tavo.ae.qelhelpers.impl.QelExpressions;
import com.tavo.ae.qelhelpers.impl.QelFunctionImpl;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.IdentityHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeMap;

/**
 * A job program: functions with their configurations and inputs, plus ordering dependencies. The
 * program is written as fragments (pipelines) in an order where every fragment follows the ones it
 * reads from or depends on.
 */
public class QelProgram {
    private final String prefix;
    private final List<QelFunctionImpl> functions = new ArrayList<>();
    private final List<QelFunctionImpl[]> dependencies = new ArrayList<>();
    private int counter;

    public QelProgram() {
        this("");
    }

    /** A program whose generated names all start with the given name, so texts of two programs can be joined. */
    public QelProgram(String name) {
        String id = QelHelpers.toIdentifier(name);
        prefix = id.isEmpty() ? "" : id + "_";
    }

    private QelProgram(QelProgram other) {
        prefix = other.prefix;
        functions.addAll(other.functions);
        dependencies.addAll(other.dependencies);
        counter = other.counter;
    }

    /** A copy: later changes to either program do not show in the other. */
    @Override
    public QelProgram clone() {
        return new QelProgram(this);
    }

    // ---- functions ----

    private QelFunctionImpl newFunction(String name, Object configuration) {
        checkKind(name);
        QelFunctionImpl function = new QelFunctionImpl(this, prefix + "f" + (++counter), name, configuration);
        functions.add(function);
        return function;
    }

    /** A kind is empty (an ordering point), NAME or NAMESPACE:NAME; anything else could not be called. */
    private static void checkKind(String name) {
        if (name == null || name.isEmpty()) return;
        int colon = name.indexOf(':');
        boolean ok = colon < 0 ? QelHelpers.isIdentifier(name)
                : QelHelpers.isIdentifier(name.substring(0, colon)) && QelHelpers.isIdentifier(name.substring(colon + 1));
        if (!ok) throw new IllegalArgumentException("not a function name: \"" + name + "\"");
    }

    /** Tags are written as "tag=input" and must be names. */
    static void checkTags(Map<String, ? extends QelFunction> inputs) {
        if (inputs == null) return;
        for (String tag : inputs.keySet()) {
            if (!QelHelpers.isIdentifier(tag)) throw new IllegalArgumentException("not an input tag: \"" + tag + "\"");
        }
    }

    private static QelFunctionImpl impl(QelFunction function) {
        if (function == null) return null;
        if (function instanceof QelFunctionImpl f) return f;
        throw new IllegalArgumentException("not a function of a job program: " + function);
    }

    private static String typesJson(Map<String, QelExpression.SimpleTypes> types) {
        Map<String, Object> sorted = new TreeMap<>();
        for (Map.Entry<String, QelExpression.SimpleTypes> e : types.entrySet()) {
            if (e.getKey() != null) sorted.put(e.getKey(), e.getValue() == null ? "Any" : e.getValue().name());
        }
        return QelHelpers.toJson(sorted);
    }

    private static String containersJson(List<QelContainer> containers) {
        List<Object> list = new ArrayList<>();
        for (QelContainer c : containers) list.add(c == null ? null : c.toDescriptor());
        return QelHelpers.toJson(list);
    }

    public QelFunction createQelFunction(String name, JSONObject config) {
        return newFunction(name, config);
    }

    public QelFunction createQelFunction(String name, JSONObject config, QelFunction input) {
        return newFunction(name, config).input("", impl(input));
    }

    public QelFunction createQelFunction(String name, JSONObject config, QelExpression expression, QelFunction input) {
        QelFunctionImpl f = newFunction(name, config).input("", impl(input));
        if (expression != null) f.bind("expr", expression::generateBinding);
        return f;
    }

    public QelFunction createQelFunction(String name, JSONObject config, QelFieldDerive derive, QelFunction input) {
        return createQelFunction(name, config, derive, input, null);
    }

    public QelFunction createQelFunction(String name, JSONObject config, QelFieldDerive derive, QelFunction input,
                                         Map<String, QelExpression.SimpleTypes> fieldTypes) {
        QelFunctionImpl f = newFunction(name, config).input("", impl(input));
        if (derive != null) f.bind("derive", derive::generate);
        if (fieldTypes != null) f.bind("types", () -> typesJson(fieldTypes));
        return f;
    }

    public QelFunction createQelFunction(String name, List<JSONObject> configs, QelFunction input) {
        List<Object> copy = configs == null ? null : new ArrayList<>(configs);
        return newFunction(name, copy).input("", impl(input));
    }

    public QelFunction createQelFunction(String name, JSONObject config, List<QelContainer> first,
                                         List<QelContainer> second, QelFunction input) {
        QelFunctionImpl f = newFunction(name, config).input("", impl(input));
        if (first != null) {
            List<QelContainer> copy = new ArrayList<>(first);
            f.bind("cons1", () -> containersJson(copy));
        }
        if (second != null) {
            List<QelContainer> copy = new ArrayList<>(second);
            f.bind("cons2", () -> containersJson(copy));
        }
        return f;
    }

    /** A function reading several inputs, each under its tag (written in tag order). */
    public QelFunction createQelFunction(String name, JSONObject config, Map<String, QelFunction> inputs) {
        checkTags(inputs);
        QelFunctionImpl f = newFunction(name, config);
        if (inputs != null) {
            for (Map.Entry<String, QelFunction> e : new TreeMap<>(inputs).entrySet()) {
                if (e.getValue() != null) f.input(e.getKey(), impl(e.getValue()));
            }
        }
        return f;
    }

    public QelFunction createQelFunctionDeriveFields(QelFieldDerive derive, QelFunction input) {
        return createQelFunctionDeriveFields(derive, input, null);
    }

    public QelFunction createQelFunctionDeriveFields(QelFieldDerive derive, QelFunction input,
                                                     Map<String, QelExpression.SimpleTypes> fieldTypes) {
        QelFunctionImpl f = newFunction("deriveFields", null).input("", impl(input));
        if (derive != null) f.bind("derive", derive::generate);
        if (fieldTypes != null) f.bind("types", () -> typesJson(fieldTypes));
        return f;
    }

    public QelFunction createQelFunctionFilterRecords(QelExpression condition, QelFunction input) {
        return createQelFunctionFilterRecords(condition, input, null);
    }

    public QelFunction createQelFunctionFilterRecords(QelExpression condition, QelFunction input,
                                                      Map<String, QelExpression.SimpleTypes> fieldTypes) {
        QelFunctionImpl f = newFunction("filterRecords", null).input("", impl(input));
        if (condition != null) f.bind("cond", condition::generateBinding);
        if (fieldTypes != null) f.bind("types", () -> typesJson(fieldTypes));
        return f;
    }

    /** A function over two functions, read under the tags "first" and "second". */
    public QelFunction createQelMetaFunction(String name, JSONObject config, QelFunction first, QelFunction second) {
        return newFunction(name, config).input("first", impl(first)).input("second", impl(second));
    }

    public QelFunction createQelFunctionGeneral(String name, JSONObject config, String[] names, QelFunction input) {
        QelFunctionImpl f = newFunction(name, config).input("", impl(input));
        if (names != null) {
            List<String> copy = Arrays.asList(names.clone());
            f.bind("names", () -> QelHelpers.toJson(copy));
        }
        return f;
    }

    /** A function whose arguments are the parameters, in order. */
    public QelFunction createQelFunctionGeneral(String name, QelFunctionParameter[] parameters) {
        QelFunctionImpl f = newFunction(name, null);
        if (parameters == null) return f;
        for (int i = 0; i < parameters.length; i++) {
            QelFunctionParameter p = parameters[i];
            if (p == null) continue;
            String suffix = "p" + (i + 1);
            Object value = p.getValue();
            switch (p.getKind()) {
                case JSON, CONTAINERS -> {
                    @SuppressWarnings("unchecked")
                    java.util.function.Supplier<String> text = p.getKind() == QelFunctionParameter.Kind.JSON
                            ? () -> QelHelpers.toJson(value)
                            : () -> containersJson((List<QelContainer>) value);
                    if (p.isBound()) {
                        f.bind(suffix, text);
                    } else {
                        f.inline(text);
                    }
                }
                case RAW -> {
                    String raw = (String) value;
                    if (p.isBound()) {
                        f.bind(suffix, () -> raw);
                    } else {
                        f.inline(() -> raw);
                    }
                }
                case EXPRESSION -> {
                    QelExpression e = (QelExpression) value;
                    f.bind(suffix, () -> e == null ? QelExpression.RECORD_LAMBDA_PREFIX + "null" : e.generateBinding());
                }
                case INPUT -> f.input("", impl((QelFunction) value));
                case INPUTS -> {
                    @SuppressWarnings("unchecked")
                    Map<String, QelFunction> inputs = (Map<String, QelFunction>) value;
                    for (Map.Entry<String, QelFunction> e : inputs.entrySet()) f.input(e.getKey(), impl(e.getValue()));
                }
            }
        }
        return f;
    }

    public QelFieldDerive createQelFieldDerive(String fieldName, QelExpression expression) {
        return new QelFieldDerive(fieldName, expression);
    }

    public QelContainer createContainer(String id, String location, boolean export) {
        return new QelContainer(id, location, export);
    }

    /** second runs after first. */
    public void addDependency(QelFunction first, QelFunction second) {
        if (first == null || second == null) throw new IllegalArgumentException("a dependency needs two functions");
        dependencies.add(new QelFunctionImpl[] {impl(first), impl(second)});
    }

    public List<TaggedFunctionInput> getPredecessors(QelFunction function) {
        QelFunctionImpl f = impl(function);
        return f == null ? new ArrayList<>() : f.getInputs();
    }

    // ---- expressions ----

    public QelExpression createQelExpressionLiteral(String value) {
        return QelExpressions.literal(value);
    }

    public QelExpression createQelExpressionLiteral(Double value) {
        return QelExpressions.literal(value);
    }

    public QelExpression createQelExpressionLiteral(Long value) {
        return QelExpressions.literal(value);
    }

    public QelExpression createQelExpressionLiteral(Boolean value) {
        return QelExpressions.literal(value);
    }

    public QelExpression createQelExpressionLiteral(Integer value) {
        return QelExpressions.literal(value);
    }

    public QelExpression createQelExpressionFieldReference(String field) {
        return QelExpressions.fieldReference(field, null);
    }

    /** A field of the named record (a lambda parameter) instead of the current record x. */
    public QelExpression createQelExpressionFieldReference(String field, String record) {
        return QelExpressions.fieldReference(field, record);
    }

    public QelExpression createQelExpressionParameterName(String name) {
        return QelExpressions.fixed(name == null ? "" : name);
    }

    public QelExpression createQelExpressionNullValue() {
        return QelExpressions.fixed("null");
    }

    public QelExpression createQelExpression(String template, QelExpression[] arguments) {
        return QelExpressions.template(template, arguments);
    }

    public QelExpression createQelExpressionTuple(List<QelExpression> items) {
        return QelExpressions.tuple(items);
    }

    public QelExpression createQelExpressionList(List<QelExpression> items) {
        return QelExpressions.list(items);
    }

    public QelExpression createQelExpressionLambdaFunction(List<QelExpression.LambdaSignature> parameters,
                                                           QelExpression body) {
        return QelExpressions.lambda(parameters, body);
    }

    public QelExpression createQelExpressionConditional(List<QelExpressionConditional.Clause> clauses,
                                                        QelExpression otherwise) {
        return new QelExpressionConditional(clauses, otherwise);
    }

    // ---- fragments ----

    /**
     * Partitions the functions into fragments. A function continues its input's fragment when it
     * has exactly one untagged input, that input feeds nothing else, and neither takes part in a
     * dependency or is an ordering point.
     */
    public Set<QelFragment> getFragments() {
        Map<QelFunctionImpl, List<QelFunctionImpl>> consumers = new IdentityHashMap<>();
        for (QelFunctionImpl f : functions) consumers.put(f, new ArrayList<>());
        for (QelFunctionImpl f : functions) {
            for (TaggedFunctionInput in : f.getInputs()) {
                List<QelFunctionImpl> list = consumers.get(in.getFunction());
                if (list != null) list.add(f);
            }
        }
        Set<QelFunctionImpl> ordered = java.util.Collections.newSetFromMap(new IdentityHashMap<>());
        for (QelFunctionImpl[] d : dependencies) {
            ordered.add(d[0]);
            ordered.add(d[1]);
        }

        Map<QelFunctionImpl, QelFragment> owner = new IdentityHashMap<>();
        List<QelFragment> fragments = new ArrayList<>();
        for (int i = 0; i < functions.size(); i++) {
            QelFunctionImpl head = functions.get(i);
            if (continuesInput(head, consumers, ordered)) continue;
            List<QelFunctionImpl> chain = new ArrayList<>();
            chain.add(head);
            QelFunctionImpl last = head;
            while (consumers.get(last).size() == 1 && continuesInput(consumers.get(last).get(0), consumers, ordered)) {
                last = consumers.get(last).get(0);
                chain.add(last);
            }
            QelFragment fragment = new QelFragment("frag_" + head.getId(), i, chain);
            fragment.setBound(!consumers.get(last).isEmpty());
            for (QelFunctionImpl f : chain) owner.put(f, fragment);
            fragments.add(fragment);
        }
        for (QelFragment fragment : fragments) {
            for (QelFunctionImpl f : fragment.getFunctions()) {
                for (TaggedFunctionInput in : f.getInputs()) {
                    QelFragment source = owner.get(in.getFunction());
                    if (source != null && source != fragment) fragment.addPredecessor(source.getId());
                }
            }
        }
        for (QelFunctionImpl[] d : dependencies) {
            QelFragment before = owner.get(d[0]);
            QelFragment after = owner.get(d[1]);
            if (before != null && after != null) after.addPredecessor(before.getId());
        }
        for (QelFragment fragment : fragments) fragment.setOwners(owner);
        return new LinkedHashSet<>(fragments);
    }

    /** The fragment that holds the function in the program as it is now; null when it is not part of it. */
    public QelFragment fragmentOf(QelFunctionImpl function) {
        for (QelFragment fragment : getFragments()) {
            if (fragment.containsFunction(function)) return fragment;
        }
        return null;
    }

    private static boolean continuesInput(QelFunctionImpl f, Map<QelFunctionImpl, List<QelFunctionImpl>> consumers,
                                          Set<QelFunctionImpl> ordered) {
        List<TaggedFunctionInput> inputs = f.getInputs();
        if (inputs.size() != 1 || !inputs.get(0).getTag().isEmpty()) return false;
        QelFunctionImpl input = inputs.get(0).getFunction();
        List<QelFunctionImpl> readers = consumers.get(input);
        return readers != null && readers.size() == 1 && !f.isOrderingPoint() && !input.isOrderingPoint()
                && !ordered.contains(f) && !ordered.contains(input);
    }

    /**
     * The fragments in an order where each follows its predecessors (those in the set); among
     * fragments that are free to run, the earlier created comes first. A cycle is an error.
     */
    public static List<QelFragment> sortFragmentsIntoExecutionOrder(Set<QelFragment> fragments) {
        List<QelFragment> pending = new ArrayList<>();
        Map<String, QelFragment> byId = new HashMap<>();
        if (fragments != null) {
            for (QelFragment f : fragments) {
                if (f != null && byId.putIfAbsent(f.getId(), f) == null) pending.add(f);
            }
        }
        pending.sort((a, b) -> Integer.compare(a.getSequence(), b.getSequence()));
        List<QelFragment> order = new ArrayList<>();
        Set<String> done = new java.util.HashSet<>();
        while (!pending.isEmpty()) {
            QelFragment next = null;
            for (QelFragment f : pending) {
                boolean ready = true;
                for (String p : f.getPredecessorFragmentIds()) {
                    if (byId.containsKey(p) && !done.contains(p)) {
                        ready = false;
                        break;
                    }
                }
                if (ready) {
                    next = f;
                    break;
                }
            }
            if (next == null) {
                throw new IllegalStateException("the fragments depend on each other in a cycle: " + pending);
            }
            pending.remove(next);
            done.add(next.getId());
            order.add(next);
        }
        return order;
    }
}
