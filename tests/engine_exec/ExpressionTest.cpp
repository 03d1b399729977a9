// Record expressions evaluated on a hand-made batch: three-valued logic, missing propagation,
// domain errors becoming missing, text functions on multi-byte characters, and type errors that
// name the culprit.
#include <gtest/gtest.h>

#include "qeinteg/platform/engine/exec/Expression.h"

using namespace qelocal;

namespace {

// Fields: b (integer 0/1 as a flag, row 2 missing), n (real), s (string).
struct Rows {
    std::vector<EngineField> fields{
        {"b", Storage::Integer}, {"n", Storage::Real}, {"s", Storage::String}};
    Batch batch;
    Rows() {
        batch.reset(fields);
        auto add = [&](const char* b, const char* n, const char* s) {
            b ? batch.columns[0].appendNumber(std::stod(b)) : batch.columns[0].appendMissing();
            n ? batch.columns[1].appendNumber(std::stod(n)) : batch.columns[1].appendMissing();
            s ? batch.columns[2].appendText(s) : batch.columns[2].appendMissing();
            ++batch.rows;
        };
        add("1", "2.5", "Ärger");
        add("0", "-4", "ΣΟΦΙΑ");
        add(nullptr, "0", "");
        add("1", nullptr, nullptr);
    }
    // The values of an expression as texts, "NA" for missing.
    std::vector<std::string> eval(const std::string& body) {
        auto e = CompiledExpression::Compile("ctx => x => " + body, fields, "test");
        const ValueVector& v = e->evaluate(batch);
        std::vector<std::string> out;
        for (size_t i = 0; i < batch.rows; ++i) {
            if (!v.valid[i]) {
                out.push_back("NA");
                continue;
            }
            Column c;
            c.storage = StorageOfValueType(v.type);
            AppendValue(c, v, i);
            if (c.isString()) {
                out.push_back(c.str[0]);
            } else {
                char buffer[32];
                std::snprintf(buffer, sizeof buffer, "%g", c.num[0]);
                out.push_back(buffer);
            }
        }
        return out;
    }
    std::string error(const std::string& body) {
        try {
            CompiledExpression::Compile("ctx => x => " + body, fields,
                                        "deriveFields (line 4, column 9)");
        } catch (const EngineError& e) {
            return e.what();
        }
        return "no error";
    }
};

using V = std::vector<std::string>;

}  // namespace

TEST(Expression, LogicIsThreeValuedAndComparisonsWithMissingAreMissing) {
    Rows r;
    EXPECT_EQ(r.eval("x.b == 1"), (V{"1", "0", "NA", "1"}));
    // false && missing is false; true || missing is true; otherwise missing stays missing.
    EXPECT_EQ(r.eval("x.b == 1 && x.n > 0"), (V{"1", "0", "0", "NA"}));
    EXPECT_EQ(r.eval("x.b == 0 && x.n > 0"), (V{"0", "0", "0", "0"}));
    EXPECT_EQ(r.eval("x.b == 1 || x.n > 0"), (V{"1", "0", "NA", "1"}));
    EXPECT_EQ(r.eval("!(x.b == 1)"), (V{"0", "1", "NA", "0"}));
    EXPECT_EQ(r.eval("isMissing(x.n) || isMissing(x.b)"), (V{"0", "0", "1", "1"}));
    EXPECT_EQ(r.eval("x.s < \"Z\""), (V{"0", "0", "1", "NA"}));  // byte order: "Ä" after "Z"
}

