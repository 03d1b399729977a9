// The model types: regression, general regression, tree and mining (ensembles and chains).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string>

#include "qeinteg/platform/host/scoring/PmmlCore.h"

namespace mcpmml {

namespace {

bool Is(const pugi::xml_node& node, const char* name) {
    return std::strcmp(node.name(), name) == 0;
}

// Fails naming the first child element that is neither common to models nor in `allowed`.
bool CheckChildren(Compiler& c, const pugi::xml_node& node,
                   std::initializer_list<const char*> allowed) {
    static const char* const kCommon[] = {"MiningSchema", "LocalTransformations", "Targets",
                                          "Output"};
    for (pugi::xml_node child : node.children()) {
        if (child.type() != pugi::node_element || IsIgnorableElement(child.name()))
            continue;
        bool ok = false;
        for (const char* n : kCommon)
            ok = ok || Is(child, n);
        for (const char* n : allowed)
            ok = ok || Is(child, n);
        if (!ok)
            return c.Fail(std::string("unsupported element '") + child.name() + "' in " +
                          node.name());
    }
    return true;
}

// Inverse link and normalisation functions shared by the regression models.
enum class Link { Identity, Exp, Logit, Probit, Cloglog, Loglog, Cauchit, Logc, Power, Inverse };

bool ParseLink(const std::string& text, Link& link) {
    static const std::pair<const char*, Link> kLinks[] = {
        {"none", Link::Identity},   {"identity", Link::Identity}, {"exp", Link::Exp},
        {"log", Link::Exp},         {"softmax", Link::Logit},     {"logit", Link::Logit},
        {"probit", Link::Probit},   {"cloglog", Link::Cloglog},   {"loglog", Link::Loglog},
        {"cauchit", Link::Cauchit}, {"logc", Link::Logc},         {"power", Link::Power},
        {"inverse", Link::Inverse}};
    for (const auto& [name, code] : kLinks) {
        if (text == name) {
            link = code;
            return true;
        }
    }
    return false;
}

double ApplyLink(Link link, double y, double power = 1) {
    switch (link) {
        case Link::Identity:
            return y;
        case Link::Exp:
            return std::exp(y);
        case Link::Logit:
            return 1 / (1 + std::exp(-y));
        case Link::Probit:
            return 0.5 * std::erfc(-y / std::sqrt(2.0));
        case Link::Cloglog:
            return 1 - std::exp(-std::exp(y));
        case Link::Loglog:
            return std::exp(-std::exp(-y));
        case Link::Cauchit:
            return 0.5 + std::atan(y) / M_PI;
        case Link::Logc:
            return 1 - std::exp(y);
        case Link::Power:
            return power == 0 ? std::exp(y) : std::pow(y, 1 / power);
        case Link::Inverse:
            return 1 / y;
    }
    return y;
}

// ---- RegressionModel ------------------------------------------------------------------------

struct NumericTerm {
    int slot;
    double coefficient;
    double exponent;
};

struct CategoricalTerm {
    Predicate equals;
    double coefficient;
};

struct ProductTerm {
    std::vector<int> slots;
    double coefficient;
};

struct RegressionTable {
    double intercept = 0;
    int category = -1;
    std::vector<NumericTerm> numeric;
    std::vector<CategoricalTerm> categorical;
    std::vector<ProductTerm> products;

    // False when an input is missing.
    bool Value(Context& ctx, double& y) const {
        double sum = intercept;
        for (const NumericTerm& t : numeric) {
            const Cell& v = ctx.Get(t.slot);
            if (v.kind != Cell::Number)
                return false;
            sum += t.coefficient * (t.exponent == 1 ? v.num : std::pow(v.num, t.exponent));
        }
        for (const CategoricalTerm& t : categorical) {
            const Truth truth = t.equals.Eval(ctx);
            if (truth == Truth::Unknown)
                return false;
            if (truth == Truth::True)
                sum += t.coefficient;
        }
        for (const ProductTerm& t : products) {
            double p = t.coefficient;
            for (int slot : t.slots) {
                const Cell& v = ctx.Get(slot);
                if (v.kind != Cell::Number)
                    return false;
                p *= v.num;
            }
            sum += p;
        }
        y = sum;
        return true;
    }
};

class RegressionModelImpl final : public Model {
  public:
    std::vector<RegressionTable> tables;
    std::string normalization;
    Link link = Link::Identity;

