#!/usr/bin/python3
"""Regenerates the scoring test fixtures from models fitted by scikit-learn.

Run by hand only (CI uses the committed files):

    /usr/bin/python3 tests/scoring/make_fixtures.py

It reads ../shared/data/seattle-weather.csv, fits a few models on a training split, writes each as
a PMML document with the small exporter below, and writes the dates of the held-out rows with
scikit-learn's own predictions (the tests read the inputs from the shared dataset), so that the C++
tests check our scorer against an independent tool. Needs Debian's
python3-sklearn (the system python, not a virtual environment without it).
"""
import csv
import os
import sys

import numpy as np
from sklearn.ensemble import (GradientBoostingClassifier, RandomForestClassifier,
                              RandomForestRegressor)
from sklearn.linear_model import LinearRegression, LogisticRegression, PoissonRegressor
from sklearn.model_selection import train_test_split
from sklearn.tree import DecisionTreeClassifier, DecisionTreeRegressor

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "..", "..", "shared", "data", "seattle-weather.csv")
OUT = os.path.join(HERE, "fixtures")
HELD_OUT = 60

NUMERIC = ["precipitation", "temp_max", "temp_min", "wind"]
WEATHER = ["drizzle", "fog", "rain", "snow", "sun"]


def num(x):
    """Shortest text that reads back to the same double."""
    return repr(float(x))