TEST(Expression, ArithmeticAndFunctionsGiveMissingOutsideTheirDomain) {
    Rows r;
    EXPECT_EQ(r.eval("x.n / x.b"), (V{"2.5", "NA", "NA", "NA"}));  // division by zero
    EXPECT_EQ(r.eval("x.b + 1"), (V{"2", "1", "NA", "2"}));
    EXPECT_EQ(r.eval("7 % 3 + x.b * 0"), (V{"1", "1", "NA", "1"}));
    EXPECT_EQ(r.eval("sqrt(x.n)"), (V{"1.58114", "NA", "0", "NA"}));
    EXPECT_EQ(r.eval("log(x.n)"), (V{"0.916291", "NA", "NA", "NA"}));
    EXPECT_EQ(r.eval("round(x.n)"), (V{"3", "-4", "0", "NA"}));  // halves away from zero
    EXPECT_EQ(r.eval("round(2.345, 2) + x.b * 0"), (V{"2.35", "2.35", "NA", "2.35"}));
    EXPECT_EQ(r.eval("abs(x.n)"), (V{"2.5", "4", "0", "NA"}));
    EXPECT_EQ(r.eval("floor(x.n)"), (V{"2", "-4", "0", "NA"}));
    EXPECT_EQ(r.eval("max(x.n, x.b)"), (V{"2.5", "0", "NA", "NA"}));
    EXPECT_EQ(r.eval("toInt(\"12.9\") + toInt(x.n)"), (V{"14", "8", "12", "NA"}));
    EXPECT_EQ(r.eval("toReal(x.s)"), (V{"NA", "NA", "NA", "NA"}));
    EXPECT_EQ(r.eval("date(2021, 2, 29 + x.b)"), (V{"NA", "NA", "NA", "NA"}));
    EXPECT_EQ(r.eval("toString(date(2020, 2, 28 + x.b))"),
              (V{"2020-02-29", "2020-02-28", "NA", "2020-02-29"}));
    EXPECT_EQ(r.eval("(if x.n > 0 then \"pos\" elif x.n < 0 then \"neg\" else \"zero\")"),
              (V{"pos", "neg", "zero", "zero"}));
}

TEST(Expression, TextFunctionsCountCharactersNotBytes) {
    Rows r;
    EXPECT_EQ(r.eval("length(x.s)"), (V{"5", "5", "0", "NA"}));
    EXPECT_EQ(r.eval("lower(x.s)"), (V{"ärger", "σοφια", "", "NA"}));
    EXPECT_EQ(r.eval("upper(substring(x.s, 2, 3))"), (V{"RGE", "ΟΦΙ", "", "NA"}));
    EXPECT_EQ(r.eval("substring(x.s, 0, 2)"), (V{"Ä", "Σ", "", "NA"}));
    EXPECT_EQ(r.eval("substring(x.s, 4)"), (V{"er", "ΙΑ", "", "NA"}));
    EXPECT_EQ(r.eval("x.s + \"/\" + x.b"), (V{"Ärger/1", "ΣΟΦΙΑ/0", "NA", "NA"}));
    EXPECT_EQ(r.eval("concat(x.s, x.n)"), (V{"Ärger2.5", "ΣΟΦΙΑ-4", "0", "NA"}));
}

TEST(Expression, TypeErrorsNameTheCallTheExpressionAndTheField) {
    Rows r;
    std::string e = r.error("x.s * 2");
    EXPECT_NE(e.find("deriveFields (line 4, column 9)"), std::string::npos) << e;
    EXPECT_NE(e.find("`x.s * 2`"), std::string::npos) << e;
    EXPECT_NE(e.find("field 's' (String)"), std::string::npos) << e;
    e = r.error("x.n > \"a\"");
    EXPECT_NE(e.find("field 'n' (Real)"), std::string::npos) << e;
    e = r.error("(if x.b == 1 then 1 else \"one\")");
    EXPECT_NE(e.find("differ"), std::string::npos) << e;
    e = r.error("x.nope + 1");
    EXPECT_NE(e.find("'nope'"), std::string::npos) << e;
    e = r.error("substring(x.s)");
    EXPECT_NE(e.find("substring takes 2 to 3 arguments"), std::string::npos) << e;
    e = r.error("x.n + ");
    EXPECT_NE(e.find("column"), std::string::npos) << e;
    e = r.error("\"unclosed");
    EXPECT_NE(e.find("not closed"), std::string::npos) << e;
    e = r.error("toTimestamp(x.s, \"not a format\")");
    EXPECT_NE(e.find("not a date/time format"), std::string::npos) << e;
}