  protected:
    void Evaluate(Context& ctx, ModelResult& result) const override {
        if (!classification) {
            double y;
            if (!tables[0].Value(ctx, y))
                return;
            result.value = ApplyLink(link, y);
            result.valid = true;
            return;
        }
        const size_t n = tables.size();
        double ys[16];
        std::vector<double> many;
        double* y = ys;
        if (n > 16) {
            many.resize(n);
            y = many.data();
        }
        for (size_t i = 0; i < n; ++i) {
            if (!tables[i].Value(ctx, y[i]))
                return;
        }
        if (normalization == "softmax") {
            const double top = *std::max_element(y, y + n);
            double sum = 0;
            for (size_t i = 0; i < n; ++i) {
                y[i] = std::exp(y[i] - top);
                sum += y[i];
            }
            for (size_t i = 0; i < n; ++i)
                y[i] /= sum;
        } else if (normalization == "simplemax") {
            double sum = 0;
            for (size_t i = 0; i < n; ++i)
                sum += y[i];
            for (size_t i = 0; i < n; ++i)
                y[i] /= sum;
        } else {
            // logit, probit, cloglog, loglog, cauchit, none: every table but the last through the
            // inverse link; the last category takes what is left.
            double sum = 0;
            for (size_t i = 0; i + 1 < n; ++i) {
                y[i] = ApplyLink(link, y[i]);
                sum += y[i];
            }
            y[n - 1] = n == 1 ? ApplyLink(link, y[0]) : 1 - sum;
        }
        result.probs.assign(categories.size(), 0.0);
        for (size_t i = 0; i < n; ++i)
            result.probs[static_cast<size_t>(tables[i].category)] = y[i];
        result.valid = true;
    }
};

}  // namespace

std::unique_ptr<Model> CompileRegressionModel(Compiler& c, const pugi::xml_node& node, Scope& scope,
                                              const ModelHeader& header) {
    if (!CheckChildren(c, node, {"RegressionTable"}))
        return nullptr;
    auto model = std::make_unique<RegressionModelImpl>();
    ApplyHeader(*model, header);
    model->normalization = node.attribute("normalizationMethod").as_string("none");
    if (!ParseLink(model->normalization, model->link)) {
        c.Fail("normalizationMethod '" + model->normalization +
               "' of RegressionModel is not supported");
        return nullptr;
    }
    if (!model->classification && model->normalization == "softmax")
        model->link = Link::Logit;
    for (pugi::xml_node t : node.children("RegressionTable")) {
        RegressionTable table;
        table.intercept = t.attribute("intercept").as_double(0);
        if (model->classification)
            table.category = CategoryIndexOrAdd(*model, t.attribute("targetCategory").value());
        for (pugi::xml_node p : t.children()) {
            if (p.type() != pugi::node_element || IsIgnorableElement(p.name()))
                continue;
            if (Is(p, "NumericPredictor")) {
                const int slot = c.Resolve(scope, p.attribute("name").value(), "NumericPredictor");
                if (slot < 0)
                    return nullptr;
                table.numeric.push_back(NumericTerm{slot, p.attribute("coefficient").as_double(),
                                                    p.attribute("exponent").as_double(1)});
            } else if (Is(p, "CategoricalPredictor")) {
                const int slot =
                    c.Resolve(scope, p.attribute("name").value(), "CategoricalPredictor");
                if (slot < 0)
                    return nullptr;
                CategoricalTerm term;
                term.equals.kind = Predicate::Compare;
                term.equals.op = Predicate::Eq;
                term.equals.slot = slot;
                const std::string value = p.attribute("value").value();
                term.equals.numericConst = ParseNumber(value, term.equals.number, true);
                term.equals.text = c.Doc().Keep(value);
                term.coefficient = p.attribute("coefficient").as_double();
                table.categorical.push_back(term);
            } else if (Is(p, "PredictorTerm")) {
                ProductTerm term;
                term.coefficient = p.attribute("coefficient").as_double();
                for (pugi::xml_node ref : p.children("FieldRef")) {
                    const int slot =
                        c.Resolve(scope, ref.attribute("field").value(), "PredictorTerm");
                    if (slot < 0)
                        return nullptr;
                    term.slots.push_back(slot);
                }
                table.products.push_back(std::move(term));
            } else {
                c.Fail(std::string("unsupported element '") + p.name() + "' in RegressionTable");
                return nullptr;
            }
        }
        model->tables.push_back(std::move(table));
    }
    if (model->tables.empty() || (!model->classification && model->tables.size() != 1)) {
        c.Fail("a RegressionModel for " +
               std::string(model->classification ? "classification" : "regression") + " needs " +
               (model->classification ? "at least one" : "exactly one") + " RegressionTable");
        return nullptr;
    }
    return model;
}

// ---- GeneralRegressionModel -----------------------------------------------------------------

namespace {

struct ParamFactor {
    bool covariate;
    int slot;
    double exponent;   // covariate
    Predicate equals;  // factor
};

struct GlmParameter {
    std::vector<ParamFactor> factors;  // empty: the intercept
};

class GeneralRegressionModelImpl final : public Model {
  public:
    std::vector<GlmParameter> parameters;
    // betas[k][p]: coefficient of parameter p for equation k (one equation for regression).
    std::vector<std::vector<double>> betas;
    std::vector<int> equationCategory;  // classification: the category of each equation
    bool multinomial = false;
    Link link = Link::Identity;
    double linkPower = 1;
    int offsetSlot = -1;
    double offsetValue = 0;

