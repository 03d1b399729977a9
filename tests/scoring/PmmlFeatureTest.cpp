// The PMML subset of the scoring library, one hand-written document per feature, each checked
// against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ScoringTestSupport.h"
#include "qeinteg/platform/host/scoring/MCMV.h"
#include "qeinteg/platform/host/text/HostDates.h"

namespace {

using MCCommon_910::MCMV;
using MCCommon_910::Value;
using MCCommon_910::ValueRecord;
using scoringtest::Compile;
using scoringtest::CompileError;

const char* const kDictionary =
    "<DataDictionary>"
    "<DataField name='x' optype='continuous' dataType='double'><Value value='-999' "
    "property='missing'/></DataField>"
    "<DataField name='y' optype='continuous' dataType='double'/>"
    "<DataField name='c' optype='categorical' dataType='string'/>"
    "<DataField name='t' optype='continuous' dataType='double'/>"
    "</DataDictionary>";

std::string Doc(const std::string& body) {
    return std::string("<PMML version='4.4'>") + kDictionary + body + "</PMML>";
}

const char* const kSchema =
    "<MiningSchema><MiningField name='t' usageType='target'/><MiningField name='x'/>"
    "<MiningField name='y'/><MiningField name='c'/></MiningSchema>";

// Scores one record (x, y, c; nullopt = missing) and returns the output record.
class Scorer {
  public:
    explicit Scorer(const std::string& pmml) : computer_(Compile(pmml)), in_(2), out_(2) {
        if (!computer_)
            return;
        MCXML_910::MCVarList inputs;
        computer_->GetInputVariables(inputs);
        for (int i = 0; i < inputs.Count(); ++i)
            in_.AddValue(inputs.Get(i)->GetName(), Value());
        computer_->PrepareOutputRecord(out_);
    }
    bool ok() const { return computer_ != nullptr; }
    // Sets an input by name: a number, a string, or missing.
    Scorer& Set(const std::string& name, double v) {
        in_.At(in_.Find(name)).SetDouble(v);
        return *this;
    }
    Scorer& Set(const std::string& name, const char* v) {
        in_.At(in_.Find(name)).SetString(v);
        return *this;
    }
    Scorer& Missing(const std::string& name) {
        in_.At(in_.Find(name)).SetMissing();
        return *this;
    }
    const ValueRecord& Score() {
        EXPECT_TRUE(computer_->Score(in_, out_, nullptr).IsOK());
        return out_;
    }
    double Number(const std::string& output) {
        const ValueRecord& r = Score();
        return r.GetDouble(r.Find(output));
    }
    MCXML_910::IMCScoreComputer& computer() { return *computer_; }

