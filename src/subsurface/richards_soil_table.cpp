// The soil table of the Richards columns, in its own file or as a table of
// the mapping-table file: three layers per soil class, stored in the class
// records (soil_class_record slots 4-49) once every value has been checked.
#include <cmath>
#include <string>

#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "core/warnings.hpp"
#include "model/model_state.hpp"
#include "subsurface/evapotranspiration.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/soil_layer_table.hpp"

namespace kesta {

namespace {

constexpr int kLayers = 3;
constexpr int kMaxLayerValues = 12;
// Mapping-table form: the first layer line holds the class ID and a
// description in characters 1-87 and its values from character 88.
constexpr std::size_t kFirstLayerValues = 87;  // 0-based offset of character 88

// Values of one layer line, in file order: conductivity (cm/h), porosity,
// residual moisture, initial moisture, wilting point, field capacity, layer
// depth (cm), then lambda and bubbling head (cm) for Brooks and Corey, or
// alpha (cm), beta, A and B for Havercamp, and last the node spacing (cm).
enum layer_column { ks_col, porosity_col, residual_col, initial_col, wilting_col, capacity_col, depth_col };

int layer_value_count(retention_model model) { return model == retention_model::havercamp ? 12 : 10; }

using layer_values = double[kMaxLayerValues];

// Physical ranges of the soil values. Values past them describe no soil and
// drive the solver's sub-step to its floor, where it never ends.
constexpr double kMostConductivity = 1e5;  // cm/h, saturated
constexpr double kMostPoreIndex = 100.0;   // Brooks and Corey lambda
constexpr double kMostBubblingHead = 1e5;  // cm, magnitude

// What makes a layer unusable, or empty when nothing does.
std::string layer_problem(const layer_values& v, retention_model model) {
    const int spacing_col = layer_value_count(model) - 1;
    if (!(v[ks_col] > 0.0 && v[ks_col] <= kMostConductivity))
        return format_text("saturated conductivity %.10g cm/h: it must lie above 0 and at most %g cm/h", v[ks_col],
                           kMostConductivity);
    if (!(v[porosity_col] > 0.0 && v[porosity_col] < 1.0))
        return format_text("porosity %.10g: it must lie between 0 and 1 (both excluded)", v[porosity_col]);
    if (!(v[porosity_col] > v[residual_col]))
        return format_text("porosity %.10g: it must exceed the residual moisture %.10g", v[porosity_col],
                           v[residual_col]);
    if (!(v[initial_col] > v[residual_col] && v[initial_col] <= v[porosity_col]))
        return format_text("initial moisture %.10g: it must lie above the residual moisture %.10g and not above the "
                           "porosity %.10g, or its head is undefined",
                           v[initial_col], v[residual_col], v[porosity_col]);
    if (!(v[depth_col] >= 0.0)) return format_text("layer depth %.10g cm: it must not be negative", v[depth_col]);
    if (!(v[spacing_col] > 0.0))
        return format_text("node spacing %.10g cm: it must be greater than 0", v[spacing_col]);
    if (model == retention_model::brooks_corey) {
        if (!(v[7] > 0.0 && v[7] <= kMostPoreIndex))
            return format_text("pore distribution index %.10g: it must lie above 0 and at most %g", v[7],
                               kMostPoreIndex);
        if (!(v[8] != 0.0 && std::fabs(v[8]) <= kMostBubblingHead))
            return format_text("bubbling pressure head %.10g cm: its magnitude must lie above 0 and at most %g cm",
                               v[8], kMostBubblingHead);
        return std::string();
    }
    const char* names[] = {"ALPHA", "BETA", "A", "B"};
    for (int i = 0; i < 4; ++i) {
        if (!(v[7 + i] > 0.0)) return format_text("Havercamp %s %.10g: it must be greater than 0", names[i], v[7 + i]);
    }
    return std::string();
}

// Whole nodes of a layer: the integer part of depth over spacing (a depth
// within a millionth of a node of the next whole node counts as reaching it),
// as a double so that no depth overflows the count.
double layer_nodes(double depth, double spacing) { return std::floor(depth / spacing + 1e-6); }

// Checks the layers of class `id` and stores them in its record. Returns
// the problem (prefixed by its layer) and sets `bad_layer` (0-based), or
// returns empty.
std::string store_class(model_state& m, int id, const layer_values (&layers)[kLayers], int& bad_layer) {
    const retention_model model = m.richards.model;
    double nodes = 0.0;
    for (int j = 0; j < kLayers; ++j) {
        const std::string problem = layer_problem(layers[j], model);
        if (!problem.empty()) {
            bad_layer = j;
            return format_text("class %d, layer %d: %s", id, j + 1, problem.c_str());
        }
        const double depth = layers[j][depth_col], spacing = layers[j][layer_value_count(model) - 1];
        nodes += layer_nodes(depth, spacing);
        if (!(nodes <= kMostColumnNodes)) {
            bad_layer = j;
            return format_text("class %d, layer %d: layer depth %.10g cm at a node spacing of %.10g cm brings the "
                               "class's layers to %.10g nodes; a column holds at most %d",
                               id, j + 1, depth, spacing, nodes, kMostColumnNodes);
        }
    }
    if (nodes == 0.0) {
        bad_layer = 0;
        return format_text("class %d: no layer is as deep as its node spacing, so its column has no soil node", id);
    }
    double* s = m.soil_class[static_cast<std::size_t>(id)].v;
    for (int j = 0; j < kLayers; ++j) {
        const layer_values& v = layers[j];
        s[4 + j] = v[ks_col];
        s[7 + j] = v[porosity_col];
        s[10 + j] = v[initial_col];
        s[13 + j] = v[wilting_col];
        s[16 + j] = v[capacity_col];
        s[19 + j] = v[residual_col];
        s[22 + j] = v[depth_col];
        if (model == retention_model::brooks_corey) {
            s[25 + j] = v[7];
            s[28 + j] = -std::fabs(v[8]);  // stored negative whatever its sign
            s[31 + j] = v[9];
        } else {
            s[34 + j] = v[7];
            s[37 + j] = v[8];
            s[40 + j] = v[9];
            s[43 + j] = v[10];
            s[31 + j] = v[11];
        }
    }
    m.richards.defined[static_cast<std::size_t>(id)] = 1;
    return std::string();
}

bool id_in_range(int id) { return id >= 0 && id < kSoilClasses; }

void prepare(model_state& m) {
    m.richards.defined.assign(static_cast<std::size_t>(kSoilClasses), 0);
}

// Trailing text after the counted classes of the own file.
void warn_trailing(token_stream& ts, const std::string& name, int count) {
    std::string token;
    if (!ts.next(token)) return;
    warn(format_text("Warning: Richards soil table %s, line %d: \"%s\" follows the last of the %d classes the "
                     "table counts; the rest of the file is not read.\n",
                     name.c_str(), ts.token_line(), echoed(token).c_str(), count));
}

}  // namespace

int read_richards_soil_file(model_state& m, std::FILE* fp, const std::string& name) {
    prepare(m);
    token_stream ts(fp);
    std::string token;
    auto fail = [&](int line, const std::string& detail) {
        refuse(format_text("Error: Richards soil table %s, line %d: %s\n", name.c_str(), line, detail.c_str()));
        return -1;
    };
    // One number; `what` names it in messages.
    auto number = [&](double& v, const std::string& what) {
        if (!ts.next(token)) {
            fail(ts.token_line(), format_text("the file ends where %s was expected", what.c_str()));
            return false;
        }
        if (parse_double(token, v)) return true;
        fail(ts.token_line(), format_text("%s \"%s\" is not a number", what.c_str(), echoed(token).c_str()));
        return false;
    };
    auto integer = [&](int& v, const std::string& what) {
        if (!ts.next(token)) {
            fail(ts.token_line(), format_text("the file ends where %s was expected", what.c_str()));
            return false;
        }
        if (parse_int(token, v)) return true;
        fail(ts.token_line(), format_text("%s \"%s\" is not an integer", what.c_str(), echoed(token).c_str()));
        return false;
    };

    int count = 0, unused = 0;
    if (!integer(count, "the number of classes") || !integer(unused, "the second header number")) return -1;
    if (count < 0) return fail(ts.token_line(), format_text("class count %d is negative", count));
    const int nvalues = layer_value_count(m.richards.model);
    for (int i = 1; i <= count; ++i) {
        int id = 0;
        if (!integer(id, format_text("the identifier of class %d of %d", i, count))) return -1;
        if (!id_in_range(id))
            return fail(ts.token_line(), format_text("class identifier %d lies outside 0 to %d", id, kSoilClasses - 1));
        double* s = m.soil_class[static_cast<std::size_t>(id)].v;
        if (m.long_term) {
            const char* what[] = {"albedo", "vegetation height", "transmission coefficient", "canopy resistance"};
            for (int k = 0; k < 4; ++k) {
                if (!number(s[46 + k], format_text("the %s of class %d", what[k], id))) return -1;
                const et_parameter_bound& bound = kEtParameterBounds[k];
                if (!et_parameter_holds(bound, s[46 + k]))
                    return fail(ts.token_line(), format_text("the %s of class %d is %s; it must lie from %g to %g%s%s",
                                                             what[k], id, exact_number(s[46 + k]).c_str(),
                                                             bound.low, bound.high, bound.unit[0] ? " " : "",
                                                             bound.unit));
            }
        }
        layer_values layers[kLayers] = {};
        int lines[kLayers] = {};
        for (int j = 0; j < kLayers; ++j) {
            for (int k = 0; k < nvalues; ++k) {
                if (!number(layers[j][k], format_text("value %d of class %d, layer %d", k + 1, id, j + 1))) return -1;
                if (k == 0) lines[j] = ts.token_line();
            }
        }
        int bad = 0;
        const std::string problem = store_class(m, id, layers, bad);
        if (!problem.empty()) return fail(lines[bad], problem);
    }
    warn_trailing(ts, name, count);
    return count;
}

int read_soil_layer_table(model_state& m, table_cursor& table) {
    prepare(m);
    const std::string& file = table.file().name();
    const int table_id = m.richards.model == retention_model::havercamp ? table_richards_havercamp
                                                                      : table_richards_brooks;
    auto fail = [&](const std::string& detail) {
        refuse(format_text("Error: mapping table file %s, table %s, line %d: %s\n", file.c_str(),
                           get_table_keyword(table_id).c_str(), table.line_number(), detail.c_str()));
        return -1;
    };
    line_cursor line;
    auto next_line = [&](const char* what) {
        if (table.next(line)) return true;
        fail(format_text("the file ends where %s was expected", what));
        return false;
    };
    // The two header cards: a keyword and a count each, the rest of the line
    // not read.
    int counts[2] = {};
    for (int h = 0; h < 2; ++h) {
        if (!next_line("a header card")) return -1;
        std::string keyword;
        if (!pop_string(line, keyword) || !pop_int_strict(line, counts[h])) {
            return fail(format_text("header card \"%s\" does not give a keyword and a count",
                                    echoed(line.text()).c_str()));
        }
    }
    const int count = counts[0];
    if (count < 0) return fail(format_text("class count %d is negative", count));

    const int nvalues = layer_value_count(m.richards.model);
    for (int i = 1; i <= count; ++i) {
        layer_values layers[kLayers] = {};
        int lines[kLayers] = {};
        int id = 0;
        for (int j = 0; j < kLayers; ++j) {
            if (!next_line(j == 0 ? "the first layer line of a class" : "a layer line")) return -1;
            lines[j] = table.line_number();
            if (j == 0) {
                const std::string& text = line.text();
                if (text.size() <= kFirstLayerValues)
                    return fail("the row ends before character 88, where its values begin");
                line_cursor head(text.substr(0, kFirstLayerValues));
                if (!pop_int_strict(head, id))
                    return fail(format_text("class ID \"%s\" is not an integer", echoed(peek_token(head)).c_str()));
                if (!id_in_range(id))
                    return fail(format_text("class identifier %d lies outside 0 to %d", id, kSoilClasses - 1));
                line.set_position(kFirstLayerValues);
            }
            for (int k = 0; k < nvalues; ++k) {
                if (!pop_double_strict(line, layers[j][k])) {
                    const std::string found = peek_token(line);
                    return fail(found.empty()
                                    ? format_text("class %d, layer %d has %d of its %d values", id, j + 1, k, nvalues)
                                    : format_text("class %d, layer %d, value %d \"%s\" is not a number", id, j + 1,
                                                  k + 1, echoed(found).c_str()));
                }
            }
        }
        int bad = 0;
        const std::string problem = store_class(m, id, layers, bad);
        if (!problem.empty()) {
            refuse(format_text("Error: mapping table file %s, table %s, line %d: %s\n", file.c_str(),
                               get_table_keyword(table_id).c_str(), lines[bad], problem.c_str()));
            return -1;
        }
    }
    return count;
}

}  // namespace kesta