  protected:
    void Evaluate(Context& ctx, ModelResult& result) const override {
        double xs[64];
        std::vector<double> many;
        double* x = xs;
        if (parameters.size() > 64) {
            many.resize(parameters.size());
            x = many.data();
        }
        for (size_t p = 0; p < parameters.size(); ++p) {
            double v = 1;
            for (const ParamFactor& f : parameters[p].factors) {
                if (f.covariate) {
                    const Cell& c = ctx.Get(f.slot);
                    if (c.kind != Cell::Number)
                        return;
                    v *= f.exponent == 1 ? c.num : std::pow(c.num, f.exponent);
                } else {
                    const Truth t = f.equals.Eval(ctx);
                    if (t == Truth::Unknown)
                        return;
                    if (t == Truth::False)
                        v = 0;
                }
            }
            x[p] = v;
        }
        double offset = offsetValue;
        if (offsetSlot >= 0) {
            const Cell& c = ctx.Get(offsetSlot);
            if (c.kind != Cell::Number)
                return;
            offset += c.num;
        }
        auto eta = [&](size_t k) {
            double s = offset;
            for (size_t p = 0; p < parameters.size(); ++p)
                s += betas[k][p] * x[p];
            return s;
        };
        if (!classification) {
            result.value = ApplyLink(link, eta(0), linkPower);
            result.valid = true;
            return;
        }
        result.probs.assign(categories.size(), 0.0);
        if (multinomial) {
            // Categories without an equation have a linear predictor of 0.
            std::vector<double> e(categories.size(), 0.0);
            for (size_t k = 0; k < betas.size(); ++k)
                e[static_cast<size_t>(equationCategory[k])] = eta(k);
            const double top = *std::max_element(e.begin(), e.end());
            double sum = 0;
            for (double& v : e) {
                v = std::exp(v - top);
                sum += v;
            }
            for (size_t i = 0; i < e.size(); ++i)
                result.probs[i] = e[i] / sum;
        } else {
            // Binary: the equation gives the probability of its category.
            const double p = ApplyLink(link, eta(0), linkPower);
            const size_t k = static_cast<size_t>(equationCategory[0]);
            for (size_t i = 0; i < result.probs.size(); ++i)
                result.probs[i] = i == k ? p : (result.probs.size() == 2 ? 1 - p : 0);
        }
        result.valid = true;
    }
};

}  // namespace

std::unique_ptr<Model> CompileGeneralRegressionModel(Compiler& c, const pugi::xml_node& node,
                                                     Scope& scope, const ModelHeader& header) {
    if (!CheckChildren(c, node,
                       {"ParameterList", "FactorList", "CovariateList", "PPMatrix", "PCovMatrix",
                        "ParamMatrix", "EventValues", "BaseCumHazardTables"}))
        return nullptr;
    auto model = std::make_unique<GeneralRegressionModelImpl>();
    ApplyHeader(*model, header);
    const std::string type = node.attribute("modelType").value();
    if (type == "regression" || type == "generalLinear") {
        model->link = Link::Identity;
    } else if (type == "generalizedLinear") {
        const std::string link = node.attribute("linkFunction").value();
        if (!ParseLink(link, model->link) || link == "none" || link == "exp" || link == "softmax") {
            c.Fail("linkFunction '" + link + "' of GeneralRegressionModel is not supported");
            return nullptr;
        }
        model->linkPower = node.attribute("linkParameter").as_double(1);
    } else if (type == "multinomialLogistic") {
        model->multinomial = true;
        if (!model->classification) {
            c.Fail("a multinomialLogistic GeneralRegressionModel must be a classification");
            return nullptr;
        }
    } else {
        c.Fail("modelType '" + type + "' of GeneralRegressionModel is not supported");
        return nullptr;
    }
    if (node.attribute("trialsVariable") || node.attribute("trialsValue")) {
        c.Fail("trials of GeneralRegressionModel are not supported");
        return nullptr;
    }
    if (node.attribute("offsetVariable")) {
        model->offsetSlot = c.Resolve(scope, node.attribute("offsetVariable").value(),
                                      "GeneralRegressionModel offsetVariable");
        if (model->offsetSlot < 0)
            return nullptr;
    }
    model->offsetValue = node.attribute("offsetValue").as_double(0);

    std::map<std::string, size_t> parameterIndex;
    for (pugi::xml_node p : node.child("ParameterList").children("Parameter")) {
        parameterIndex[p.attribute("name").value()] = model->parameters.size();
        model->parameters.emplace_back();
    }
    std::map<std::string, bool> predictors;  // name -> is covariate
    for (pugi::xml_node p : node.child("FactorList").children("Predictor")) {
        if (p.child("Contrast")) {
            c.Fail("unsupported element 'Contrast' in FactorList");
            return nullptr;
        }
        predictors[p.attribute("name").value()] = false;
    }
    for (pugi::xml_node p : node.child("CovariateList").children("Predictor"))
        predictors[p.attribute("name").value()] = true;
    for (pugi::xml_node cell : node.child("PPMatrix").children("PPCell")) {
        const std::string predictor = cell.attribute("predictorName").value();
        const auto param = parameterIndex.find(cell.attribute("parameterName").value());
        const auto kind = predictors.find(predictor);
        if (param == parameterIndex.end() || kind == predictors.end()) {
            c.Fail("PPCell refers to an undeclared parameter or predictor '" + predictor + "'");
            return nullptr;
        }
        ParamFactor f;
        f.covariate = kind->second;
        f.slot = c.Resolve(scope, predictor, "PPCell");
        if (f.slot < 0)
            return nullptr;
        const std::string value = cell.attribute("value").value();
        if (f.covariate) {
            f.exponent = value.empty() ? 1 : cell.attribute("value").as_double(1);
        } else {
            f.equals.kind = Predicate::Compare;
            f.equals.op = Predicate::Eq;
            f.equals.slot = f.slot;
            f.equals.numericConst = ParseNumber(value, f.equals.number, true);
            f.equals.text = c.Doc().Keep(value);
        }
        model->parameters[param->second].factors.push_back(f);
    }
    std::map<std::string, size_t> equation;  // target category -> equation index
    for (pugi::xml_node cell : node.child("ParamMatrix").children("PCell")) {
        const auto param = parameterIndex.find(cell.attribute("parameterName").value());
        if (param == parameterIndex.end()) {
            c.Fail(std::string("PCell refers to an undeclared parameter '") +
                   cell.attribute("parameterName").value() + "'");
            return nullptr;
        }
        const std::string category = cell.attribute("targetCategory").value();
        auto it = equation.find(category);
        if (it == equation.end()) {
            it = equation.emplace(category, model->betas.size()).first;
            model->betas.emplace_back(model->parameters.size(), 0.0);
            if (model->classification) {
                std::string label = category;
                if (label.empty()) {
                    // A binary model without a category names the event as the category that
                    // is not the reference one, else the last.
                    const std::string reference = node.attribute("targetReferenceCategory").value();
                    for (const std::string& k : model->categories) {
                        if (k != reference)
                            label = k;
                    }
                }
                model->equationCategory.push_back(CategoryIndexOrAdd(*model, label));
            }
        }
        model->betas[it->second][param->second] = cell.attribute("beta").as_double();
    }
    if (model->betas.empty()) {
        c.Fail("GeneralRegressionModel has no ParamMatrix coefficients");
        return nullptr;
    }
    if (model->classification && !model->multinomial && model->categories.size() != 2) {
        c.Fail("a generalizedLinear classification needs two target categories");
        return nullptr;
    }
    return model;
}

// ---- TreeModel ------------------------------------------------------------------------------

namespace {

// The hot part of a node; its predicate lives in a parallel array. A node whose two children
// split on one numeric field ("x <= t" and "x > t", or "x <= t" and True) also carries that split,
// so that a present number picks the child with one comparison.
struct TreeNode {
    int32_t firstChild = -1;
    int32_t childCount = 0;
    int32_t splitSlot = -1;                 // -1: no split, evaluate the children's predicates
    Predicate::Op splitOp = Predicate::Le;  // the first child is taken when value splitOp number
    bool hasScore = false;
    double splitValue = 0;
    double value = 0;         // regression score
    int32_t category = -1;    // classification score
    int32_t probOffset = -1;  // into probs, categories.size() entries
    int32_t defaultChild = -1;
    double recordCount = 0;
};

inline bool Split(double x, Predicate::Op op, double t) {
    switch (op) {
        case Predicate::Lt:
            return x < t;
        case Predicate::Le:
            return x <= t;
        case Predicate::Gt:
            return x > t;
        case Predicate::Ge:
            return x >= t;
        case Predicate::Eq:
            return x == t;
        case Predicate::Ne:
            return x != t;
    }
    return false;
}

// The comparison that is true exactly when `op` is false, for a present number.
bool Complement(Predicate::Op a, Predicate::Op b) {
    return (a == Predicate::Le && b == Predicate::Gt) ||
           (a == Predicate::Gt && b == Predicate::Le) ||
           (a == Predicate::Lt && b == Predicate::Ge) ||
           (a == Predicate::Ge && b == Predicate::Lt) ||
           (a == Predicate::Eq && b == Predicate::Ne) || (a == Predicate::Ne && b == Predicate::Eq);
}

class TreeModelImpl final : public Model {
  public:
    enum Strategy { None, LastPrediction, NullPrediction, DefaultChild, Weighted };
    std::vector<TreeNode> nodes;
    std::vector<Predicate> predicates;  // by node
    std::vector<double> probs;
    Strategy strategy = None;
    bool returnLastOnNoTrueChild = false;