  private:
    std::unique_ptr<MCXML_910::IMCScoreComputer> computer_;
    ValueRecord in_;
    ValueRecord out_;
};

TEST(PmmlDocumentTest, RefusedDocumentsNameTheirCause) {
    EXPECT_NE(CompileError("this is not xml <").find("not XML"), std::string::npos);
    EXPECT_NE(CompileError("").find("empty"), std::string::npos);
    EXPECT_NE(CompileError("<model/>").find("'model'"), std::string::npos);
    EXPECT_NE(CompileError(Doc("<NeuralNetwork functionName='regression'/>")).find("NeuralNetwork"),
              std::string::npos);
    EXPECT_NE(CompileError(Doc(std::string("<TreeModel functionName='regression'>") + kSchema +
                               "<Node><True/><Regression/></Node></TreeModel>"))
                  .find("'Regression'"),
              std::string::npos);
    EXPECT_NE(
        CompileError(Doc(std::string("<RegressionModel functionName='regression'>") + kSchema +
                         "<RegressionTable><NumericPredictor name='nope' "
                         "coefficient='1'/></RegressionTable></RegressionModel>"))
            .find("'nope'"),
        std::string::npos);
    EXPECT_NE(CompileError(Doc("<TransformationDictionary><DerivedField name='d'>"
                               "<Apply function='x-secret'><FieldRef field='x'/></Apply>"
                               "</DerivedField></TransformationDictionary>"))
                  .find("'x-secret'"),
              std::string::npos);
    EXPECT_NE(CompileError(Doc(std::string("<RegressionModel functionName='clustering'>") +
                               kSchema + "</RegressionModel>"))
                  .find("clustering"),
              std::string::npos);
    EXPECT_NE(
        CompileError(Doc(std::string("<RegressionModel functionName='regression'>") + kSchema +
                         "<Output><OutputField name='o' feature='reasonCode'/></Output>"
                         "<RegressionTable intercept='1'/></RegressionModel>"))
            .find("reasonCode"),
        std::string::npos);
}

TEST(PmmlDocumentTest, DerivedFieldsComputeTheirTransformations) {
    Scorer s(Doc(
        "<TransformationDictionary>"
        "<DerivedField name='norm' dataType='double' optype='continuous'><NormContinuous field='x' "
        "outliers='asExtremeValues'><LinearNorm orig='0' norm='0'/><LinearNorm orig='10' norm='1'/>"
        "<LinearNorm orig='20' norm='3'/></NormContinuous></DerivedField>"
        "<DerivedField name='isRed' dataType='double' optype='continuous'><NormDiscrete field='c' "
        "value='red' mapMissingTo='-1'/></DerivedField>"
        "<DerivedField name='band' dataType='string' optype='categorical'><Discretize field='x' "
        "defaultValue='other'><DiscretizeBin binValue='low'><Interval closure='openClosed' "
        "rightMargin='5'/></DiscretizeBin><DiscretizeBin binValue='mid'><Interval "
        "closure='openClosed' leftMargin='5' rightMargin='15'/></DiscretizeBin></Discretize>"
        "</DerivedField>"
        "<DerivedField name='code' dataType='double' optype='continuous'><MapValues "
        "outputColumn='out' defaultValue='0' dataType='double'><FieldColumnPair field='c' "
        "column='in'/><InlineTable><row><in>red</in><out>1</out></row><row><in>blue</in><out>2</"
        "out>"
        "</row></InlineTable></MapValues></DerivedField>"
        "<DerivedField name='calc' dataType='double' optype='continuous'><Apply function='+'>"
        "<Apply function='*'><FieldRef field='x'/><Constant>2</Constant></Apply>"
        "<Apply function='ln'><FieldRef field='y'/></Apply></Apply></DerivedField>"
        "<DerivedField name='choice' dataType='string' optype='categorical'><Apply function='if'>"
        "<Apply function='isMissing'><FieldRef field='y'/></Apply><Constant>none</Constant>"
        "<Apply function='uppercase'><FieldRef field='c'/></Apply></Apply></DerivedField>"
        "<DerivedField name='chain' dataType='double' optype='continuous'><Apply function='-'>"
        "<FieldRef field='calc'/><Constant>1</Constant></Apply></DerivedField>"
        "</TransformationDictionary>"));
    ASSERT_TRUE(s.ok());
    // No model: a transformation computer, whose outputs are the derived fields.
    EXPECT_EQ(s.computer().GetKind(), MCXML_910::IMCScoreComputer::TransformationKind);
    ASSERT_EQ(s.computer().GetOutputCount(), 7);

    s.Set("x", 15.0).Set("y", std::exp(1.0)).Set("c", "red");
    const ValueRecord& r = s.Score();
    EXPECT_DOUBLE_EQ(r.GetDouble(r.Find("norm")), 2.0);
    EXPECT_EQ(r.GetDouble(r.Find("isRed")), 1.0);
    EXPECT_EQ(r.At(r.Find("band")).GetString(), "mid");
    EXPECT_EQ(r.GetDouble(r.Find("code")), 1.0);
    EXPECT_DOUBLE_EQ(r.GetDouble(r.Find("calc")), 31.0);
    EXPECT_EQ(r.At(r.Find("choice")).GetString(), "RED");
    EXPECT_DOUBLE_EQ(r.GetDouble(r.Find("chain")), 30.0);

    // Outliers clamp, unknown categories take defaults, missing inputs their replacements.
    s.Set("x", 40.0).Missing("y").Set("c", "green");
    const ValueRecord& r2 = s.Score();
    EXPECT_DOUBLE_EQ(r2.GetDouble(r2.Find("norm")), 3.0);
    EXPECT_EQ(r2.GetDouble(r2.Find("isRed")), 0.0);
    EXPECT_EQ(r2.At(r2.Find("band")).GetString(), "other");
    EXPECT_EQ(r2.GetDouble(r2.Find("code")), 0.0);
    EXPECT_TRUE(r2.At(r2.Find("calc")).IsMissing());
    EXPECT_EQ(r2.At(r2.Find("choice")).GetString(), "none");

    // A dictionary value declared missing is missing; a missing string maps to mapMissingTo.
    s.Set("x", -999.0).Set("y", 1.0).Missing("c");
    const ValueRecord& r3 = s.Score();
    EXPECT_TRUE(r3.At(r3.Find("norm")).IsMissing());
    EXPECT_EQ(r3.GetDouble(r3.Find("isRed")), -1.0);
}

TEST(PmmlDocumentTest, MiningFieldsReplaceMissingValuesAndTreatOutliers) {
    Scorer s(
        Doc("<RegressionModel functionName='regression'><MiningSchema>"
            "<MiningField name='t' usageType='target'/>"
            "<MiningField name='x' missingValueReplacement='4' outliers='asExtremeValues' "
            "lowValue='0' highValue='10'/>"
            "<MiningField name='y' usageType='supplementary'/>"
            "<MiningField name='c' missingValueReplacement='b'/></MiningSchema>"
            "<RegressionTable intercept='1'><NumericPredictor name='x' coefficient='2'/>"
            "<CategoricalPredictor name='c' value='b' coefficient='100'/></RegressionTable>"
            "</RegressionModel>"));
    ASSERT_TRUE(s.ok());
    // Only active fields are inputs: y (supplementary) is not asked for.
    MCXML_910::MCVarList inputs;
    s.computer().GetInputVariables(inputs);
    ASSERT_EQ(inputs.Count(), 2);
    EXPECT_EQ(inputs.Get(0)->GetName(), "x");
    EXPECT_EQ(inputs.Get(1)->GetName(), "c");
    EXPECT_EQ(inputs.Get(1)->GetValueType(), Value::String);
    EXPECT_EQ(inputs.Get(1)->GetStorage(), 3);
    EXPECT_EQ(inputs.Get(0)->GetStorage(), 2);

    EXPECT_DOUBLE_EQ(s.Set("x", 3.0).Set("c", "a").Number("t"), 7.0);
    EXPECT_DOUBLE_EQ(s.Missing("x").Set("c", "a").Number("t"), 9.0);
    EXPECT_DOUBLE_EQ(s.Set("x", 50.0).Missing("c").Number("t"), 121.0);
    EXPECT_DOUBLE_EQ(s.Set("x", -5.0).Set("c", "b").Number("t"), 101.0);
}

// A tree whose first split is on x; with x missing each strategy answers differently.
std::string StrategyTree(const std::string& strategy) {
    return Doc("<TreeModel functionName='regression' missingValueStrategy='" + strategy +
               "' noTrueChildStrategy='returnLastPrediction'>" + kSchema +
               "<Node id='root' score='1' recordCount='100' defaultChild='right'><True/>"
               "<Node id='left' score='10' recordCount='25'>"
               "<SimplePredicate field='x' operator='lessThan' value='5'/></Node>"
               "<Node id='right' score='20' recordCount='75'>"
               "<SimplePredicate field='x' operator='greaterOrEqual' value='5'/></Node>"
               "</Node></TreeModel>");
}

TEST(PmmlTreeTest, MissingValueStrategiesEachGiveTheirAnswer) {
    struct Expect {
        const char* strategy;
        double value;  // NaN: no prediction
    };
    const Expect cases[] = {
        {"none", 1.0},  // both children unknown: no true child, the last prediction
        {"lastPrediction", 1.0},
        {"nullPrediction", std::nan("")},
        {"defaultChild", 20.0},
        {"weightedConfidence", 0.25 * 10 + 0.75 * 20},
        {"aggregateNodes", 0.25 * 10 + 0.75 * 20},
    };
    for (const Expect& e : cases) {
        SCOPED_TRACE(e.strategy);
        Scorer s(StrategyTree(e.strategy));
        ASSERT_TRUE(s.ok());
        EXPECT_EQ(s.Set("x", 7.0).Set("y", 0.0).Set("c", "").Number("t"), 20.0);
        const double got = s.Missing("x").Number("t");
        if (std::isnan(e.value))
            EXPECT_EQ(got, MCMV::Missing());
        else
            EXPECT_DOUBLE_EQ(got, e.value);
    }
}

TEST(PmmlTreeTest, SetAndCompoundPredicatesFollowThreeValuedLogic) {
    Scorer s(Doc(
        std::string("<TreeModel functionName='regression' missingValueStrategy='nullPrediction'>") +
        kSchema +
        "<Node score='0'><True/>"
        "<Node score='1'><CompoundPredicate booleanOperator='and'>"
        "<SimpleSetPredicate field='c' booleanOperator='isIn'><Array type='string'>"
        "a \"b c\"</Array></SimpleSetPredicate>"
        "<SimplePredicate field='y' operator='greaterThan' value='0'/></CompoundPredicate></Node>"
        "<Node score='2'><CompoundPredicate booleanOperator='surrogate'>"
        "<SimplePredicate field='x' operator='equal' value='1'/>"
        "<SimplePredicate field='y' operator='lessThan' value='0'/></CompoundPredicate></Node>"
        "<Node score='3'><True/></Node>"
        "</Node></TreeModel>"));
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s.Set("c", "b c").Set("y", 1.0).Set("x", 0.0).Number("t"), 1.0);
    // "and" with a false part is false even when another part is unknown.
    EXPECT_EQ(s.Set("c", "z").Missing("y").Set("x", 0.0).Number("t"), 3.0);
    // The surrogate falls back to y when x is missing.
    EXPECT_EQ(s.Set("c", "z").Set("y", -1.0).Missing("x").Number("t"), 2.0);
    // "and" with an unknown part and no false part is unknown: no prediction.
    EXPECT_EQ(s.Set("c", "a").Missing("y").Set("x", 0.0).Number("t"), MCMV::Missing());
}

