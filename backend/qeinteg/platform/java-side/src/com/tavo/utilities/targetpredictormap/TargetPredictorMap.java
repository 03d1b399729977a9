package com.tavo.utilities.targetpredictormap;

import com.fasterxml.jackson.core.JsonFactory;
import com.fasterxml.jackson.core.JsonParser;
import com.fasterxml.jackson.core.JsonToken;
import java.io.IOException;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * The series graph of a temporal causal model (docs/tcm.md, "TCMGraph.json"): which series are
 * targets, which are predictors of another series, and each target's predictor index set.
 *
 * <p>A predictor is a series that is an input of a target other than itself. Lists keep the
 * document's order and hold no duplicates. A document that does not describe a graph leaves the map
 * empty and {@link #fromJSON} answers false.
 */
public class TargetPredictorMap {
    private static final JsonFactory FACTORY = new JsonFactory();

    /** Target series identifier to its predictor index set, in document order. */
    private final Map<String, Set<Integer>> targets = new LinkedHashMap<>();
    /** Predictor series identifiers, in order of first mention. */
    private final Set<String> predictors = new LinkedHashSet<>();

    public TargetPredictorMap() {}

    /** Replaces the graph with the one in {@code json}; false (and an empty map) when invalid. */
    public boolean fromJSON(String json) {
        targets.clear();
        predictors.clear();
        if (json == null) {
            return false;
        }
        Map<String, Set<Integer>> readTargets = new LinkedHashMap<>();
        Set<String> readPredictors = new LinkedHashSet<>();
        try (JsonParser parser = FACTORY.createParser(json)) {
            if (parser.nextToken() != JsonToken.START_OBJECT) {
                return false;
            }
            boolean sawTargets = false;
            while (parser.nextToken() == JsonToken.FIELD_NAME) {
                String name = parser.getCurrentName();
                JsonToken value = parser.nextToken();
                if ("targets".equals(name)) {
                    if (value != JsonToken.START_ARRAY) {
                        return false;
                    }
                    while (parser.nextToken() != JsonToken.END_ARRAY) {
                        if (!readTarget(parser, readTargets, readPredictors)) {
                            return false;
                        }
                    }
                    sawTargets = true;
                } else {
                    parser.skipChildren();
                }
            }
            if (!sawTargets || parser.nextToken() != null) {
                return false;
            }
        } catch (IOException | RuntimeException e) {
            return false;
        }
        targets.putAll(readTargets);
        predictors.addAll(readPredictors);
        return true;
    }

    private static boolean readTarget(
            JsonParser parser, Map<String, Set<Integer>> outTargets, Set<String> outPredictors)
            throws IOException {
        if (parser.currentToken() != JsonToken.START_OBJECT) {
            return false;
        }
        String series = null;
        Set<Integer> indexSet = new LinkedHashSet<>();
        List<String> inputs = new ArrayList<>();
        while (parser.nextToken() == JsonToken.FIELD_NAME) {
            String name = parser.getCurrentName();
            JsonToken value = parser.nextToken();
            if ("series".equals(name)) {
                if (value != JsonToken.VALUE_STRING) {
                    return false;
                }
                series = parser.getText();
            } else if ("predictorIndexSet".equals(name)) {
                if (value != JsonToken.START_ARRAY) {
                    return false;
                }
                while (parser.nextToken() != JsonToken.END_ARRAY) {
                    if (parser.currentToken() != JsonToken.VALUE_NUMBER_INT) {
                        return false;
                    }
                    indexSet.add(parser.getIntValue());
                }
            } else if ("predictors".equals(name)) {
                if (value != JsonToken.START_ARRAY) {
                    return false;
                }
                while (parser.nextToken() != JsonToken.END_ARRAY) {
                    if (parser.currentToken() != JsonToken.START_OBJECT) {
                        return false;
                    }
                    while (parser.nextToken() == JsonToken.FIELD_NAME) {
                        String key = parser.getCurrentName();
                        JsonToken v = parser.nextToken();
                        if ("series".equals(key)) {
                            if (v != JsonToken.VALUE_STRING) {
                                return false;
                            }
                            inputs.add(parser.getText());
                        } else {
                            parser.skipChildren();
                        }
                    }
                }
            } else {
                parser.skipChildren();
            }
        }
        if (series == null) {
            return false;
        }
        outTargets.put(series, indexSet);
        for (String input : inputs) {
            if (!input.equals(series)) {
                outPredictors.add(input);
            }
        }
        return true;
    }

    public boolean isTarget(String series) {
        return targets.containsKey(series);
    }

    public boolean isPredictor(String series) {
        return predictors.contains(series);
    }

    public List<String> getAllTargetSeries() {
        return new ArrayList<>(targets.keySet());
    }

    public List<String> getAllPredictorSeries() {
        return new ArrayList<>(predictors);
    }

    /** The target's predictor indexes, itself included; empty for a series that is no target. */
    public Set<Integer> getPredictorIndexSet(String series) {
        Set<Integer> set = targets.get(series);
        return set == null ? Collections.emptySet() : new LinkedHashSet<>(set);
    }
}