  protected:
    void Evaluate(Context& ctx, ModelResult& result) const override {
        const Truth root = predicates[0].Eval(ctx);
        if (root == Truth::False)
            return;
        int current = 0;
        while (true) {
            const TreeNode& n = nodes[static_cast<size_t>(current)];
            if (n.childCount == 0)
                return Leaf(n, result);
            if (n.splitSlot >= 0) {
                const Cell& v = ctx.Get(n.splitSlot);
                if (v.kind == Cell::Number && v.num == v.num) {  // a number, not NaN
                    current = n.firstChild + (Split(v.num, n.splitOp, n.splitValue) ? 0 : 1);
                    continue;
                }
            }
            int next = -1;
            for (int i = 0; i < n.childCount; ++i) {
                const int child = n.firstChild + i;
                const Truth t = predicates[static_cast<size_t>(child)].Eval(ctx);
                if (t == Truth::True) {
                    next = child;
                    break;
                }
                if (t == Truth::False || strategy == None)
                    continue;
                switch (strategy) {
                    case LastPrediction:
                        return Leaf(n, result);
                    case NullPrediction:
                        return;
                    case DefaultChild:
                        if (n.defaultChild < 0)
                            return Leaf(n, result);
                        next = n.defaultChild;
                        break;
                    case Weighted:
                        return Blend(ctx, current, result);
                    case None:
                        break;
                }
                break;
            }
            if (next < 0) {
                if (returnLastOnNoTrueChild)
                    Leaf(n, result);
                return;
            }
            current = next;
        }
    }