std::string ConstantTree(const std::string& score, const std::string& extra = "") {
    return "<TreeModel functionName='classification'>" + std::string(kSchema) + "<Node score='" +
           score + "'><True/>" + extra + "</Node></TreeModel>";
}

TEST(PmmlEnsembleTest, CombinationMethodsAggregateTheirSegments) {
    auto regression = [](const std::string& method) {
        std::string segments;
        const char* scores[] = {"1", "2", "6"};
        for (int i = 0; i < 3; ++i) {
            segments += "<Segment weight='" + std::to_string(i + 1) + "'><True/>" +
                        "<TreeModel functionName='regression'>" + kSchema + "<Node score='" +
                        scores[i] + "'><True/></Node></TreeModel></Segment>";
        }
        return Doc("<MiningModel functionName='regression'>" + std::string(kSchema) +
                   "<Segmentation multipleModelMethod='" + method + "'>" + segments +
                   "</Segmentation></MiningModel>");
    };
    const std::pair<const char*, double> cases[] = {
        {"sum", 9.0},    {"average", 3.0}, {"weightedAverage", (1 + 4 + 18) / 6.0},
        {"median", 2.0}, {"max", 6.0},     {"selectFirst", 1.0}};
    for (const auto& [method, value] : cases) {
        SCOPED_TRACE(method);
        Scorer s(regression(method));
        ASSERT_TRUE(s.ok());
        EXPECT_DOUBLE_EQ(s.Set("x", 0.0).Set("y", 0.0).Set("c", "").Number("t"), value);
    }

    // Votes: two trees say "b", one says "a"; the weighted vote turns it round.
    const std::string votes =
        "<Output><OutputField name='p' feature='predictedValue' dataType='string'/>"
        "<OutputField name='pa' feature='probability' value='a'/></Output>"
        "<Segmentation multipleModelMethod='METHOD'>"
        "<Segment weight='5'><True/>" +
        ConstantTree("a") +
        "</Segment>"
        "<Segment weight='1'><True/>" +
        ConstantTree("b") +
        "</Segment>"
        "<Segment weight='1'><True/>" +
        ConstantTree("b") + "</Segment></Segmentation>";
    for (const auto& [method, winner, pa] : {std::tuple{"majorityVote", "b", 1.0 / 3},
                                             std::tuple{"weightedMajorityVote", "a", 5.0 / 7}}) {
        SCOPED_TRACE(method);
        std::string body = votes;
        body.replace(body.find("METHOD"), 6, method);
        Scorer s(Doc("<MiningModel functionName='classification'>" + std::string(kSchema) + body +
                     "</MiningModel>"));
        ASSERT_TRUE(s.ok());
        const ValueRecord& r = s.Set("x", 0.0).Set("y", 0.0).Set("c", "").Score();
        EXPECT_EQ(r.At(r.Find("p")).GetString(), winner);
        EXPECT_DOUBLE_EQ(r.GetDouble(r.Find("pa")), pa);
    }
}