def esc(text):
    return (str(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


class Pmml:
    """Collects lines of a PMML 4.4 document."""

    def __init__(self):
        self.lines = ['<?xml version="1.0" encoding="UTF-8"?>',
                      '<PMML xmlns="http://www.dmg.org/PMML-4_4" version="4.4">',
                      '<Header description="fitted by scikit-learn, exported for the scoring tests"/>']

    def add(self, line):
        self.lines.append(line)

    def dictionary(self, fields, target, target_type, categories=None):
        self.add('<DataDictionary numberOfFields="%d">' % (len(fields) + 1))
        for f in fields:
            self.add('<DataField name="%s" optype="continuous" dataType="double"/>' % f)
        if categories is None:
            self.add('<DataField name="%s" optype="continuous" dataType="%s"/>' % (target, target_type))
        else:
            self.add('<DataField name="%s" optype="categorical" dataType="%s">' % (target, target_type))
            for c in categories:
                self.add('<Value value="%s"/>' % esc(c))
            self.add('</DataField>')
        self.add('</DataDictionary>')

    def schema(self, fields, target):
        self.add('<MiningSchema>')
        self.add('<MiningField name="%s" usageType="target"/>' % target)
        for f in fields:
            self.add('<MiningField name="%s"/>' % f)
        self.add('</MiningSchema>')

    def write(self, name):
        self.add('</PMML>')
        with open(os.path.join(OUT, name), "w") as f:
            f.write("\n".join(self.lines) + "\n")


def tree_nodes(doc, tree, fields, classes=None, scale=1.0):
    """Writes a fitted sklearn tree as nested Nodes: left child "<=", right child ">"."""
    t = tree.tree_

    def node(i, predicate):
        leaf = t.children_left[i] == -1
        if classes is None:
            score = num(t.value[i][0][0] * scale)
            doc.add('<Node score="%s" recordCount="%s">%s' % (score, num(t.weighted_n_node_samples[i]), predicate))
        else:
            counts = t.value[i][0]
            total = counts.sum()
            best = classes[int(np.argmax(counts))]
            doc.add('<Node score="%s" recordCount="%s">%s' % (esc(best), num(total), predicate))
            for c, v in zip(classes, counts):
                doc.add('<ScoreDistribution value="%s" recordCount="%s" probability="%s"/>'
                        % (esc(c), num(v), num(v / total)))
        if not leaf:
            f = fields[t.feature[i]]
            th = num(t.threshold[i])
            node(t.children_left[i],
                 '<SimplePredicate field="%s" operator="lessOrEqual" value="%s"/>' % (f, th))
            node(t.children_right[i],
                 '<SimplePredicate field="%s" operator="greaterThan" value="%s"/>' % (f, th))
        doc.add('</Node>')

    node(0, '<True/>')


def tree_model(doc, tree, fields, target, classes=None, scale=1.0, output=None, attrs=""):
    function = "regression" if classes is None else "classification"
    doc.add('<TreeModel functionName="%s" splitCharacteristic="binarySplit"%s>' % (function, attrs))
    doc.schema(fields, target)
    if output:
        doc.add(output)
    tree_nodes(doc, tree, fields, classes, scale)
    doc.add('</TreeModel>')


def check_tree_agrees(tree, X):
    """The exporter compares doubles; sklearn compares float32 inputs. Make sure they agree here."""
    t = tree.tree_
    out = []
    for row in X:
        i = 0
        while t.children_left[i] != -1:
            i = t.children_left[i] if row[t.feature[i]] <= t.threshold[i] else t.children_right[i]
        out.append(i)
    assert (np.array(out) == tree.apply(X.astype(np.float32))).all(), "float32 split disagreement"


def write_expected(name, header, rows, inputs):
    """Writes the key (date) and the expected outputs of each held-out row; the tests read the
    inputs from the shared dataset itself."""
    keep = [0] + list(range(1 + len(inputs), len(header)))
    with open(os.path.join(OUT, name), "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow([header[k] for k in keep])
        for r in rows:
            w.writerow([r[k] for k in keep])


def main():
    rows = list(csv.DictReader(open(DATA)))
    X_all = np.array([[float(r[f]) for f in NUMERIC] for r in rows])
    weather = np.array([r["weather"] for r in rows])
    idx_train, idx_test = train_test_split(np.arange(len(rows)), test_size=HELD_OUT, random_state=7)
    os.makedirs(OUT, exist_ok=True)

    # Linear regression: temp_max from the other numbers.
    feats = ["precipitation", "temp_min", "wind"]
    cols = [NUMERIC.index(f) for f in feats]
    X, Xt = X_all[idx_train][:, cols], X_all[idx_test][:, cols]
    y = X_all[idx_train][:, NUMERIC.index("temp_max")]
    lin = LinearRegression().fit(X, y)
    doc = Pmml()
    doc.dictionary(feats, "temp_max", "double")
    doc.add('<RegressionModel functionName="regression" modelName="linear">')
    doc.schema(feats, "temp_max")
    doc.add('<RegressionTable intercept="%s">' % num(lin.intercept_))
    for f, c in zip(feats, lin.coef_):
        doc.add('<NumericPredictor name="%s" coefficient="%s"/>' % (f, num(c)))
    doc.add('</RegressionTable></RegressionModel>')
    doc.write("linear.pmml")
    write_expected("linear.csv", ["date"] + feats + ["temp_max"],
                   [[rows[i]["date"]] + [num(v) for v in x] + [num(p)]
                    for i, x, p in zip(idx_test, Xt, lin.predict(Xt))], feats)

    # Poisson GLM (log link): precipitation from the temperatures and the wind.
    feats = ["temp_max", "temp_min", "wind"]
    cols = [NUMERIC.index(f) for f in feats]
    X, Xt = X_all[idx_train][:, cols], X_all[idx_test][:, cols]
    y = X_all[idx_train][:, NUMERIC.index("precipitation")]
    glm = PoissonRegressor(alpha=0.01, max_iter=1000).fit(X, y)
    doc = Pmml()
    doc.dictionary(feats, "precipitation", "double")
    doc.add('<GeneralRegressionModel functionName="regression" modelType="generalizedLinear" '
            'linkFunction="log" distribution="poisson">')
    doc.schema(feats, "precipitation")
    doc.add('<ParameterList><Parameter name="p0" label="Intercept"/>')
    for k, f in enumerate(feats):
        doc.add('<Parameter name="p%d" label="%s"/>' % (k + 1, f))
    doc.add('</ParameterList><CovariateList>')
    for f in feats:
        doc.add('<Predictor name="%s"/>' % f)
    doc.add('</CovariateList><PPMatrix>')
    for k, f in enumerate(feats):
        doc.add('<PPCell value="1" predictorName="%s" parameterName="p%d"/>' % (f, k + 1))
    doc.add('</PPMatrix><ParamMatrix>')
    doc.add('<PCell parameterName="p0" beta="%s"/>' % num(glm.intercept_))
    for k, c in enumerate(glm.coef_):
        doc.add('<PCell parameterName="p%d" beta="%s"/>' % (k + 1, num(c)))
    doc.add('</ParamMatrix></GeneralRegressionModel>')
    doc.write("poisson.pmml")
    write_expected("poisson.csv", ["date"] + feats + ["precipitation"],
                   [[rows[i]["date"]] + [num(v) for v in x] + [num(p)]
                    for i, x, p in zip(idx_test, Xt, glm.predict(Xt))], feats)

    # Multinomial logistic regression: the weather (five string classes).
    feats = NUMERIC
    X, Xt = X_all[idx_train], X_all[idx_test]
    y = weather[idx_train]
    logit = LogisticRegression(max_iter=5000, C=10.0).fit(X, y)
    assert list(logit.classes_) == WEATHER
    doc = Pmml()
    doc.dictionary(feats, "weather", "string", WEATHER)
    doc.add('<RegressionModel functionName="classification" normalizationMethod="softmax">')
    doc.schema(feats, "weather")
    doc.add('<Output><OutputField name="predicted" feature="predictedValue" dataType="string"/>')
    for c in WEATHER:
        doc.add('<OutputField name="P_%s" feature="probability" value="%s" dataType="double"/>' % (c, c))
    doc.add('</Output>')
    for k, c in enumerate(WEATHER):
        doc.add('<RegressionTable targetCategory="%s" intercept="%s">' % (c, num(logit.intercept_[k])))
        for f, b in zip(feats, logit.coef_[k]):
            doc.add('<NumericPredictor name="%s" coefficient="%s"/>' % (f, num(b)))
        doc.add('</RegressionTable>')
    doc.add('</RegressionModel>')
    doc.write("logistic.pmml")
    proba = logit.predict_proba(Xt)
    write_expected("logistic.csv", ["date"] + feats + ["predicted"] + ["P_" + c for c in WEATHER],
                   [[rows[i]["date"]] + [num(v) for v in x] + [p] + [num(v) for v in pr]
                    for i, x, p, pr in zip(idx_test, Xt, logit.predict(Xt), proba)], feats)

    # Trees compare float32 inputs with their thresholds: give them inputs that are exact float32
    # values, so that comparing doubles (as PMML does) takes the same branches. The tests round the
    # dataset's values the same way for these models.
    X_all = X_all.astype(np.float32).astype(np.float64)

    # Regression tree: temp_max.
    feats = ["precipitation", "temp_min", "wind"]
    cols = [NUMERIC.index(f) for f in feats]
    X, Xt = X_all[idx_train][:, cols], X_all[idx_test][:, cols]
    y = X_all[idx_train][:, NUMERIC.index("temp_max")]
    tree = DecisionTreeRegressor(max_depth=5, random_state=0).fit(X, y)
    check_tree_agrees(tree, Xt)
    doc = Pmml()
    doc.dictionary(feats, "temp_max", "double")
    tree_model(doc, tree, feats, "temp_max")
    doc.write("tree_regression.pmml")
    write_expected("tree_regression.csv", ["date"] + feats + ["temp_max"],
                   [[rows[i]["date"]] + [num(v) for v in x] + [num(p)]
                    for i, x, p in zip(idx_test, Xt, tree.predict(Xt))], feats)

    # Classification tree: will it rain (1) or not (0)?
    feats = ["temp_max", "temp_min", "wind"]
    cols = [NUMERIC.index(f) for f in feats]
    X, Xt = X_all[idx_train][:, cols], X_all[idx_test][:, cols]
    rain = (weather == "rain").astype(int)
    tree = DecisionTreeClassifier(max_depth=4, random_state=0).fit(X, rain[idx_train])
    check_tree_agrees(tree, Xt)
    doc = Pmml()
    doc.dictionary(feats, "rain", "integer", ["0", "1"])
    tree_model(doc, tree, feats, "rain", classes=["0", "1"],
               output='<Output><OutputField name="predicted_rain" feature="predictedValue" dataType="integer"/>'
                      '<OutputField name="P_rain" feature="probability" value="1"/></Output>')
    doc.write("tree_classification.pmml")
    proba = tree.predict_proba(Xt)
    write_expected("tree_classification.csv", ["date"] + feats + ["predicted_rain", "P_rain"],
                   [[rows[i]["date"]] + [num(v) for v in x] + [int(p), num(pr[1])]
                    for i, x, p, pr in zip(idx_test, Xt, tree.predict(Xt), proba)], feats)

    # Random forest regression: temp_max (20 shallow trees, averaged).
    feats = ["precipitation", "temp_min", "wind"]
    cols = [NUMERIC.index(f) for f in feats]
    X, Xt = X_all[idx_train][:, cols], X_all[idx_test][:, cols]
    y = X_all[idx_train][:, NUMERIC.index("temp_max")]
    forest = RandomForestRegressor(n_estimators=20, max_depth=4, random_state=0).fit(X, y)
    doc = Pmml()
    doc.dictionary(feats, "temp_max", "double")
    doc.add('<MiningModel functionName="regression" modelName="forest">')
    doc.schema(feats, "temp_max")
    doc.add('<Segmentation multipleModelMethod="average">')
    for k, est in enumerate(forest.estimators_):
        check_tree_agrees(est, Xt)
        doc.add('<Segment id="%d"><True/>' % (k + 1))
        tree_model(doc, est, feats, "temp_max")
        doc.add('</Segment>')
    doc.add('</Segmentation></MiningModel>')
    doc.write("forest_regression.pmml")
    write_expected("forest_regression.csv", ["date"] + feats + ["temp_max"],
                   [[rows[i]["date"]] + [num(v) for v in x] + [num(p)]
                    for i, x, p in zip(idx_test, Xt, forest.predict(Xt))], feats)

    # Random forest classification: the weather (probabilities averaged over 20 trees).
    feats = NUMERIC
    X, Xt = X_all[idx_train], X_all[idx_test]
    forest = RandomForestClassifier(n_estimators=20, max_depth=4, random_state=0).fit(X, weather[idx_train])
    assert list(forest.classes_) == WEATHER
    doc = Pmml()
    doc.dictionary(feats, "weather", "string", WEATHER)
    doc.add('<MiningModel functionName="classification" modelName="forest">')
    doc.schema(feats, "weather")
    doc.add('<Output><OutputField name="predicted" feature="predictedValue" dataType="string"/>')
    for c in WEATHER:
        doc.add('<OutputField name="P_%s" feature="probability" value="%s" dataType="double"/>' % (c, c))
    doc.add('</Output>')
    doc.add('<Segmentation multipleModelMethod="average">')
    for k, est in enumerate(forest.estimators_):
        check_tree_agrees(est, Xt)
        # Each tree is fitted on class indexes; name the classes.
        doc.add('<Segment id="%d"><True/>' % (k + 1))
        tree_model(doc, est, feats, "weather", classes=WEATHER)
        doc.add('</Segment>')
    doc.add('</Segmentation></MiningModel>')
    doc.write("forest_classification.pmml")
    proba = forest.predict_proba(Xt)
    write_expected("forest_classification.csv",
                   ["date"] + feats + ["predicted"] + ["P_" + c for c in WEATHER],
                   [[rows[i]["date"]] + [num(v) for v in x] + [p] + [num(v) for v in pr]
                    for i, x, p, pr in zip(idx_test, Xt, forest.predict(Xt), proba)], feats)

    # Gradient boosting (binary): a chain of a summed tree ensemble and a logistic link.
    feats = ["temp_max", "temp_min", "wind"]
    cols = [NUMERIC.index(f) for f in feats]
    X, Xt = X_all[idx_train][:, cols], X_all[idx_test][:, cols]
    gb = GradientBoostingClassifier(n_estimators=10, max_depth=2, learning_rate=0.3,
                                    random_state=0).fit(X, rain[idx_train])
    init = float(gb._raw_predict_init(Xt[:1])[0][0])
    doc = Pmml()
    doc.dictionary(feats, "rain", "integer", ["0", "1"])
    doc.add('<MiningModel functionName="classification" modelName="boosting">')
    doc.schema(feats, "rain")
    doc.add('<Output><OutputField name="predicted_rain" feature="predictedValue" dataType="integer"/>'
            '<OutputField name="P_rain" feature="probability" value="1"/></Output>')
    doc.add('<Segmentation multipleModelMethod="modelChain">')
    doc.add('<Segment id="1"><True/><MiningModel functionName="regression">')
    doc.add('<MiningSchema>' + ''.join('<MiningField name="%s"/>' % f for f in feats) + '</MiningSchema>')
    doc.add('<Output><OutputField name="raw" feature="predictedValue" dataType="double"/></Output>')
    doc.add('<Targets><Target rescaleFactor="%s" rescaleConstant="%s"/></Targets>'
            % (num(gb.learning_rate), num(init)))
    doc.add('<Segmentation multipleModelMethod="sum">')
    for k, est in enumerate(gb.estimators_[:, 0]):
        check_tree_agrees(est, Xt)
        doc.add('<Segment id="1.%d"><True/>' % (k + 1))
        doc.add('<TreeModel functionName="regression"><MiningSchema>' +
                ''.join('<MiningField name="%s"/>' % f for f in feats) + '</MiningSchema>')
        tree_nodes(doc, est, feats)
        doc.add('</TreeModel></Segment>')
    doc.add('</Segmentation></MiningModel></Segment>')
    doc.add('<Segment id="2"><True/>'
            '<RegressionModel functionName="classification" normalizationMethod="logit">'
            '<MiningSchema><MiningField name="rain" usageType="target"/><MiningField name="raw"/></MiningSchema>'
            '<RegressionTable targetCategory="1" intercept="0"><NumericPredictor name="raw" coefficient="1"/></RegressionTable>'
            '<RegressionTable targetCategory="0" intercept="0"/>'
            '</RegressionModel></Segment>')
    doc.add('</Segmentation></MiningModel>')
    doc.write("boosting.pmml")
    proba = gb.predict_proba(Xt)
    write_expected("boosting.csv", ["date"] + feats + ["predicted_rain", "P_rain"],
                   [[rows[i]["date"]] + [num(v) for v in x] + [int(p), num(pr[1])]
                    for i, x, p, pr in zip(idx_test, Xt, gb.predict(Xt), proba)], feats)
    print("fixtures written to", OUT)


if __name__ == "__main__":
    sys.exit(main())