  private:
    void Leaf(const TreeNode& n, ModelResult& result) const {
        if (!n.hasScore && n.probOffset < 0)
            return;
        if (classification) {
            result.probs.assign(
                probs.begin() + n.probOffset,
                probs.begin() + n.probOffset + static_cast<long>(categories.size()));
            result.category = n.category;
        } else {
            result.value = n.value;
        }
        result.valid = true;
    }

    // Record-count weighted blend of the children that are not false at the node where an
    // unknown was met (weightedConfidence, aggregateNodes).
    void Blend(Context& ctx, int start, ModelResult& result) const {
        std::vector<double> acc(classification ? categories.size() : 1, 0.0);
        double total = 0;
        Accumulate(ctx, start, 1.0, acc, total);
        if (total <= 0)
            return;
        if (classification) {
            result.probs.assign(acc.size(), 0.0);
            for (size_t i = 0; i < acc.size(); ++i)
                result.probs[i] = acc[i] / total;
        } else {
            result.value = acc[0] / total;
        }
        result.valid = true;
    }

    void Accumulate(Context& ctx, int index, double weight, std::vector<double>& acc,
                    double& total) const {
        const TreeNode& n = nodes[static_cast<size_t>(index)];
        std::vector<int> chosen;
        for (int i = 0; i < n.childCount; ++i) {
            const int child = n.firstChild + i;
            const Truth t = predicates[static_cast<size_t>(child)].Eval(ctx);
            if (t == Truth::True && chosen.empty()) {
                chosen.push_back(child);
                break;
            }
            if (t != Truth::False)
                chosen.push_back(child);
            if (t == Truth::True)
                break;
        }
        if (chosen.empty()) {
            if (n.childCount == 0 || returnLastOnNoTrueChild) {
                if (classification && n.probOffset >= 0) {
                    for (size_t k = 0; k < acc.size(); ++k)
                        acc[k] += weight * probs[static_cast<size_t>(n.probOffset) + k];
                    total += weight;
                } else if (!classification && n.hasScore) {
                    acc[0] += weight * n.value;
                    total += weight;
                }
            }
            return;
        }
        double counts = 0;
        for (int child : chosen)
            counts += nodes[static_cast<size_t>(child)].recordCount;
        for (int child : chosen) {
            const double share = counts > 0 ? nodes[static_cast<size_t>(child)].recordCount / counts
                                            : 1.0 / static_cast<double>(chosen.size());
            Accumulate(ctx, child, weight * share, acc, total);
        }
    }
};

struct NodeBuild {
    std::vector<std::pair<int, double>> distribution;  // category, probability or count
    bool distributionIsProbability = false;
};

class TreeBuilder {
  public:
    TreeBuilder(Compiler& c, Scope& scope, TreeModelImpl& model)
        : c_(c), scope_(scope), m_(model) {}