TEST(PmmlRegressionTest, NormalisationsAndLinksMatchTheirFormulas) {
    // Binary logit: the first table through the logistic function, the last takes the rest.
    Scorer logit(
        Doc("<RegressionModel functionName='classification' normalizationMethod='logit'>"
            "<MiningSchema><MiningField name='c' usageType='target'/><MiningField name='x'/>"
            "</MiningSchema><Output><OutputField name='pyes' feature='probability' "
            "value='yes'/><OutputField name='pno' feature='probability' value='no'/>"
            "</Output><RegressionTable targetCategory='yes' intercept='0.5'>"
            "<NumericPredictor name='x' coefficient='2' exponent='2'/></RegressionTable>"
            "<RegressionTable targetCategory='no' intercept='0'/></RegressionModel>"));
    ASSERT_TRUE(logit.ok());
    const double p = 1 / (1 + std::exp(-(0.5 + 2 * 9)));
    EXPECT_DOUBLE_EQ(logit.Set("x", 3.0).Number("pyes"), p);
    EXPECT_DOUBLE_EQ(logit.Set("x", 3.0).Number("pno"), 1 - p);
    EXPECT_EQ(logit.Missing("x").Number("pyes"), MCMV::Missing());

    // A generalized linear model with a logit link and a factor.
    Scorer glm(Doc(
        "<GeneralRegressionModel functionName='regression' modelType='generalizedLinear' "
        "linkFunction='logit'>" +
        std::string(kSchema) +
        "<ParameterList><Parameter name='p0'/><Parameter name='p1'/><Parameter name='p2'/>"
        "</ParameterList><FactorList><Predictor name='c'/></FactorList><CovariateList>"
        "<Predictor name='x'/></CovariateList><PPMatrix><PPCell value='red' predictorName='c' "
        "parameterName='p1'/><PPCell value='1' predictorName='x' parameterName='p2'/></PPMatrix>"
        "<ParamMatrix><PCell parameterName='p0' beta='-1'/><PCell parameterName='p1' beta='0.5'/>"
        "<PCell parameterName='p2' beta='0.25'/></ParamMatrix></GeneralRegressionModel>"));
    ASSERT_TRUE(glm.ok());
    EXPECT_DOUBLE_EQ(glm.Set("x", 2.0).Set("y", 0.0).Set("c", "red").Number("t"),
                     1 / (1 + std::exp(-(-1 + 0.5 + 0.5))));
    EXPECT_DOUBLE_EQ(glm.Set("x", 2.0).Set("y", 0.0).Set("c", "blue").Number("t"),
                     1 / (1 + std::exp(-(-1 + 0.5))));
}

TEST(PmmlScoreTest, RecordsWithoutTheInputsAreErrorsNotGuesses) {
    auto computer = Compile(scoringtest::Fixture("linear.pmml"));
    ASSERT_NE(computer, nullptr);
    ValueRecord in(2), out(2);
    in.AddValue("precipitation", Value(1.0));
    in.AddValue("wind", Value(1.0));  // temp_min is absent
    // An output record that was not prepared is refused.
    EXPECT_TRUE(computer->Score(in, out, nullptr).IsError());
    computer->PrepareOutputRecord(out);
    out.At(0).SetDouble(42);
    const auto status = computer->Score(in, out, nullptr);
    EXPECT_TRUE(status.IsError());
    EXPECT_NE(status.GetMessage().find("temp_min"), std::string::npos);
    EXPECT_TRUE(out.At(0).IsMissing());
    // Every input missing: not an error, and no prediction.
    in.AddValue("temp_min", Value());
    in.At(0).SetMissing();
    in.At(1).SetMissing();
    EXPECT_TRUE(computer->Score(in, out, nullptr).IsOK());
    EXPECT_TRUE(out.At(0).IsMissing());
}

TEST(PmmlScoreTest, DatesArriveInHostSecondsAndModelsCountFromTheirEpoch) {
    Scorer s(
        "<PMML version='4.4'><DataDictionary>"
        "<DataField name='d' optype='continuous' dataType='dateDaysSince[1970]'/>"
        "<DataField name='t' optype='continuous' dataType='double'/></DataDictionary>"
        "<TreeModel functionName='regression'><MiningSchema><MiningField name='t' "
        "usageType='target'/><MiningField name='d'/></MiningSchema>"
        "<Node score='0'><True/><Node score='-1'><SimplePredicate field='d' "
        "operator='isMissing'/></Node><Node score='1'><SimplePredicate field='d' "
        "operator='greaterOrEqual' value='10'/></Node></Node></TreeModel></PMML>");
    ASSERT_TRUE(s.ok());
    MCXML_910::MCVarList inputs;
    s.computer().GetInputVariables(inputs);
    EXPECT_EQ(inputs.Get(0)->GetStorage(), 4);
    const double epoch = qehost::HostDateNumber(1970, 1, 1);
    EXPECT_EQ(s.Set("d", epoch + 10 * 86400.0).Number("t"), 1.0);
    EXPECT_EQ(s.Set("d", epoch + 9 * 86400.0).Number("t"), MCMV::Missing());
    EXPECT_EQ(s.Missing("d").Number("t"), -1.0);
}

}  // namespace