    // Compiles `xml` into nodes[index] and its subtree.
    bool Build(const pugi::xml_node& xml, int index, std::map<std::string, int>& ids) {
        bool havePredicate = false;
        std::vector<pugi::xml_node> children;
        NodeBuild& build = builds_[static_cast<size_t>(index)];
        for (pugi::xml_node child : xml.children()) {
            if (child.type() != pugi::node_element || IsIgnorableElement(child.name()))
                continue;
            if (Compiler::IsPredicateElement(child.name()) && !havePredicate) {
                Predicate p;
                if (!c_.CompilePredicate(child, scope_, p))
                    return false;
                m_.predicates[static_cast<size_t>(index)] = std::move(p);
                havePredicate = true;
            } else if (Is(child, "Node")) {
                children.push_back(child);
            } else if (Is(child, "ScoreDistribution")) {
                if (!m_.classification)
                    continue;
                const int k = CategoryIndexOrAdd(m_, child.attribute("value").value());
                if (child.attribute("probability")) {
                    build.distributionIsProbability = true;
                    build.distribution.emplace_back(k, child.attribute("probability").as_double());
                } else {
                    build.distribution.emplace_back(k, child.attribute("recordCount").as_double());
                }
            } else {
                return c_.Fail(std::string("unsupported element '") + child.name() +
                               "' in a TreeModel Node");
            }
        }
        if (!havePredicate)
            return c_.Fail("a TreeModel Node has no predicate");
        // Children are built later, so `node` stays valid until the resize below.
        TreeNode& node = m_.nodes[static_cast<size_t>(index)];
        node.recordCount = xml.attribute("recordCount").as_double(0);
        if (const pugi::xml_attribute score = xml.attribute("score")) {
            node.hasScore = true;
            if (m_.classification) {
                node.category = CategoryIndexOrAdd(m_, score.value());
            } else if (!ParseNumber(score.value(), node.value)) {
                return c_.Fail(std::string("score '") + score.value() +
                               "' of a regression TreeModel Node is not a number");
            }
        }
        if (xml.attribute("id"))
            ids[xml.attribute("id").value()] = index;
        if (xml.attribute("defaultChild"))
            defaults_.emplace_back(index, xml.attribute("defaultChild").value());
        // Children take one contiguous block.
        const int first = static_cast<int>(m_.nodes.size());
        m_.nodes.resize(m_.nodes.size() + children.size());
        m_.predicates.resize(m_.nodes.size());
        builds_.resize(m_.nodes.size());
        m_.nodes[static_cast<size_t>(index)].firstChild = first;
        m_.nodes[static_cast<size_t>(index)].childCount = static_cast<int>(children.size());
        for (size_t i = 0; i < children.size(); ++i) {
            if (!Build(children[i], first + static_cast<int>(i), ids))
                return false;
        }
        if (children.size() == 2) {
            const Predicate& a = m_.predicates[static_cast<size_t>(first)];
            const Predicate& b = m_.predicates[static_cast<size_t>(first) + 1];
            const bool numeric =
                a.kind == Predicate::Compare && a.numericConst && IsNumeric(c_.Slot(a.slot).type);
            const bool complement =
                b.kind == Predicate::AlwaysTrue ||
                (b.kind == Predicate::Compare && b.numericConst && b.slot == a.slot &&
                 b.number == a.number && Complement(a.op, b.op));
            if (numeric && complement) {
                TreeNode& node = m_.nodes[static_cast<size_t>(index)];
                node.splitSlot = a.slot;
                node.splitOp = a.op;
                node.splitValue = a.number;
            }
        }
        return true;
    }

    bool Finish(const std::map<std::string, int>& ids) {
        for (const auto& [index, id] : defaults_) {
            auto it = ids.find(id);
            if (it == ids.end())
                return c_.Fail("defaultChild '" + id + "' names no Node");
            m_.nodes[static_cast<size_t>(index)].defaultChild = it->second;
        }
        if (!m_.classification)
            return true;
        const size_t k = m_.categories.size();
        for (size_t i = 0; i < m_.nodes.size(); ++i) {
            TreeNode& node = m_.nodes[i];
            const NodeBuild& build = builds_[i];
            if (build.distribution.empty() && !node.hasScore)
                continue;
            node.probOffset = static_cast<int>(m_.probs.size());
            m_.probs.resize(m_.probs.size() + k, 0.0);
            double* p = m_.probs.data() + node.probOffset;
            if (build.distribution.empty()) {
                p[node.category] = 1;
                continue;
            }
            double total = 0;
            for (const auto& [category, v] : build.distribution)
                total += v;
            for (const auto& [category, v] : build.distribution)
                p[category] += build.distributionIsProbability || total <= 0 ? v : v / total;
            if (!node.hasScore) {
                node.category = static_cast<int>(std::max_element(p, p + k) - p);
                node.hasScore = true;
            }
        }
        return true;
    }