namespace {

TEST(PmmlDocumentTest, HostileNestingIsRefusedOrCutShortWithoutACrash) {
    // Elements nested far deeper than any model needs.
    std::string deep = Doc("<TransformationDictionary><DerivedField name='d'>");
    for (int i = 0; i < 5000; ++i)
        deep += "<Apply function='abs'>";
    deep += "<FieldRef field='x'/>";
    for (int i = 0; i < 5000; ++i)
        deep += "</Apply>";
    deep += "</DerivedField></TransformationDictionary>";
    deep.replace(deep.find("</PMML>"), 7, "");
    deep += "</PMML>";
    EXPECT_NE(CompileError(deep).find("deep"), std::string::npos);

    // A long chain of derived fields, each defined through the next; and a field defined through
    // itself.
    std::string chain = "<TransformationDictionary>";
    for (int i = 0; i < 3000; ++i) {
        chain += "<DerivedField name='f" + std::to_string(i) + "'><FieldRef field='f" +
                 std::to_string(i + 1) + "'/></DerivedField>";
    }
    chain +=
        "<DerivedField name='f3000'><FieldRef field='x'/></DerivedField>"
        "<DerivedField name='self'><Apply function='+'><FieldRef field='self'/>"
        "<Constant>1</Constant></Apply></DerivedField></TransformationDictionary>";
    Scorer s(Doc(chain));
    ASSERT_TRUE(s.ok());
    const ValueRecord& r = s.Set("x", 1.0).Set("y", 1.0).Set("c", "").Score();
    EXPECT_TRUE(r.At(r.Find("f0")).IsMissing());
    EXPECT_EQ(r.GetDouble(r.Find("f2500")), 1.0);
    EXPECT_TRUE(r.At(r.Find("self")).IsMissing());
}

}  // namespace