    std::vector<NodeBuild> builds_;

  private:
    Compiler& c_;
    Scope& scope_;
    TreeModelImpl& m_;
    std::vector<std::pair<int, std::string>> defaults_;
};

}  // namespace

std::unique_ptr<Model> CompileTreeModel(Compiler& c, const pugi::xml_node& node, Scope& scope,
                                        const ModelHeader& header) {
    if (!CheckChildren(c, node, {"Node"}))
        return nullptr;
    auto model = std::make_unique<TreeModelImpl>();
    ApplyHeader(*model, header);
    const std::string strategy = node.attribute("missingValueStrategy").as_string("none");
    if (strategy == "none")
        model->strategy = TreeModelImpl::None;
    else if (strategy == "lastPrediction")
        model->strategy = TreeModelImpl::LastPrediction;
    else if (strategy == "nullPrediction")
        model->strategy = TreeModelImpl::NullPrediction;
    else if (strategy == "defaultChild")
        model->strategy = TreeModelImpl::DefaultChild;
    else if (strategy == "weightedConfidence" || strategy == "aggregateNodes")
        model->strategy = TreeModelImpl::Weighted;
    else {
        c.Fail("missingValueStrategy '" + strategy + "' of TreeModel is not supported");
        return nullptr;
    }
    const std::string noTrue =
        node.attribute("noTrueChildStrategy").as_string("returnNullPrediction");
    if (noTrue == "returnLastPrediction")
        model->returnLastOnNoTrueChild = true;
    else if (noTrue != "returnNullPrediction") {
        c.Fail("noTrueChildStrategy '" + noTrue + "' of TreeModel is not supported");
        return nullptr;
    }
    const pugi::xml_node root = node.child("Node");
    if (!root) {
        c.Fail("TreeModel has no Node");
        return nullptr;
    }
    model->nodes.resize(1);
    model->predicates.resize(1);
    TreeBuilder builder(c, scope, *model);
    builder.builds_.resize(1);
    std::map<std::string, int> ids;
    if (!builder.Build(root, 0, ids) || !builder.Finish(ids))
        return nullptr;
    return model;
}

// ---- MiningModel ----------------------------------------------------------------------------

namespace {

class MiningModelImpl final : public Model {
  public:
    enum Method {
        Sum,
        Average,
        WeightedAverage,
        Median,
        Max,
        MajorityVote,
        WeightedMajorityVote,
        SelectFirst,
        ModelChain
    };
    struct Segment {
        Predicate predicate;
        double weight = 1;
        std::unique_ptr<Model> model;
        std::vector<int> categoryMap;  // segment category -> our category
    };
    std::vector<Segment> segments;
    Method method = Average;

  protected:
    void Evaluate(Context& ctx, ModelResult& result) const override {
        const size_t k = categories.size();
        if (classification)
            result.probs.assign(k, 0.0);
        double sum = 0;
        double weights = 0;
        int used = 0;
        std::vector<double> values;
        ModelResult* last = nullptr;
        const Segment* lastSegment = nullptr;
        for (const Segment& s : segments) {
            if (s.predicate.Eval(ctx) != Truth::True)
                continue;
            ModelResult& r = ctx.Scratch(s.model->scratchId);
            s.model->Run(ctx, r);
            last = &r;
            lastSegment = &s;
            if (method == ModelChain)
                continue;
            if (!r.valid)
                return;  // one segment without a prediction leaves the ensemble without one
            ++used;
            if (method == SelectFirst)
                break;
            if (!classification) {
                switch (method) {
                    case Sum:
                    case Average:
                        sum += r.value;
                        break;
                    case WeightedAverage:
                        sum += s.weight * r.value;
                        weights += s.weight;
                        break;
                    case Max:
                        sum = used == 1 ? r.value : std::max(sum, r.value);
                        break;
                    default:
                        values.push_back(r.value);
                        break;
                }
                continue;
            }
            switch (method) {
                case MajorityVote:
                case WeightedMajorityVote:
                    result.probs[static_cast<size_t>(
                        s.categoryMap[static_cast<size_t>(r.category)])] +=
                        method == WeightedMajorityVote ? s.weight : 1;
                    weights += method == WeightedMajorityVote ? s.weight : 1;
                    break;
                default: {
                    const double w = method == WeightedAverage ? s.weight : 1;
                    for (size_t i = 0; i < r.probs.size(); ++i)
                        result.probs[static_cast<size_t>(s.categoryMap[i])] += w * r.probs[i];
                    weights += w;
                    break;
                }
            }
        }
        if (method == ModelChain || method == SelectFirst) {
            if (last == nullptr || !last->valid)
                return;
            if (classification) {
                result.probs.assign(k, 0.0);
                for (size_t i = 0; i < last->probs.size(); ++i)
                    result.probs[static_cast<size_t>(lastSegment->categoryMap[i])] = last->probs[i];
                if (last->category >= 0)
                    result.category = lastSegment->categoryMap[static_cast<size_t>(last->category)];
            } else {
                result.value = last->value;
            }
            result.valid = true;
            return;
        }
        if (used == 0)
            return;
        if (!classification) {
            switch (method) {
                case Sum:
                case Max:
                    result.value = sum;
                    break;
                case Average:
                    result.value = sum / used;
                    break;
                case WeightedAverage:
                    result.value = sum / weights;
                    break;
                default: {
                    std::sort(values.begin(), values.end());
                    const size_t n = values.size();
                    result.value =
                        n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
                    break;
                }
            }
        } else {
            for (double& p : result.probs)
                p /= weights;
        }
        result.valid = true;
    }
};

}  // namespace

std::unique_ptr<Model> CompileMiningModel(Compiler& c, const pugi::xml_node& node, Scope& scope,
                                          const ModelHeader& header) {
    if (!CheckChildren(c, node, {"Segmentation"}))
        return nullptr;
    auto model = std::make_unique<MiningModelImpl>();
    ApplyHeader(*model, header);
    const pugi::xml_node segmentation = node.child("Segmentation");
    if (!segmentation) {
        c.Fail("MiningModel has no Segmentation");
        return nullptr;
    }
    const std::string method = segmentation.attribute("multipleModelMethod").value();
    static const std::pair<const char*, MiningModelImpl::Method> kMethods[] = {
        {"sum", MiningModelImpl::Sum},
        {"average", MiningModelImpl::Average},
        {"weightedAverage", MiningModelImpl::WeightedAverage},
        {"median", MiningModelImpl::Median},
        {"max", MiningModelImpl::Max},
        {"majorityVote", MiningModelImpl::MajorityVote},
        {"weightedMajorityVote", MiningModelImpl::WeightedMajorityVote},
        {"selectFirst", MiningModelImpl::SelectFirst},
        {"modelChain", MiningModelImpl::ModelChain}};
    bool known = false;
    for (const auto& [name, code] : kMethods) {
        if (method == name) {
            model->method = code;
            known = true;
        }
    }
    const bool votes = model->method == MiningModelImpl::MajorityVote ||
                       model->method == MiningModelImpl::WeightedMajorityVote;
    const bool regressionOnly = model->method == MiningModelImpl::Sum ||
                                model->method == MiningModelImpl::Median ||
                                model->method == MiningModelImpl::Max;
    if (!known || (votes && !model->classification) || (regressionOnly && model->classification)) {
        c.Fail("multipleModelMethod '" + method + "' is not supported for " +
               (model->classification ? "classification" : "regression"));
        return nullptr;
    }
    // Segments see the mining model's fields and, in a chain, the outputs of earlier segments.
    Scope& segmentScope = c.NewScope(&scope);
    for (pugi::xml_node s : segmentation.children()) {
        if (s.type() != pugi::node_element || IsIgnorableElement(s.name()))
            continue;
        if (!Is(s, "Segment")) {
            c.Fail(std::string("unsupported element '") + s.name() + "' in Segmentation");
            return nullptr;
        }
        MiningModelImpl::Segment segment;
        segment.weight = s.attribute("weight").as_double(1);
        pugi::xml_node predicateNode, modelNode;
        for (pugi::xml_node child : s.children()) {
            if (child.type() != pugi::node_element || IsIgnorableElement(child.name()))
                continue;
            if (Compiler::IsPredicateElement(child.name()) && !predicateNode)
                predicateNode = child;
            else if (!modelNode)
                modelNode = child;
        }
        if (!predicateNode || !modelNode) {
            c.Fail("a Segment needs a predicate and a model");
            return nullptr;
        }
        if (!c.CompilePredicate(predicateNode, segmentScope, segment.predicate))
            return nullptr;
        segment.model = c.CompileModel(modelNode, segmentScope, &segmentScope);
        if (!segment.model)
            return nullptr;
        const bool last = !s.next_sibling("Segment");
        if (segment.model->classification != model->classification &&
            !(model->method == MiningModelImpl::ModelChain && !last)) {
            c.Fail("a Segment's model does not match the MiningModel's functionName");
            return nullptr;
        }
        for (const std::string& k : segment.model->categories)
            segment.categoryMap.push_back(CategoryIndexOrAdd(*model, k));
        model->segments.push_back(std::move(segment));
    }
    if (model->segments.empty()) {
        c.Fail("Segmentation has no Segment");
        return nullptr;
    }
    return model;
}

}  // namespace mcpmml
